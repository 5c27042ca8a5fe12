// Diagnostic builds check every invariant after each change to a board and
// stop at the first broken one, so that a fault shows up where it is made.
// The build compiles this file into every program made with the check on;
// it installs the check before main runs (or when the module loads).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "zone/zone.hpp"
#include "validate/validate.hpp"

namespace cellvane {

namespace {

// A check that never says stop: the check after a change runs to its end
// even in work told to stop (which is then still stopped when it ends), and
// asks nothing of that work's own check.
class NeverStop final : public StopCheck {
public:
    bool stop() override { return false; }
};

void check_after_change(const Board& board, const char* change) {
    NeverStop never;
    const StopScope whole(never, std::chrono::hours(1));
    if (std::optional<std::string> fault = validate(board)) {
        std::fprintf(stderr, "cellvane: board invalid after %s (revision %llu): %s\n", change,
                     static_cast<unsigned long long>(board.revision()), fault->c_str());
        std::abort();
    }
}

struct Installer {
    Installer() { set_change_check(&check_after_change); }
};

[[maybe_unused]] const Installer installer;

}  // namespace

}  // namespace cellvane
