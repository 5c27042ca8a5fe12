// A game's lock: which thread's call holds the game, and how.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <thread>

#include "module/module.hpp"

namespace cellvane::py {

// One thread's call holds a game at a time; a call from another thread waits
// for it, with the interpreter lock released, and is never refused because
// the other thread is busy. Waiting calls take the game in the order they
// came, so none waits for ever behind a thread that keeps calling; a wait in
// the thread that handles signals runs their handlers every SIGNAL_INTERVAL,
// and one that raises (Ctrl-C) ends the wait with its exception. Host code
// that runs on the holding thread during the call (a coordinate's
// __float__, a finaliser, a signal's handler) may take the game again as the
// borrow rules allow: any number of reads inside reads, nothing inside a
// change ("Already mutably borrowed" for a read, "Already borrowed" for a
// change), and nothing while the engine works on the board, whose memos may
// then be half filled.
//
// Waiting never holds the interpreter lock, and the lock's own mutex is never
// held while waiting for anything, so a thread holding the interpreter lock
// and a thread holding a game cannot wait for each other. A thread that would
// wait for a game held by a thread that (directly, or through other waiting
// threads) waits for a game it holds is refused instead: that wait would
// never end. So is, in a child process, a game that another thread of the
// parent held when the process forked: that thread is not in the child, and
// the board may be half changed.
class GameLock {
public:
    enum class Kind { Read, Change };

    // Takes the game for the calling thread, which holds the interpreter
    // lock; answers false with an exception set when the rules refuse
    // (RuntimeError) or a signal's handler raised while waiting.
    bool take(Kind kind, bool handles_signals);
    // Gives back the calling thread's innermost hold.
    void give_back();
    // Whether the engine works on the board, set by the holding thread.
    void set_working(bool working) { working_ = working; }
    // Run in a child process just after a fork, by the one thread it has.
    static void after_fork_in_child();

    // A waiting call, on its own stack: nothing is allocated to wait.
    struct Waiter;

private:
    void own(std::thread::id thread, Kind kind);
    bool waits_for_caller(std::thread::id caller) const;
    // The number of the call that takes the game next, when any waits.
    const Waiter* first_waiting() const;

    std::thread::id owner_;  // none when free
    // While held: n > 0, n nested reads; -1, a change.
    long holds_ = 0;
    // The process the holder belongs to, counted in forks.
    std::uint64_t forks_ = 0;
    bool working_ = false;
    std::condition_variable freed_;
};

}  // namespace cellvane::py
