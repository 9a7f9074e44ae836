#include "qvzsim/error_queue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qvzsim::ErrorQueue;
using qvzsim::FormatErrorEntry;

TEST(ErrorQueue, OldestFirstThenNoError) {
    ErrorQueue queue;
    queue.Push(-113);
    queue.Push(-256);
    queue.Push(101, "Not a valid two-port Touchstone file; line 3: not a number");
    EXPECT_EQ(queue.Size(), 3u);
    EXPECT_EQ(FormatErrorEntry(queue.Pop()), "-113,\"Undefined header\"");
    EXPECT_EQ(FormatErrorEntry(queue.Pop()), "-256,\"File name not found\"");
    EXPECT_EQ(FormatErrorEntry(queue.Pop()),
              "101,\"Not a valid two-port Touchstone file; line 3: not a number\"");
    EXPECT_EQ(FormatErrorEntry(queue.Pop()), "0,\"No error\"");
    EXPECT_EQ(FormatErrorEntry(queue.Pop()), "0,\"No error\"");
}

TEST(ErrorQueue, OverflowKeepsTheOldestAndMarksTheNewest) {
    ErrorQueue queue(3);
    for (int code : {-101, -102, -103, -104, -105}) {
        queue.Push(code);
    }
    ASSERT_EQ(queue.Size(), 3u);
    EXPECT_EQ(queue.Pop().code, -101);
    EXPECT_EQ(queue.Pop().code, -102);
    EXPECT_EQ(FormatErrorEntry(queue.Pop()), "-350,\"Queue overflow\"");
    EXPECT_EQ(queue.Pop().code, 0);

    // Room again after reading: new errors are kept.
    queue.Push(-113);
    EXPECT_EQ(queue.Pop().code, -113);
}

TEST(ErrorQueue, ClearEmpties) {
    ErrorQueue queue;
    queue.Push(-113);
    queue.Clear();
    EXPECT_EQ(queue.Size(), 0u);
    EXPECT_EQ(queue.Pop().code, 0);
}

TEST(ErrorQueue, MessagesStayParseable) {
    // A client reads the message up to the next double quote, at most 256
    // characters: quotes and line feeds must not survive, nor the length.
    ErrorQueue queue;
    queue.Push(7, "say \"hi\"\nthere");
    EXPECT_EQ(FormatErrorEntry(queue.Pop()), "7,\"say 'hi' there\"");
    queue.Push(8, std::string(400, 'x'));
    EXPECT_EQ(queue.Pop().message.size(), 255u);
}

TEST(ErrorQueue, StandardTexts) {
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {0, "No error"},
        {-102, "Syntax error"},
        {-104, "Data type error"},
        {-108, "Parameter not allowed"},
        {-109, "Missing parameter"},
        {-113, "Undefined header"},
        {-114, "Header suffix out of range"},
        {-222, "Data out of range"},
        {-223, "Too much data"},
        {-224, "Illegal parameter value"},
        {-256, "File name not found"},
        {-350, "Queue overflow"},
        {101, "Not a valid two-port Touchstone file"},
        {102, "File frequencies do not cover the sweep"},
        {555, "Device-specific error"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(qvzsim::StandardErrorText(c.code), c.text) << c.code;
    }
}

}  // namespace
