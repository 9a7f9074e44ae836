#include "visa/message_reader.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <string_view>

namespace qvz::visa {
namespace {

// Delivers scripted input in the pieces given, then a chosen status.
class PieceTransport final : public Transport {
public:
    std::deque<std::string> pieces;
    ViStatus whenEmpty = VI_ERROR_TMO;
    int reads = 0;
    std::size_t largestCapacity = 0;

    ViStatus Write(const char*, std::size_t, const Deadline&) override { return VI_SUCCESS; }
    ViStatus Read(char* buffer, std::size_t capacity, const Deadline&,
                  std::size_t* received) override {
        ++reads;
        largestCapacity = std::max(largestCapacity, capacity);
        if (pieces.empty()) {
            return whenEmpty;
        }
        std::string& piece = pieces.front();
        const std::size_t n = std::min(capacity, piece.size());
        piece.copy(buffer, n);
        piece.erase(0, n);
        if (piece.empty()) {
            pieces.pop_front();
        }
        *received = n;
        return VI_SUCCESS;
    }
    ViStatus DiscardInput() override { return VI_SUCCESS; }
    ViStatus SetAttribute(ViAttr, ViAttrState) override { return VI_SUCCESS; }
    ViStatus Close() override { return VI_SUCCESS; }
};

constexpr MessageEnd kLineEnd{true, '\n'};

TEST(MessageReader, JoinsPiecesIntoOneMessageAndKeepsTheRest) {
    PieceTransport transport;
    transport.pieces = {"12", "3", "4\n5", "6\n7"};
    MessageReader reader;
    std::string_view message;
    ASSERT_EQ(reader.ReadMessage(transport, kLineEnd, Deadline::Never(), &message), VI_SUCCESS);
    EXPECT_EQ(message, "1234");
    ASSERT_EQ(reader.ReadMessage(transport, kLineEnd, Deadline::Never(), &message), VI_SUCCESS);
    EXPECT_EQ(message, "56");
    EXPECT_EQ(reader.Buffered(), 1u);
    // "7" has no end yet: the read times out and keeps it.
    EXPECT_EQ(reader.ReadMessage(transport, kLineEnd, Deadline::Never(), &message), VI_ERROR_TMO);
    EXPECT_EQ(reader.Buffered(), 1u);
    transport.pieces = {"8\n"};
    ASSERT_EQ(reader.ReadMessage(transport, kLineEnd, Deadline::Never(), &message), VI_SUCCESS);
    EXPECT_EQ(message, "78");
    EXPECT_EQ(reader.Buffered(), 0u);
}

// A message longer than the cap fails with VI_ERROR_ALLOC once all of it has
// been read and dropped; the message after it is read whole.
TEST(MessageReader, AMessageOverTheCapIsDroppedToItsEnd) {
    PieceTransport transport;
    const std::string mebibyte(std::size_t{1} << 20, '7');
    for (std::size_t i = 0; i < (MessageReader::kMaxMessageBytes >> 20) + 2; ++i) {
        transport.pieces.push_back(mebibyte);
    }
    transport.pieces.push_back("7,7\nnext\n");
    MessageReader reader;
    std::string_view message;
    EXPECT_EQ(reader.ReadMessage(transport, kLineEnd, Deadline::Never(), &message), VI_ERROR_ALLOC);
    EXPECT_LE(reader.Capacity(), MessageReader::kMaxMessageBytes + (std::size_t{1} << 20));
    ASSERT_EQ(reader.ReadMessage(transport, kLineEnd, Deadline::Never(), &message), VI_SUCCESS);
    EXPECT_EQ(message, "next");
}

TEST(MessageReader, ALongReplysBufferIsGivenBackAfterTheRead) {
    PieceTransport transport;
    transport.pieces = {std::string(std::size_t{5} << 20, 'x') + "\nrest"};
    MessageReader reader;
    std::string_view message;
    ASSERT_EQ(reader.ReadMessage(transport, kLineEnd, Deadline::Never(), &message), VI_SUCCESS);
    EXPECT_EQ(message.size(), std::size_t{5} << 20);
    EXPECT_GT(reader.Capacity(), MessageReader::kRetainedBytes);
    reader.ReleaseSpace();
    EXPECT_LE(reader.Capacity(), MessageReader::kRetainedBytes);
    EXPECT_EQ(reader.Buffered(), 4u) << "what follows the message is kept";
}

TEST(MessageReader, ServesBufferedMessagesWithoutReading) {
    PieceTransport transport;
    transport.pieces = {"a\nb\nc\n"};
    MessageReader reader;
    std::string_view message;
    for (const char* expected : {"a", "b", "c"}) {
        ASSERT_EQ(reader.ReadMessage(transport, kLineEnd, Deadline::Never(), &message), VI_SUCCESS);
        EXPECT_EQ(message, expected);
    }
    EXPECT_EQ(transport.reads, 1);
}

TEST(MessageReader, HonoursAnotherTerminationCharacter) {
    PieceTransport transport;
    transport.pieces = {"x\ny;z"};
    MessageReader reader;
    std::string_view message;
    ASSERT_EQ(reader.ReadMessage(transport, MessageEnd{true, ';'}, Deadline::Never(), &message),
              VI_SUCCESS);
    EXPECT_EQ(message, "x\ny");
}

TEST(MessageReader, WithoutTerminationCharacterTakesWhatArrived) {
    PieceTransport transport;
    transport.pieces = {"1\n2\n", "3"};
    MessageReader reader;
    std::string_view message;
    const MessageEnd noEnd{false, '\n'};
    ASSERT_EQ(reader.ReadMessage(transport, noEnd, Deadline::Never(), &message), VI_SUCCESS);
    EXPECT_EQ(message, "1\n2\n");
    ASSERT_EQ(reader.ReadMessage(transport, noEnd, Deadline::Never(), &message), VI_SUCCESS);
    EXPECT_EQ(message, "3");
    EXPECT_EQ(reader.ReadMessage(transport, noEnd, Deadline::Never(), &message), VI_ERROR_TMO);
}

TEST(MessageReader, PassesTransportFailuresOn) {
    PieceTransport transport;
    transport.pieces = {"partial"};
    transport.whenEmpty = VI_ERROR_CONN_LOST;
    MessageReader reader;
    std::string_view message;
    EXPECT_EQ(reader.ReadMessage(transport, kLineEnd, Deadline::Never(), &message),
              VI_ERROR_CONN_LOST);
}

TEST(MessageReader, DiscardDropsEverythingBuffered) {
    PieceTransport transport;
    transport.pieces = {"old\nolder\nhalf"};
    MessageReader reader;
    std::string_view message;
    ASSERT_EQ(reader.ReadMessage(transport, kLineEnd, Deadline::Never(), &message), VI_SUCCESS);
    reader.Discard();
    EXPECT_EQ(reader.Buffered(), 0u);
    transport.pieces = {"new\n"};
    ASSERT_EQ(reader.ReadMessage(transport, kLineEnd, Deadline::Never(), &message), VI_SUCCESS);
    EXPECT_EQ(message, "new");
}

TEST(MessageReader, MultiMegabyteMessageInSmallPiecesArrivesWhole) {
    PieceTransport transport;
    std::string expected;
    for (int i = 0; i < 200000; ++i) {
        expected += "1.2345e9,";
    }
    expected += "7";
    for (std::size_t at = 0; at < expected.size(); at += 1400) {
        transport.pieces.push_back(expected.substr(at, 1400));
    }
    transport.pieces.push_back("\nnext\n");
    MessageReader reader;
    std::string_view message;
    ASSERT_EQ(reader.ReadMessage(transport, kLineEnd, Deadline::Never(), &message), VI_SUCCESS);
    EXPECT_EQ(message.size(), expected.size());
    EXPECT_TRUE(message == expected);
    ASSERT_EQ(reader.ReadMessage(transport, kLineEnd, Deadline::Never(), &message), VI_SUCCESS);
    EXPECT_EQ(message, "next");
    // Reads are offered room that grows with the message, not a fixed
    // small window.
    EXPECT_GE(transport.largestCapacity, expected.size() / 2);
}

}  // namespace
}  // namespace qvz::visa
