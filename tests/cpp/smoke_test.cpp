#include <gtest/gtest.h>

#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "zone/zone.hpp"

TEST(Engine, VersionIsSet) { EXPECT_STREQ(cellvane::ENGINE_VERSION, "1.0.1"); }
