#include "cut/cut.hpp"

namespace cellvane {

void CutMemo::forget_cuts_near(Point) {}

std::size_t CutMemo::size() const { return 0; }

}  // namespace cellvane
