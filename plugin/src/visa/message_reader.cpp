#include "visa/message_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qvz {
namespace visa {
namespace {

constexpr std::size_t kReadChunk = std::size_t{64} << 10;

}  // namespace

void MessageReader::Discard() {
    start_ = 0;
    scanned_ = 0;
    used_ = 0;
}

void MessageReader::Resize(std::size_t size) {
    char* const old = buffer_.release();
    char* const block = static_cast<char*>(std::realloc(old, size));
    if (block == nullptr) {
        buffer_.reset(old);  // realloc leaves the old block as it was
        throw std::bad_alloc();
    }
    buffer_.reset(block);
    capacity_ = size;
}

void MessageReader::Compact() {
    if (start_ == 0) {
        return;
    }
    // Only the unconsumed tail moves, once per message: linear overall.
    std::memmove(buffer_.get(), buffer_.get() + start_, used_ - start_);
    used_ -= start_;
    scanned_ -= std::min(scanned_, start_);
    start_ = 0;
}

void MessageReader::ReleaseSpace() {
    if (capacity_ <= kRetainedBytes) {
        return;
    }
    Compact();
    try {
        Resize(std::max({used_, kReadChunk, kRetainedBytes / 2}));
    } catch (const std::bad_alloc&) {
        // Keeping the larger buffer is no failure.
    }
}

ViStatus MessageReader::Fill(Transport& transport, const Deadline& deadline) {
    Compact();
    if (capacity_ - used_ < kReadChunk) {
        Resize(
            std::min(std::max(capacity_ * 2, used_ + kReadChunk), kMaxMessageBytes + kReadChunk));
    }
    std::size_t received = 0;
    const ViStatus status =
        transport.Read(buffer_.get() + used_, capacity_ - used_, deadline, &received);
    if (status < VI_SUCCESS) {
        return status;
    }
    if (received == 0 || received > capacity_ - used_) {
        return VI_ERROR_IO;  // a transport that claims success must deliver
    }
    used_ += received;
    return status;
}

ViStatus MessageReader::ReadMessage(Transport& transport, const MessageEnd& end,
                                    const Deadline& deadline, std::string_view* message) {
    ViStatus completion = VI_SUCCESS;
    if (!end.termCharEnabled) {
        if (start_ == used_) {
            Discard();
            const ViStatus status = Fill(transport, deadline);
            if (status < VI_SUCCESS) {
                return status;
            }
            completion = status;
        }
        *message = std::string_view(buffer_.get() + start_, used_ - start_);
        start_ = used_;
        scanned_ = used_;
        return completion;
    }

    for (;;) {
        scanned_ = std::max(scanned_, start_);
        const void* found =
            used_ > scanned_ ? std::memchr(buffer_.get() + scanned_, end.termChar, used_ - scanned_)
                             : nullptr;
        if (found != nullptr) {
            const std::size_t stop =
                static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.get());
            *message = std::string_view(buffer_.get() + start_, stop - start_);
            start_ = stop + 1;
            scanned_ = start_;
            return completion;
        }
        scanned_ = used_;
        if (used_ - start_ >= kMaxMessageBytes) {
            return DropRestOfMessage(transport, end.termChar, deadline);
        }
        const ViStatus status = Fill(transport, deadline);
        if (status < VI_SUCCESS) {
            return status;
        }
        if (status > VI_SUCCESS) {
            completion = status;
        }
    }
}

ViStatus MessageReader::DropRestOfMessage(Transport& transport, char termChar,
                                          const Deadline& deadline) {
    Discard();
    ReleaseSpace();
    for (;;) {
        const ViStatus status = Fill(transport, deadline);
        if (status < VI_SUCCESS) {
            return status;  // a timeout: the rest never came
        }
        const void* found = std::memchr(buffer_.get(), termChar, used_);
        if (found != nullptr) {
            // What follows the end belongs to the next message.
            start_ = static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.get()) + 1;
            scanned_ = start_;
            return VI_ERROR_ALLOC;
        }
        Discard();
    }
}

}  // namespace visa
}  // namespace qvz
