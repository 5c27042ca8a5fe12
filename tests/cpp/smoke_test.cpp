#include <gtest/gtest.h>

#include "engine/engine.hpp"

TEST(Engine, VersionIsSet) { EXPECT_STREQ(cellvane::ENGINE_VERSION, "1.0.1"); }
