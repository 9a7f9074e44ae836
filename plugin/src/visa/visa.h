// The library's own VISA layer: the standard VISA call shapes the session and
// the apply sequence use. Behind them one of two VISA libraries
// (visa_library.h): the host's installed one, each call forwarded there, or
// the built-in one over raw sockets (or, in tests, over a scripted in-process
// instrument plugged in through backend.h).
// Everything lives in qvz::visa and stays inside the library, so it never
// clashes with the VISA library loaded into the same host.
#ifndef QVZ_VISA_H
#define QVZ_VISA_H

#include <cstdarg>
#include <cstdint>

namespace qvz {
namespace visa {

using ViStatus = std::int32_t;
using ViSession = std::uint32_t;
using ViObject = std::uint32_t;
using ViUInt32 = std::uint32_t;
using ViAttr = std::uint32_t;
using ViAttrState = std::uint64_t;
using ViAccessMode = std::uint32_t;
using ViInt32 = std::int32_t;
using ViUInt8 = std::uint8_t;
using ViUInt16 = std::uint16_t;
using ViBoolean = std::uint16_t;

constexpr ViBoolean VI_FALSE = 0;
constexpr ViBoolean VI_TRUE = 1;

// I/O timeout values with a special meaning.
constexpr ViUInt32 VI_TMO_IMMEDIATE = 0;
constexpr ViUInt32 VI_TMO_INFINITE = 0xFFFFFFFFu;

constexpr ViSession VI_NULL = 0;

constexpr ViStatus VI_SUCCESS = 0;

constexpr ViStatus StatusFromBits(std::uint32_t bits) {
    return static_cast<ViStatus>(bits);
}
constexpr ViStatus VI_ERROR_INV_OBJECT = StatusFromBits(0xBFFF000Eu);
constexpr ViStatus VI_ERROR_RSRC_NFOUND = StatusFromBits(0xBFFF0011u);
constexpr ViStatus VI_ERROR_INV_RSRC_NAME = StatusFromBits(0xBFFF0012u);
constexpr ViStatus VI_ERROR_TMO = StatusFromBits(0xBFFF0015u);
constexpr ViStatus VI_ERROR_NSUP_ATTR = StatusFromBits(0xBFFF001Du);
constexpr ViStatus VI_ERROR_NSUP_ATTR_STATE = StatusFromBits(0xBFFF001Eu);
constexpr ViStatus VI_ERROR_ALLOC = StatusFromBits(0xBFFF003Cu);
constexpr ViStatus VI_ERROR_IO = StatusFromBits(0xBFFF003Eu);
constexpr ViStatus VI_ERROR_INV_FMT = StatusFromBits(0xBFFF003Fu);
constexpr ViStatus VI_ERROR_NSUP_FMT = StatusFromBits(0xBFFF0041u);
constexpr ViStatus VI_ERROR_USER_BUF = StatusFromBits(0xBFFF0071u);
constexpr ViStatus VI_ERROR_INV_PARAMETER = StatusFromBits(0xBFFF0078u);
constexpr ViStatus VI_ERROR_INV_LENGTH = StatusFromBits(0xBFFF0083u);
constexpr ViStatus VI_ERROR_FILE_ACCESS = StatusFromBits(0xBFFF00A1u);
constexpr ViStatus VI_ERROR_FILE_IO = StatusFromBits(0xBFFF00A2u);
constexpr ViStatus VI_ERROR_NSUP_OPER = StatusFromBits(0xBFFF0067u);
constexpr ViStatus VI_ERROR_CONN_LOST = StatusFromBits(0xBFFF00A6u);

// Completion code of viClose(VI_NULL): nothing to close.
constexpr ViStatus VI_WARN_NULL_OBJECT = StatusFromBits(0x3FFF0082u);

constexpr ViAttr VI_ATTR_TERMCHAR = 0x3FFF0018u;
constexpr ViAttr VI_ATTR_TMO_VALUE = 0x3FFF001Au;
constexpr ViAttr VI_ATTR_TERMCHAR_EN = 0x3FFF0038u;

// Session management.
//
// Resource-manager and instrument sessions share one handle space; handles
// are non-zero and not reused until the 32-bit counter wraps. Closing a
// resource manager closes every instrument session opened through it. An
// unknown or closed handle gives VI_ERROR_INV_OBJECT.
//
// The rest of this comment describes the built-in layer; sessions of an
// installed library behave as that library defines, except that their
// handles, too, come from this one handle space.
//
// viOpen serves TCPIP[board]::host::port::SOCKET resources and connects at
// once (bounded connect time); a refused connection or unknown host gives
// VI_ERROR_RSRC_NFOUND, as does a resource class this layer cannot serve
// (INSTR, GPIB, USB, ...); a malformed name gives VI_ERROR_INV_RSRC_NAME.
//
// Attributes of an instrument session: VI_ATTR_TMO_VALUE (ms, default 2000,
// VI_TMO_INFINITE allowed), VI_ATTR_TERMCHAR_EN (default VI_FALSE, as for raw
// sockets) and VI_ATTR_TERMCHAR (default '\n'). viGetAttribute writes them
// as ViUInt32, ViBoolean and ViUInt8 respectively. Any other attribute, or
// any attribute of a resource manager, gives VI_ERROR_NSUP_ATTR.
ViStatus viOpenDefaultRM(ViSession* rm);
ViStatus viOpen(ViSession rm, const char* resource, ViAccessMode mode, ViUInt32 openTimeout,
                ViSession* vi);
ViStatus viClose(ViObject vi);
ViStatus viSetAttribute(ViObject vi, ViAttr attribute, ViAttrState value);
ViStatus viGetAttribute(ViObject vi, ViAttr attribute, void* value);

// Formatted I/O.
//
// Write conversions: %d and %ld (a 32-bit int on every platform), %hd (an
// int printed as 16-bit), %s, %% and literal text. The whole formatted text
// goes out in one transport write.
//
// Read conversions: %d and %ld (fill an int32_t), %lf (a double), %,#lf
// (int32_t* capacity-in / count-out, then double*), %N[set] and %N[^set]
// (at most N characters plus a terminator; zero matched characters give "").
// Literal characters must match; white space in the format skips white space
// in the reply. A read takes exactly one message (through the termination
// character when VI_ATTR_TERMCHAR_EN is set; the character itself is not
// part of the scanned text) and discards what the format leaves of it.
//
// A conversion outside these sets gives VI_ERROR_NSUP_FMT before any byte is
// sent or read. A reply that leaves a conversion unfilled gives
// VI_ERROR_INV_FMT, and the values not filled must not be used. The session
// timeout bounds each whole write and each whole read (VI_ERROR_TMO); a peer
// that closed the connection gives VI_ERROR_CONN_LOST, any other transport
// failure VI_ERROR_IO. viClear discards every unread input byte; on a raw
// socket it does so by ending the connection and opening a new one to the
// same resource with the same settings, so that a reply still on its way
// (after a timeout) can never be read. When that reconnect fails, viClear
// returns its failure and every later operation tries once more to
// reconnect, giving VI_ERROR_CONN_LOST when it cannot. A response message
// over 64 MiB fails its read with VI_ERROR_ALLOC once the rest of it has
// been read and dropped. viQueryf
// first drops whatever input arrived before its command (a reply that came
// after an earlier query timed out is not this query's answer); viScanf
// reads such input.
ViStatus viPrintf(ViSession vi, const char* writeFormat, ...);
ViStatus viVPrintf(ViSession vi, const char* writeFormat, va_list args);
ViStatus viScanf(ViSession vi, const char* readFormat, ...);
ViStatus viVScanf(ViSession vi, const char* readFormat, va_list args);
ViStatus viQueryf(ViSession vi, const char* writeFormat, const char* readFormat, ...);
ViStatus viVQueryf(ViSession vi, const char* writeFormat, const char* readFormat, va_list args);
ViStatus viClear(ViSession vi);

}  // namespace visa
}  // namespace qvz

#endif
