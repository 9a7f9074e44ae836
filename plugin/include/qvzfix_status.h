/*
 * qvzfix: the statuses the QVZ_ functions return, by name, and their texts.
 *
 * Header-only: nothing here is exported from the library, so the header may
 * be used with any build of it, from C or C++.
 *
 * Every QVZ_ function returns 0 on success and a negative status on failure
 * (never a positive one). A failure is one of:
 *  - a VISA status (0xBFFFxxxx): one of the QVZ_VI_ERROR_ constants below,
 *    or, with an installed VISA library, any other status that library
 *    returns;
 *  - an analyzer error read from the analyzer's error queue after an apply:
 *    a negative SCPI error number comes back as it is (-222 "Data out of
 *    range" is -222), a positive device-specific number n comes back as
 *    0x80000000 | n (QVZ_ANALYZER_ERROR(n)).
 *
 * The constants carry the standard VISA names behind a QVZ_ prefix, so this
 * header can be included together with a vendor's visa.h.
 * qvz_status_text() gives a fixed English text for any status, starting with
 * the VISA name ("VI_ERROR_TMO: timeout expired before the operation
 * completed") or reading "analyzer error -222".
 */
#ifndef QVZFIX_STATUS_H
#define QVZFIX_STATUS_H

#include <stddef.h>
#include <stdint.h>

/* A cast that strict C++ warning sets accept as well as C. */
#ifdef __cplusplus
#define QVZ_STATUS_CAST(type, value) static_cast<type>(value)
#else
#define QVZ_STATUS_CAST(type, value) ((type)(value))
#endif
#define QVZ_STATUS_FROM_BITS(bits) QVZ_STATUS_CAST(int32_t, bits##u)

/* One line per status: name, value. */
#define QVZ_VI_SUCCESS 0
#define QVZ_VI_ERROR_INV_OBJECT QVZ_STATUS_FROM_BITS(0xBFFF000E)
#define QVZ_VI_ERROR_RSRC_NFOUND QVZ_STATUS_FROM_BITS(0xBFFF0011)
#define QVZ_VI_ERROR_INV_RSRC_NAME QVZ_STATUS_FROM_BITS(0xBFFF0012)
#define QVZ_VI_ERROR_TMO QVZ_STATUS_FROM_BITS(0xBFFF0015)
#define QVZ_VI_ERROR_NSUP_ATTR QVZ_STATUS_FROM_BITS(0xBFFF001D)
#define QVZ_VI_ERROR_NSUP_ATTR_STATE QVZ_STATUS_FROM_BITS(0xBFFF001E)
#define QVZ_VI_ERROR_ALLOC QVZ_STATUS_FROM_BITS(0xBFFF003C)
#define QVZ_VI_ERROR_IO QVZ_STATUS_FROM_BITS(0xBFFF003E)
#define QVZ_VI_ERROR_INV_FMT QVZ_STATUS_FROM_BITS(0xBFFF003F)
#define QVZ_VI_ERROR_NSUP_FMT QVZ_STATUS_FROM_BITS(0xBFFF0041)
#define QVZ_VI_ERROR_NSUP_OPER QVZ_STATUS_FROM_BITS(0xBFFF0067)
#define QVZ_VI_ERROR_USER_BUF QVZ_STATUS_FROM_BITS(0xBFFF0071)
#define QVZ_VI_ERROR_INV_PARAMETER QVZ_STATUS_FROM_BITS(0xBFFF0078)
#define QVZ_VI_ERROR_INV_LENGTH QVZ_STATUS_FROM_BITS(0xBFFF0083)
#define QVZ_VI_ERROR_FILE_ACCESS QVZ_STATUS_FROM_BITS(0xBFFF00A1)
#define QVZ_VI_ERROR_FILE_IO QVZ_STATUS_FROM_BITS(0xBFFF00A2)
#define QVZ_VI_ERROR_CONN_LOST QVZ_STATUS_FROM_BITS(0xBFFF00A6)

/* A positive analyzer error number n as the status the library returns. */
#define QVZ_ANALYZER_ERROR(n) QVZ_STATUS_CAST(int32_t, QVZ_STATUS_CAST(uint32_t, n) | 0x80000000u)

#ifdef __cplusplus
#define QVZ_STATUS_THREAD_LOCAL thread_local
#elif defined(_MSC_VER)
#define QVZ_STATUS_THREAD_LOCAL __declspec(thread)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define QVZ_STATUS_THREAD_LOCAL _Thread_local
#else
#define QVZ_STATUS_THREAD_LOCAL __thread
#endif

/* Nonzero when the status is a VISA status (0xBFFFxxxx, or a 0x3FFFxxxx
 * completion code). */
static inline int qvz_status_is_visa(int32_t status) {
    const uint32_t bits = QVZ_STATUS_CAST(uint32_t, status);
    return (bits & 0xFFFF0000u) == 0xBFFF0000u || (bits & 0xFFFF0000u) == 0x3FFF0000u;
}

/* Nonzero when the status carries an analyzer error-queue number. */
static inline int qvz_status_is_analyzer_error(int32_t status) {
    return status < 0 && !qvz_status_is_visa(status);
}

/* The analyzer's error number behind an analyzer-error status: SCPI numbers
 * from -65535 to -1 are the status itself, anything else had bit 31 set on a
 * positive number (INT32_MIN, which has no positive origin, stays itself).
 * 0 for any other status. */
static inline int32_t qvz_analyzer_error_number(int32_t status) {
    if (!qvz_status_is_analyzer_error(status)) {
        return 0;
    }
    if (status >= -65535 || status == INT32_MIN) {
        return status;
    }
    return QVZ_STATUS_CAST(int32_t, QVZ_STATUS_CAST(uint32_t, status) & 0x7FFFFFFFu);
}

/* The text of a named status, or "" for any other status (a helper of
 * qvz_status_text). */
static inline const char* qvz_status_named_text(int32_t status) {
    static const struct qvz_status_named {
        int32_t status;
        const char* text;
    } named[] = {
        {QVZ_VI_SUCCESS, "VI_SUCCESS: operation completed successfully"},
        {QVZ_VI_ERROR_INV_OBJECT,
         "VI_ERROR_INV_OBJECT: no session: QVZ_close without QVZ_init, "
         "or the connection was never opened"},
        {QVZ_VI_ERROR_RSRC_NFOUND,
         "VI_ERROR_RSRC_NFOUND: the analyzer was not found at that "
         "address, refused the connection, or the resource class is "
         "not served"},
        {QVZ_VI_ERROR_INV_RSRC_NAME, "VI_ERROR_INV_RSRC_NAME: the resource name is malformed"},
        {QVZ_VI_ERROR_TMO, "VI_ERROR_TMO: timeout expired before the operation completed"},
        {QVZ_VI_ERROR_NSUP_ATTR,
         "VI_ERROR_NSUP_ATTR: the session does not support that "
         "attribute"},
        {QVZ_VI_ERROR_NSUP_ATTR_STATE,
         "VI_ERROR_NSUP_ATTR_STATE: the session does not support "
         "that attribute value"},
        {QVZ_VI_ERROR_ALLOC,
         "VI_ERROR_ALLOC: out of memory, or the analyzer's sweep or reply "
         "is too large"},
        {QVZ_VI_ERROR_IO,
         "VI_ERROR_IO: I/O error, or this thread has no session (call "
         "QVZ_init first)"},
        {QVZ_VI_ERROR_INV_FMT,
         "VI_ERROR_INV_FMT: the analyzer's reply is not in the expected "
         "format"},
        {QVZ_VI_ERROR_NSUP_FMT, "VI_ERROR_NSUP_FMT: a format conversion is not supported"},
        {QVZ_VI_ERROR_NSUP_OPER,
         "VI_ERROR_NSUP_OPER: the installed VISA library does not "
         "support the operation"},
        {QVZ_VI_ERROR_USER_BUF,
         "VI_ERROR_USER_BUF: an output pointer or buffer is null or too "
         "small"},
        {QVZ_VI_ERROR_INV_PARAMETER,
         "VI_ERROR_INV_PARAMETER: a parameter is out of range (port "
         "not 1 to 4, control character in a file name)"},
        {QVZ_VI_ERROR_INV_LENGTH,
         "VI_ERROR_INV_LENGTH: the Touchstone file name (path, prefix, "
         "port) is too long"},
        {QVZ_VI_ERROR_FILE_ACCESS,
         "VI_ERROR_FILE_ACCESS: the Touchstone file cannot be created "
         "in that directory"},
        {QVZ_VI_ERROR_FILE_IO, "VI_ERROR_FILE_IO: writing the Touchstone file failed"},
        {QVZ_VI_ERROR_CONN_LOST, "VI_ERROR_CONN_LOST: the connection to the analyzer was lost"},
    };
    size_t i;
    for (i = 0; i < sizeof named / sizeof named[0]; ++i) {
        if (named[i].status == status) {
            return named[i].text;
        }
    }
    return "";
}

/* Writes `lead`, a minus sign when `negative`, and `magnitude` in `base` (10
 * or 16, upper-case digits) into `text`, terminated; returns `text` (a helper
 * of qvz_status_text). */
static inline const char* qvz_status_write_number(char* text, const char* lead, int negative,
                                                  uint32_t magnitude, uint32_t base) {
    char digits[12];
    int count = 0;
    int at = 0;
    do {
        digits[count++] = "0123456789ABCDEF"[magnitude % base];
        magnitude /= base;
    } while (magnitude != 0u);
    while (*lead != '\0') {
        text[at++] = *lead++;
    }
    if (negative) {
        text[at++] = '-';
    }
    while (count > 0) {
        text[at++] = digits[--count];
    }
    text[at] = '\0';
    return text;
}

/* A fixed English text for any status. The text of a named status starts
 * with its VISA name and a colon. The returned string stays valid until the
 * calling thread calls qvz_status_text again. */
static inline const char* qvz_status_text(int32_t status) {
    static QVZ_STATUS_THREAD_LOCAL char text[48];
    const char* named = qvz_status_named_text(status);
    if (*named != '\0') {
        return named;
    }
    if (qvz_status_is_analyzer_error(status)) {
        const int32_t number = qvz_analyzer_error_number(status);
        const uint32_t bits = QVZ_STATUS_CAST(uint32_t, number);
        return qvz_status_write_number(text, "analyzer error ", number < 0,
                                       number < 0 ? 0u - bits : bits, 10u);
    }
    return qvz_status_write_number(text, status < 0 ? "VISA error 0x" : "VISA completion code 0x",
                                   0, QVZ_STATUS_CAST(uint32_t, status), 16u);
}

#endif /* QVZFIX_STATUS_H */
