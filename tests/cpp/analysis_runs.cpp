// The count of analyses behind TestAccess::analyse_runs. The tests are
// linked with the two analysis entry points wrapped (--wrap, see
// CMakeLists.txt): every call from another object file comes here first, is
// counted, and goes on to the engine's own function. A call of analyse makes
// its one call of analyse_into inside the analysis' own object file, which
// is not wrapped, so each analysis counts once.
#include <atomic>

#include "analysis/analysis.hpp"
#include "test_access.hpp"

namespace {
std::atomic<std::uint64_t> runs{0};
}  // namespace

using cellvane::PositionAnalysis;
using cellvane::Stone;
using Stones = std::vector<Stone>;

extern "C" {
// cellvane::analyse(double, const std::vector<Stone>&) and
// cellvane::analyse_into(double, const std::vector<Stone>&, PositionAnalysis&).
PositionAnalysis __real__ZN8cellvane7analyseEdRKSt6vectorINS_5StoneESaIS1_EE(double, const Stones&);
void __real__ZN8cellvane12analyse_intoEdRKSt6vectorINS_5StoneESaIS1_EERNS_16PositionAnalysisE(double, const Stones&,
                                                                                              PositionAnalysis&);

PositionAnalysis __wrap__ZN8cellvane7analyseEdRKSt6vectorINS_5StoneESaIS1_EE(double size, const Stones& stones) {
    runs.fetch_add(1, std::memory_order_relaxed);
    return __real__ZN8cellvane7analyseEdRKSt6vectorINS_5StoneESaIS1_EE(size, stones);
}
void __wrap__ZN8cellvane12analyse_intoEdRKSt6vectorINS_5StoneESaIS1_EERNS_16PositionAnalysisE(double size,
                                                                                              const Stones& stones,
                                                                                              PositionAnalysis& out) {
    runs.fetch_add(1, std::memory_order_relaxed);
    __real__ZN8cellvane12analyse_intoEdRKSt6vectorINS_5StoneESaIS1_EERNS_16PositionAnalysisE(size, stones, out);
}
}

std::uint64_t cellvane::TestAccess::analyse_runs() { return runs.load(std::memory_order_relaxed); }
