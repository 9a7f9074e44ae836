#include "visa/format_read.h"

#include <charconv>
#include <cstdint>
#include <system_error>

namespace qvz {
namespace visa {
namespace {

// The widest %N[...] accepted; anything larger is a typing error, not a buffer.
constexpr std::size_t kMaxSetWidth = std::size_t{1} << 30;

enum class ReadKind { kLiteral, kWhiteSpace, kInt32, kDouble, kDoubleList, kCharSet };

struct ReadDirective {
    ReadKind kind = ReadKind::kLiteral;
    char literal = '\0';
    std::size_t width = 0;
    bool negated = false;
    const char* setBegin = nullptr;  // the set's text between '[' (after '^') and ']'
    const char* setEnd = nullptr;
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsConversion(ReadKind kind) {
    return kind != ReadKind::kLiteral && kind != ReadKind::kWhiteSpace;
}

// Parses the conversion after a '%' at `*cursor` and advances past it.
ViStatus ParseConversion(const char** cursor, ReadDirective* directive) {
    const char* p = *cursor;
    auto accept = [&](const char* text, ReadKind kind) {
        std::size_t i = 0;
        while (text[i] != '\0' && p[i] == text[i]) {
            ++i;
        }
        if (text[i] != '\0') {
            return false;
        }
        directive->kind = kind;
        *cursor = p + i;
        return true;
    };
    if (*p == '\0') {
        return VI_ERROR_INV_FMT;
    }
    if (*p == '%') {
        directive->kind = ReadKind::kLiteral;
        directive->literal = '%';
        *cursor = p + 1;
        return VI_SUCCESS;
    }
    if (accept("d", ReadKind::kInt32) || accept("ld", ReadKind::kInt32) ||
        accept("lf", ReadKind::kDouble) || accept(",#lf", ReadKind::kDoubleList)) {
        return VI_SUCCESS;
    }
    if (!IsDigit(*p)) {
        return VI_ERROR_NSUP_FMT;
    }
    std::size_t width = 0;
    while (IsDigit(*p)) {
        width = width * 10 + static_cast<std::size_t>(*p - '0');
        if (width > kMaxSetWidth) {
            return VI_ERROR_NSUP_FMT;
        }
        ++p;
    }
    if (*p != '[' || width == 0) {
        return VI_ERROR_NSUP_FMT;  // widths only go with sets
    }
    ++p;
    directive->kind = ReadKind::kCharSet;
    directive->width = width;
    directive->negated = *p == '^';
    if (directive->negated) {
        ++p;
    }
    directive->setBegin = p;
    if (*p == ']') {
        ++p;  // a leading ']' is a member, not the end
    }
    while (*p != '\0' && *p != ']') {
        ++p;
    }
    if (*p != ']') {
        return VI_ERROR_INV_FMT;
    }
    directive->setEnd = p;
    *cursor = p + 1;
    return VI_SUCCESS;
}

// The next directive at `*cursor`; false at the end of the format.
bool NextDirective(const char** cursor, ReadDirective* directive, ViStatus* status) {
    const char* p = *cursor;
    *status = VI_SUCCESS;
    if (*p == '\0') {
        return false;
    }
    if (IsSpace(*p)) {
        while (IsSpace(*p)) {
            ++p;
        }
        directive->kind = ReadKind::kWhiteSpace;
        *cursor = p;
        return true;
    }
    if (*p != '%') {
        directive->kind = ReadKind::kLiteral;
        directive->literal = *p;
        *cursor = p + 1;
        return true;
    }
    ++p;
    *status = ParseConversion(&p, directive);
    *cursor = p;
    return true;
}

// Membership table of a %[...] set.
struct CharSet {
    bool member[256] = {};

    explicit CharSet(const ReadDirective& directive) {
        const char* p = directive.setBegin;
        const char* end = directive.setEnd;
        while (p < end) {
            const unsigned char low = static_cast<unsigned char>(*p);
            // "a-z" is a range; a '-' that comes first or last is a member.
            if (p + 2 < end && p[1] == '-') {
                const unsigned char high = static_cast<unsigned char>(p[2]);
                for (unsigned c = low; c <= high; ++c) {
                    member[c] = true;
                }
                p += 3;
            } else {
                member[low] = true;
                ++p;
            }
        }
        if (directive.negated) {
            for (bool& m : member) {
                m = !m;
            }
        }
    }

    bool Contains(char c) const { return member[static_cast<unsigned char>(c)]; }
};

class MessageScanner {
public:
    MessageScanner(const char* data, std::size_t size) : p_(data), end_(data + size) {}

    void SkipSpace() {
        while (p_ < end_ && IsSpace(*p_)) {
            ++p_;
        }
    }

    bool MatchLiteral(char c) {
        if (p_ < end_ && *p_ == c) {
            ++p_;
            return true;
        }
        return false;
    }

    bool ReadInt32(std::int32_t* value) {
        SkipSpace();
        const char* p = p_;
        bool negative = false;
        if (p < end_ && (*p == '+' || *p == '-')) {
            negative = *p == '-';
            ++p;
        }
        if (p == end_ || !IsDigit(*p)) {
            return false;
        }
        std::int64_t magnitude = 0;
        constexpr std::int64_t kLimit = std::int64_t{1} << 31;
        while (p < end_ && IsDigit(*p)) {
            magnitude = magnitude * 10 + (*p - '0');
            if (magnitude > kLimit) {
                return false;
            }
            ++p;
        }
        const std::int64_t signedValue = negative ? -magnitude : magnitude;
        if (signedValue >= kLimit) {
            return false;
        }
        *value = static_cast<std::int32_t>(signedValue);
        p_ = p;
        return true;
    }

    bool ReadDouble(double* value) {
        SkipSpace();
        const char* p = p_;
        if (p < end_ && *p == '+') {
            ++p;
            if (p < end_ && (*p == '-' || *p == '+')) {
                return false;
            }
        }
        double parsed = 0.0;
        const auto result = std::from_chars(p, end_, parsed);
        if (result.ec != std::errc()) {
            return false;
        }
        *value = parsed;
        p_ = result.ptr;
        return true;
    }

    // Values separated by commas (white space around them allowed), at most
    // `capacity`; the count read. Each value is parsed once, straight into
    // its element: a comma that no number follows is left unread (a trailing
    // comma is not the list's), and ReadDouble writes nothing on failure.
    std::int32_t ReadDoubleList(double* array, std::int32_t capacity) {
        if (capacity <= 0 || !ReadDouble(&array[0])) {
            return 0;
        }
        std::int32_t count = 1;
        while (count < capacity) {
            const char* beforeComma = p_;
            SkipSpace();
            if (!MatchLiteral(',') || !ReadDouble(&array[count])) {
                p_ = beforeComma;
                break;
            }
            ++count;
        }
        return count;
    }

    void ReadSet(const CharSet& set, std::size_t width, char* buffer) {
        std::size_t n = 0;
        while (n < width && p_ < end_ && set.Contains(*p_)) {
            buffer[n++] = *p_++;
        }
        buffer[n] = '\0';
    }

private:
    const char* p_;
    const char* end_;
};

// Whether any conversion follows `cursor` in the format.
bool ConversionsRemain(const char* cursor) {
    ReadDirective directive;
    ViStatus status = VI_SUCCESS;
    while (NextDirective(&cursor, &directive, &status)) {
        if (IsConversion(directive.kind)) {
            return true;
        }
    }
    return false;
}

}  // namespace

ViStatus ValidateReadFormat(const char* format) {
    if (format == nullptr) {
        return VI_ERROR_INV_FMT;
    }
    ReadDirective directive;
    ViStatus status = VI_SUCCESS;
    const char* cursor = format;
    while (NextDirective(&cursor, &directive, &status)) {
        if (status != VI_SUCCESS) {
            return status;
        }
    }
    return VI_SUCCESS;
}

ViStatus ScanMessage(const char* data, std::size_t size, const char* format, va_list* args) {
    const ViStatus valid = ValidateReadFormat(format);
    if (valid != VI_SUCCESS) {
        return valid;
    }
    if (data == nullptr) {
        size = 0;
    }
    MessageScanner scanner(data, size);
    ReadDirective directive;
    ViStatus status = VI_SUCCESS;
    const char* cursor = format;
    while (NextDirective(&cursor, &directive, &status)) {
        switch (directive.kind) {
            case ReadKind::kWhiteSpace:
                scanner.SkipSpace();
                break;
            case ReadKind::kLiteral:
                if (!scanner.MatchLiteral(directive.literal)) {
                    // A trailing literal that does not match costs nothing;
                    // one that a conversion still waits behind is a failure.
                    return ConversionsRemain(cursor) ? VI_ERROR_INV_FMT : VI_SUCCESS;
                }
                break;
            case ReadKind::kInt32: {
                auto* value = va_arg(*args, std::int32_t*);
                if (value == nullptr) {
                    return VI_ERROR_USER_BUF;
                }
                if (!scanner.ReadInt32(value)) {
                    return VI_ERROR_INV_FMT;
                }
                break;
            }
            case ReadKind::kDouble: {
                auto* value = va_arg(*args, double*);
                if (value == nullptr) {
                    return VI_ERROR_USER_BUF;
                }
                if (!scanner.ReadDouble(value)) {
                    return VI_ERROR_INV_FMT;
                }
                break;
            }
            case ReadKind::kDoubleList: {
                auto* count = va_arg(*args, std::int32_t*);
                auto* array = va_arg(*args, double*);
                if (count == nullptr || (array == nullptr && *count > 0)) {
                    return VI_ERROR_USER_BUF;
                }
                const std::int32_t capacity = *count;
                if (capacity < 0) {
                    return VI_ERROR_INV_PARAMETER;
                }
                *count = scanner.ReadDoubleList(array, capacity);
                if (capacity > 0 && *count == 0) {
                    return VI_ERROR_INV_FMT;
                }
                break;
            }
            case ReadKind::kCharSet: {
                auto* buffer = va_arg(*args, char*);
                if (buffer == nullptr) {
                    return VI_ERROR_USER_BUF;
                }
                scanner.ReadSet(CharSet(directive), directive.width, buffer);
                break;
            }
        }
    }
    return VI_SUCCESS;
}

ViStatus ScanMessageF(const char* data, std::size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const ViStatus status = ScanMessage(data, size, format, &args);
    va_end(args);
    return status;
}

}  // namespace visa
}  // namespace qvz
