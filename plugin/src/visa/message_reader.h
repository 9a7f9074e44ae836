// Splits a session's input into response messages. Input is read from the
// transport in large chunks into one buffer; each byte is examined once for
// the termination character, so multi-megabyte replies take linear time.
// Bytes after a message's end stay buffered for the next read.
#ifndef QVZ_VISA_MESSAGE_READER_H
#define QVZ_VISA_MESSAGE_READER_H

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "visa/backend.h"

namespace qvz {
namespace visa {

struct MessageEnd {
    bool termCharEnabled = false;
    char termChar = '\n';
};

class MessageReader {
public:
    // The largest message buffered; a longer one fails with VI_ERROR_ALLOC
    // once the rest of it has been read and dropped, rather than eating the
    // host's memory.
    static constexpr std::size_t kMaxMessageBytes = std::size_t{64} << 20;
    // What the buffer keeps between reads; one long reply does not hold on
    // to its memory until the session closes.
    static constexpr std::size_t kRetainedBytes = std::size_t{1} << 20;

    // Reads the next message and points `*message` at it (without its
    // termination character). The message counts as consumed at once; the
    // view stays valid until the next call on this reader.
    //
    // With the termination character enabled a message ends at that
    // character; otherwise it is whatever has arrived (waiting for the first
    // byte when nothing is buffered). Returns the last completion code of
    // the transport (>= 0), or VI_ERROR_TMO when the deadline passes first
    // (a partial message stays buffered), or the transport's failure.
    ViStatus ReadMessage(Transport& transport, const MessageEnd& end, const Deadline& deadline,
                         std::string_view* message);

    // Drops everything buffered.
    void Discard();

    // Gives back buffer space beyond kRetainedBytes (keeping what is
    // buffered). Ends the validity of the last message's view.
    void ReleaseSpace();

    std::size_t Capacity() const { return capacity_; }

    std::size_t Buffered() const { return used_ - start_; }

private:
    // Reads one chunk from the transport onto the end of the buffer.
    ViStatus Fill(Transport& transport, const Deadline& deadline);
    void Compact();
    // Reads and drops input through the next termination character, which
    // ends a message too long to keep; VI_ERROR_ALLOC once it is found.
    ViStatus DropRestOfMessage(Transport& transport, char termChar, const Deadline& deadline);

    // Resizes the buffer to `size` bytes, keeping the first used_; throws
    // std::bad_alloc when memory is exhausted (the buffer is then unchanged).
    void Resize(std::size_t size);

    struct FreeBlock {
        void operator()(char* block) const { std::free(block); }
    };
    // From malloc and grown with realloc: new space is never zero-filled
    // (every byte is read into before it is looked at), and a large block
    // grows without copying where the C library can remap its pages.
    std::unique_ptr<char, FreeBlock> buffer_;
    std::size_t capacity_ = 0;
    std::size_t start_ = 0;    // first byte not yet handed out
    std::size_t scanned_ = 0;  // bytes before this were searched for the termination character
    std::size_t used_ = 0;     // bytes of buffer_ holding input
};

}  // namespace visa
}  // namespace qvz

#endif
