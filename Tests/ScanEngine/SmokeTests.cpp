#include <gtest/gtest.h>
#include "FileNode.hpp"
TEST(Smoke, Builds) { auto s = zelvane::NodeStore::create(); auto& a = s->makeArena(); auto* r = a.makeRoot("/", true, 0, 0, 0); EXPECT_EQ(r->name(), "/"); }
