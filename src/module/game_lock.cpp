// The games' locks, and the one table of the threads waiting for them.
#include "module/game_lock.hpp"

#include <map>
#include <mutex>

namespace cellvane::py {

namespace {

// Guards every lock's owner and holds, and the table of waiting threads, so
// that a thread about to wait sees one consistent picture of who waits for
// whom. It is only ever held for a few instructions, never while waiting.
std::mutex locks_mutex;
// The game each waiting thread waits for.
std::map<std::thread::id, const GameLock*> waiting;

const char* const HELD_FOR_READ = "Already mutably borrowed";
const char* const HELD_FOR_CHANGE = "Already borrowed";
const char* const DEADLOCK = "the game is held by a thread that waits for a game this thread holds";

}  // namespace

void GameLock::own(std::thread::id thread, Kind kind) {
    owner_ = thread;
    holds_ = kind == Kind::Read ? 1 : -1;
}

bool GameLock::waits_for_caller(std::thread::id caller) const {
    // Each waiting thread waits for one game and each game has one holder,
    // so the holders and the games they wait for form a chain.
    const GameLock* lock = this;
    for (std::size_t links = 0; links <= waiting.size(); ++links) {
        if (lock->owner_ == caller) return true;
        const auto next = waiting.find(lock->owner_);
        if (next == waiting.end()) return false;
        lock = next->second;
    }
    return false;
}

bool GameLock::take(Kind kind) {
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
    if (owner_ == std::thread::id() && served_ == drawn_) {
        own(me, kind);
        return true;
    }
    if (waits_for_caller(me)) {
        guard.unlock();
        PyErr_SetString(PyExc_RuntimeError, DEADLOCK);
        return false;
    }
    waiting.emplace(me, this);
    const std::uint64_t number = drawn_++;
    guard.unlock();
    PyThreadState* released = PyEval_SaveThread();
    guard.lock();
    freed_.wait(guard, [&] { return owner_ == std::thread::id() && served_ == number; });
    ++served_;
    waiting.erase(me);
    own(me, kind);
    guard.unlock();
    PyEval_RestoreThread(released);
    return true;
}

void GameLock::give_back() {
    const std::lock_guard guard(locks_mutex);
    if (holds_ > 1) {
        --holds_;
        return;
    }
    holds_ = 0;
    owner_ = std::thread::id();
    if (served_ != drawn_) freed_.notify_all();
}

}  // namespace cellvane::py
