// The games' locks, and the one list of the calls waiting for them.
#include "module/game_lock.hpp"

#include <mutex>
#include <new>

namespace cellvane::py {

struct GameLock::Waiter {
    std::thread::id thread;
    const GameLock* lock;
    // Drawn on arrival: the lowest waiting number takes a free game.
    std::uint64_t number;
    Waiter* next;
};

namespace {

// Guards every lock's owner and holds, and the list of waiting calls, so
// that a thread about to wait sees one consistent picture of who waits for
// whom. It is only ever held for a few instructions, never while waiting or
// while taking the interpreter lock.
std::mutex locks_mutex;
// Every waiting call, of every game, in no order; there are as many as
// there are threads at most.
GameLock::Waiter* waiters = nullptr;
// The number the next waiting call draws.
std::uint64_t next_number = 0;
// How many forks led to this process.
std::uint64_t forks = 0;

void join(GameLock::Waiter& w) {
    w.next = waiters;
    waiters = &w;
}

void leave(GameLock::Waiter& w) {
    for (GameLock::Waiter** at = &waiters; *at != nullptr; at = &(*at)->next) {
        if (*at == &w) {
            *at = w.next;
            return;
        }
    }
}

const GameLock::Waiter* waiter_of(std::thread::id thread) {
    for (const GameLock::Waiter* w = waiters; w != nullptr; w = w->next) {
        if (w->thread == thread) return w;
    }
    return nullptr;
}

const char* const HELD_FOR_READ = "Already mutably borrowed";
const char* const HELD_FOR_CHANGE = "Already borrowed";
const char* const DEADLOCK = "the game is held by a thread that waits for a game this thread holds";
const char* const FORKED =
    "the game was in use by another thread when this process was forked, and cannot be used in this process";

}  // namespace

void GameLock::own(std::thread::id thread, Kind kind) {
    owner_ = thread;
    holds_ = kind == Kind::Read ? 1 : -1;
    forks_ = forks;
}

void GameLock::after_fork_in_child() {
    // The threads that held the mutex or waited are not in this process.
    new (&locks_mutex) std::mutex();
    waiters = nullptr;
    ++forks;
}

bool GameLock::waits_for_caller(std::thread::id caller) const {
    // Each waiting thread waits for one game and each game has one holder,
    // so the holders and the games they wait for form a chain.
    const GameLock* lock = this;
    for (const GameLock::Waiter* w = waiters; w != nullptr; w = w->next) {  // at most one link per waiter
        if (lock->owner_ == caller) return true;
        const GameLock::Waiter* next = waiter_of(lock->owner_);
        if (next == nullptr) return false;
        lock = next->lock;
    }
    return lock->owner_ == caller;
}

const GameLock::Waiter* GameLock::first_waiting() const {
    const Waiter* first = nullptr;
    for (const Waiter* w = waiters; w != nullptr; w = w->next) {
        if (w->lock == this && (first == nullptr || w->number < first->number)) first = w;
    }
    return first;
}

bool GameLock::take(Kind kind, bool handles_signals) {
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock guard(locks_mutex);
    if (owner_ == me) {
        const char* refusal = nullptr;
        if (holds_ < 0 || working_) {
            refusal = kind == Kind::Read ? HELD_FOR_READ : HELD_FOR_CHANGE;
        } else if (kind == Kind::Change) {
            refusal = HELD_FOR_CHANGE;
        }
        if (refusal == nullptr) {
            ++holds_;
            return true;
        }
        guard.unlock();
        PyErr_SetString(PyExc_RuntimeError, refusal);
        return false;
    }
    if (owner_ == std::thread::id() && first_waiting() == nullptr) {
        own(me, kind);
        return true;
    }
    if (forks_ != forks) {
        guard.unlock();
        PyErr_SetString(PyExc_RuntimeError, FORKED);
        return false;
    }
    if (waits_for_caller(me)) {
        guard.unlock();
        PyErr_SetString(PyExc_RuntimeError, DEADLOCK);
        return false;
    }
    Waiter self{me, this, next_number++, nullptr};
    join(self);
    guard.unlock();
    PyThreadState* released = PyEval_SaveThread();
    guard.lock();
    const auto turn = [&] { return owner_ == std::thread::id() && first_waiting() == &self; };
    bool raised = false;
    while (!turn()) {
        if (!handles_signals) {
            freed_.wait(guard, turn);
            break;
        }
        if (freed_.wait_for(guard, SIGNAL_INTERVAL, turn)) break;
        // The handlers run (and may use games) with the call out of the
        // list; it comes back with its number, so in its place, unless one
        // raised.
        leave(self);
        freed_.notify_all();
        guard.unlock();
        PyEval_RestoreThread(released);
        raised = PyErr_CheckSignals() < 0;
        released = PyEval_SaveThread();
        guard.lock();
        if (raised) break;
        join(self);
    }
    if (!raised) {
        leave(self);
        own(me, kind);
    }
    guard.unlock();
    PyEval_RestoreThread(released);
    return !raised;
}

void GameLock::give_back() {
    const std::lock_guard guard(locks_mutex);
    if (holds_ > 1) {
        --holds_;
        return;
    }
    holds_ = 0;
    owner_ = std::thread::id();
    if (first_waiting() != nullptr) freed_.notify_all();
}

}  // namespace cellvane::py
