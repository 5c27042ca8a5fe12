// What a scope does as it ends, told whether an exception thrown inside it is
// leaving it: the engine's one tool for keeping a board whole when an
// allocation fails part way.
#pragma once

#include <exception>
#include <utility>

namespace cellvane {

// Runs `f(threw)` as the scope ends, `threw` telling whether it is left by an
// exception thrown inside it. `f` must not throw.
template <class F>
class AtScopeEnd {
public:
    explicit AtScopeEnd(F f) : f_(std::move(f)), pending_(std::uncaught_exceptions()) {}
    AtScopeEnd(const AtScopeEnd&) = delete;
    AtScopeEnd& operator=(const AtScopeEnd&) = delete;
    ~AtScopeEnd() { f_(std::uncaught_exceptions() > pending_); }

private:
    F f_;
    int pending_;
};

}  // namespace cellvane
