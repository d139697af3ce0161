// The command input fed from outside, as the web worker feeds it: the reader's
// line rules, no reader thread, no end.
#include <gtest/gtest.h>

#include <string>

#include "session/input.h"

namespace {

TEST(CommandInput, PushedLinesFollowTheReadersRules) {
    InputQueue input;
    input.pushLine("uci");  // before the start: kept
    input.startExternal();
    input.start(0);  // starts no reader on descriptor 0
    input.pushLine("isready\r");
    input.pushLine("position startpos\ngo depth 2");
    input.pushLine(std::string(InputQueue::LineLimit + 1, 'x'));
    for (const char* expected : {"uci", "isready", "position startpos", "go depth 2"}) {
        const std::optional<InputLine> line = input.tryTake();
        ASSERT_TRUE(line.has_value()) << expected;
        EXPECT_EQ(line->text, expected);
        EXPECT_FALSE(line->tooLong);
    }
    const std::optional<InputLine> longLine = input.tryTake();
    ASSERT_TRUE(longLine.has_value());
    EXPECT_TRUE(longLine->tooLong);
    EXPECT_EQ(longLine->text.size(), InputQueue::LineLimit);
    EXPECT_FALSE(input.tryTake().has_value());
    EXPECT_FALSE(input.exhausted());  // no end of input: more may come
    input.finish();                   // no reader to wait for
}

}  // namespace
