// The numbers of the xboard commands as interfaces write them.
#include <gtest/gtest.h>

#include <cstdint>

#include "xboard/numbers.h"

namespace {

TEST(XboardNumbers, ReadsTheInterfacesNumbers) {
    struct Case {
        bool (*parse)(const char*, std::int64_t&);
        const char* text;
        bool accepted;
        std::int64_t value;
    };
    const auto W = parseWhole, S = parseSecondsAsMs, B = parseBaseSeconds;
    for (const Case& c : {Case{W, "40", true, 40}, {W, "-3", true, -3}, {W, "+7", true, 7}, {W, "0", true, 0},
                          {W, "99999999999999999999999", true, std::int64_t{1} << 40}, {W, "", false, 0},
                          {W, "-", false, 0}, {W, "4x", false, 0}, {W, "1.5", false, 0}, {S, "3", true, 3000},
                          {S, "0.5", true, 500}, {S, "1.25", true, 1250}, {S, "1.05", true, 1050}, {S, "0.05", true, 50}, {S, "-2", true, -2000}, {S, "1.5s", false, 0},
                          {S, "1:30", false, 0}, {B, "5", true, 300}, {B, "0:30", true, 30}, {B, "10:05", true, 605}, {B, "0:9", true, 9},
                          {B, "1.5", true, 90}, {B, "1.05", true, 63}, {B, "0:30.05", false, 0}, {B, "0:", false, 0}, {B, ":30", false, 0}, {B, "0:-5", false, 0},
                          {B, "0:30:1", false, 0}}) {
        std::int64_t value = 12345;
        EXPECT_EQ(c.parse(c.text, value), c.accepted) << '"' << c.text << '"';
        EXPECT_EQ(value, c.accepted ? c.value : 12345) << '"' << c.text << '"';
    }
}

}  // namespace
