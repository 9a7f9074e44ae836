// Arbitrary reply bytes against each read format the apply sequence uses.
//
// Input: the first byte picks the case (modulo the table below), the rest is
// the reply message as the VISA layer hands it to the engine (termination
// character already removed). Every case is scanned twice, with the outputs
// pre-filled with two different sentinels: a value that really came from the
// reply is the same both times, one that was never filled still holds its
// sentinel. That tells "filled" from "left alone" without trusting the
// engine's own account. Outputs live in exactly-sized heap blocks, so that
// AddressSanitizer sees any write past a capacity or a width.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "visa/format_read.h"

namespace {

using qvz::visa::ScanMessageF;
using qvz::visa::ValidateReadFormat;
using qvz::visa::VI_ERROR_INV_FMT;
using qvz::visa::VI_SUCCESS;
using qvz::visa::ViStatus;

constexpr std::int32_t kIntSentinelA = 0x5A5A5A5A;
constexpr std::int32_t kIntSentinelB = -0x3C3C3C3C;
constexpr unsigned char kByteSentinelA = 0xA5;
constexpr unsigned char kByteSentinelB = 0x3C;
constexpr std::uint64_t kDoubleSentinelA = 0x7FF4A5A5A5A5A5A5u;  // signalling NaNs
constexpr std::uint64_t kDoubleSentinelB = 0xFFF43C3C3C3C3C3Cu;
constexpr std::size_t kErrorTextWidth = 256;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// What "%d" must make of a message: white space, an optional sign, at least
// one digit, and a value that fits 32 bits. `*end` is where the number ends.
bool ExpectedInt32(const char* data, std::size_t size, std::int32_t* value,
                   std::size_t* end = nullptr) {
    std::size_t i = 0;
    while (i < size && IsSpace(data[i])) {
        ++i;
    }
    bool negative = false;
    if (i < size && (data[i] == '+' || data[i] == '-')) {
        negative = data[i] == '-';
        ++i;
    }
    if (i == size || data[i] < '0' || data[i] > '9') {
        return false;
    }
    std::int64_t magnitude = 0;
    for (; i < size && data[i] >= '0' && data[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (data[i] - '0');
        if (magnitude > (std::int64_t{1} << 31)) {
            return false;
        }
    }
    const std::int64_t result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX || result < INT32_MIN) {
        return false;
    }
    *value = static_cast<std::int32_t>(result);
    if (end != nullptr) {
        *end = i;
    }
    return true;
}

void CheckStatusShape(ViStatus first, ViStatus second) {
    FUZZ_CHECK(first == second, "the same reply must scan the same way twice");
    FUZZ_CHECK(first == VI_SUCCESS || first == VI_ERROR_INV_FMT,
               "a well-formed read format only succeeds or reports an unfilled conversion");
}

void FuzzInt32(const char* format, const char* data, std::size_t size) {
    auto a = std::make_unique<std::int32_t>(kIntSentinelA);
    auto b = std::make_unique<std::int32_t>(kIntSentinelB);
    const ViStatus first = ScanMessageF(data, size, format, a.get());
    const ViStatus second = ScanMessageF(data, size, format, b.get());
    CheckStatusShape(first, second);
    std::int32_t expected = 0;
    const bool parsable = ExpectedInt32(data, size, &expected);
    if (first == VI_SUCCESS) {
        FUZZ_CHECK(*a == *b, "a successful %d must fill its integer");
        FUZZ_CHECK(parsable && *a == expected, "%d must agree with decimal parsing");
    } else {
        FUZZ_CHECK(!parsable, "%d refused a decimal integer that fits 32 bits");
        FUZZ_CHECK(*a == kIntSentinelA && *b == kIntSentinelB,
                   "a failed %d must leave its integer alone");
    }
}

std::unique_ptr<double[]> FilledArray(std::int32_t capacity, std::uint64_t sentinel) {
    auto array = std::make_unique<double[]>(static_cast<std::size_t>(capacity));
    for (std::int32_t i = 0; i < capacity; ++i) {
        std::memcpy(&array[static_cast<std::size_t>(i)], &sentinel, sizeof sentinel);
    }
    return array;
}

std::uint64_t Bits(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void FuzzDoubleList(std::int32_t capacity, const char* data, std::size_t size) {
    auto a = FilledArray(capacity, kDoubleSentinelA);
    auto b = FilledArray(capacity, kDoubleSentinelB);
    auto countA = std::make_unique<std::int32_t>(capacity);
    auto countB = std::make_unique<std::int32_t>(capacity);
    const ViStatus first = ScanMessageF(data, size, "%,#lf", countA.get(), a.get());
    const ViStatus second = ScanMessageF(data, size, "%,#lf", countB.get(), b.get());
    CheckStatusShape(first, second);
    FUZZ_CHECK(*countA == *countB, "the count read back must not depend on the array");
    FUZZ_CHECK(*countA >= 0 && *countA <= capacity, "the count must stay within the capacity");
    if (capacity == 0) {
        FUZZ_CHECK(first == VI_SUCCESS && *countA == 0, "a capacity of 0 reads nothing");
        return;
    }
    const std::int32_t filled = first == VI_SUCCESS ? *countA : 0;
    FUZZ_CHECK(first != VI_SUCCESS || filled >= 1, "a successful list read holds a value");
    for (std::int32_t i = 0; i < capacity; ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        if (i < filled) {
            FUZZ_CHECK(Bits(a[at]) == Bits(b[at]), "every counted value must come from the reply");
        } else {
            FUZZ_CHECK(Bits(a[at]) == kDoubleSentinelA && Bits(b[at]) == kDoubleSentinelB,
                       "values beyond the count must be left alone");
        }
    }
}

void FuzzErrorEntry(const char* data, std::size_t size) {
    constexpr std::size_t kBufferSize = kErrorTextWidth + 1;
    auto numberA = std::make_unique<std::int32_t>(kIntSentinelA);
    auto numberB = std::make_unique<std::int32_t>(kIntSentinelB);
    auto textA = std::make_unique<unsigned char[]>(kBufferSize);
    auto textB = std::make_unique<unsigned char[]>(kBufferSize);
    std::memset(textA.get(), kByteSentinelA, kBufferSize);
    std::memset(textB.get(), kByteSentinelB, kBufferSize);
    const char* format = "%ld,\"%256[^\"]";
    const ViStatus first = ScanMessageF(data, size, format, numberA.get(), textA.get());
    const ViStatus second = ScanMessageF(data, size, format, numberB.get(), textB.get());
    CheckStatusShape(first, second);

    // The entry is a number, a comma, a quote, then the message up to the
    // next quote (any other byte, NUL included, belongs to it).
    std::int32_t number = 0;
    std::size_t at = 0;
    const bool wellFormed = ExpectedInt32(data, size, &number, &at) && at + 1 < size &&
                            data[at] == ',' && data[at + 1] == '"';
    if (!wellFormed) {
        FUZZ_CHECK(first == VI_ERROR_INV_FMT, "an entry without number, comma and quote fails");
        for (std::size_t i = 0; i < kBufferSize; ++i) {
            FUZZ_CHECK(textA[i] == kByteSentinelA && textB[i] == kByteSentinelB,
                       "a failed error-entry read must leave the message buffer alone");
        }
        return;
    }
    FUZZ_CHECK(first == VI_SUCCESS, "a well-formed entry is read");
    FUZZ_CHECK(*numberA == number && *numberB == number, "the error number is filled");
    const char* message = data + at + 2;
    std::size_t length = 0;
    while (length < kErrorTextWidth && at + 2 + length < size && message[length] != '"') {
        ++length;
    }
    FUZZ_CHECK(std::memcmp(textA.get(), message, length) == 0 &&
                   std::memcmp(textB.get(), message, length) == 0,
               "the message is copied up to the quote, at most 256 characters");
    FUZZ_CHECK(textA[length] == '\0' && textB[length] == '\0', "the message is terminated");
    for (std::size_t i = length + 1; i < kBufferSize; ++i) {
        FUZZ_CHECK(textA[i] == kByteSentinelA && textB[i] == kByteSentinelB,
                   "nothing may be written after the terminator");
    }
}

void FuzzFormatText(const char* data, std::size_t size) {
    // Any text as a format: validation must not read past it or crash.
    const std::string format(data, size);
    const ViStatus status = ValidateReadFormat(format.c_str());
    FUZZ_CHECK(status <= VI_SUCCESS, "validation never returns a completion code");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const char* data = reinterpret_cast<const char*>(input + 1);
    const std::size_t length = size - 1;
    switch (input[0] % 7) {
        case 0:
            FuzzInt32("%d", data, length);
            break;
        case 1:
            FuzzInt32("%ld", data, length);
            break;
        case 2:
            FuzzDoubleList(0, data, length);
            break;
        case 3:
            FuzzDoubleList(1, data, length);
            break;
        case 4:
            FuzzDoubleList(1001, data, length);
            break;
        case 5:
            FuzzErrorEntry(data, length);
            break;
        default:
            FuzzFormatText(data, length);
            break;
    }
    return 0;
}
