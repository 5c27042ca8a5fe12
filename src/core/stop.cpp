// The stop question of long work: the scope a caller installs for its
// thread, and the cheap poll a long loop asks.
#include <limits>

#include "core/core.hpp"

namespace cellvane {

namespace {

// The innermost scope of this thread, or none.
thread_local StopScope* current = nullptr;

}  // namespace

StopScope::StopScope(StopCheck& check, std::chrono::nanoseconds interval)
    : check_(check),
      interval_(std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval)),
      outer_(current) {
    current = this;
}

StopScope::~StopScope() { current = outer_; }

bool StopScope::ask() {
    if (stopped_) return true;
    const auto now = std::chrono::steady_clock::now();
    // The interval runs from the first question, so that work too short to
    // ask any reads no clock.
    if (!started_) {
        started_ = true;
        next_ = now + interval_;
    }
    if (now < next_) return false;
    stopped_ = check_.stop();
    next_ = std::chrono::steady_clock::now() + interval_;
    return stopped_;
}

bool stop_requested() { return current != nullptr && current->stopped(); }

StopPoll::StopPoll(std::uint32_t every)
    : scope_(current),
      every_(every == 0 ? 1 : every),
      // With no scope the loop never asks again; with a stopped one it asks
      // (and stops) at once.
      countdown_(scope_ == nullptr ? std::numeric_limits<std::uint32_t>::max()
                                   : scope_->stopped() ? 1 : every_) {}

bool StopPoll::ask() {
    if (scope_ == nullptr) {
        countdown_ = std::numeric_limits<std::uint32_t>::max();
        return false;
    }
    const bool stop = scope_->ask();
    // Once stopped, every later question answers at once.
    countdown_ = stop ? 1 : every_;
    return stop;
}

}  // namespace cellvane
