#include "visa/format_write.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qvz {
namespace visa {
namespace {

enum class WriteConversion { kInt32, kInt16, kString, kPercent };

// Reads the conversion that starts after a '%' at `*cursor` and advances past it.
ViStatus NextConversion(const char** cursor, WriteConversion* conversion) {
    const char* p = *cursor;
    switch (*p) {
        case '%':
            *conversion = WriteConversion::kPercent;
            *cursor = p + 1;
            return VI_SUCCESS;
        case 'd':
            *conversion = WriteConversion::kInt32;
            *cursor = p + 1;
            return VI_SUCCESS;
        case 's':
            *conversion = WriteConversion::kString;
            *cursor = p + 1;
            return VI_SUCCESS;
        case 'l':
        case 'h':
            if (p[1] != 'd') {
                return VI_ERROR_NSUP_FMT;
            }
            *conversion = *p == 'l' ? WriteConversion::kInt32 : WriteConversion::kInt16;
            *cursor = p + 2;
            return VI_SUCCESS;
        case '\0':
            return VI_ERROR_INV_FMT;
        default:
            return VI_ERROR_NSUP_FMT;
    }
}

void AppendInteger(std::int32_t value, std::string* out) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out->append(digits, result.ptr);
}

}  // namespace

ViStatus ValidateWriteFormat(const char* format) {
    if (format == nullptr) {
        return VI_ERROR_INV_FMT;
    }
    for (const char* p = format; *p != '\0';) {
        if (*p++ != '%') {
            continue;
        }
        WriteConversion conversion = WriteConversion::kPercent;
        const ViStatus status = NextConversion(&p, &conversion);
        if (status != VI_SUCCESS) {
            return status;
        }
    }
    return VI_SUCCESS;
}

ViStatus FormatWrite(const char* format, va_list* args, std::string* out) {
    // Checked whole first, so that a bad conversion late in the format
    // neither consumes arguments nor leaves half a command behind.
    const ViStatus valid = ValidateWriteFormat(format);
    if (valid != VI_SUCCESS) {
        return valid;
    }
    const std::size_t originalSize = out->size();
    const char* p = format;
    while (*p != '\0') {
        const char* literal = p;
        while (*p != '\0' && *p != '%') {
            ++p;
        }
        out->append(literal, static_cast<std::size_t>(p - literal));
        if (*p == '\0') {
            break;
        }
        ++p;
        WriteConversion conversion = WriteConversion::kPercent;
        NextConversion(&p, &conversion);
        switch (conversion) {
            case WriteConversion::kPercent:
                out->push_back('%');
                break;
            case WriteConversion::kInt32:
                AppendInteger(static_cast<std::int32_t>(va_arg(*args, int)), out);
                break;
            case WriteConversion::kInt16:
                AppendInteger(static_cast<std::int16_t>(va_arg(*args, int)), out);
                break;
            case WriteConversion::kString: {
                const char* text = va_arg(*args, const char*);
                if (text == nullptr) {
                    out->resize(originalSize);
                    return VI_ERROR_USER_BUF;
                }
                out->append(text, std::strlen(text));
                break;
            }
        }
    }
    return VI_SUCCESS;
}

}  // namespace visa
}  // namespace qvz
