#include <gtest/gtest.h>
#include "board/tables.h"
TEST(Smoke, Builds) { initTables(); EXPECT_EQ(squareBit[0], 0x8000000000000000ULL); }
