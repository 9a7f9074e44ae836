/*
 * qvzfix: a simulated two-element matching network for a vector network
 * analyzer's fixture simulator.
 *
 * A host loads the library, calls QVZ_init on a thread with the analyzer's
 * VISA resource string, configures ports through the setters and applies.
 * Applying asks the analyzer for its active channel and sweep, computes the
 * port's network, writes "<path><prefix>Port<n>.s2p" and tells the analyzer
 * to embed or de-embed it (or switches both off for the port).
 *
 * Contract common to every call:
 *  - Every function returns a status in the VISA convention: 0 on success,
 *    negative on failure, never positive. Analyzer error-queue entries come
 *    back as the error number with bit 31 set (0x80000000 | n).
 *  - State is per thread: QVZ_init creates the calling thread's session,
 *    every other call acts on that thread's session only, QVZ_close frees it.
 *    A thread without a session gets VI_ERROR_IO (0xBFFF003E) from every call
 *    but QVZ_init and QVZ_close (VI_ERROR_INV_OBJECT, 0xBFFF000E).
 *  - Calls block the calling thread while they talk to the analyzer; each
 *    query or command is bounded by the session's I/O timeout of 2000 ms.
 *  - Component values are stored exactly as given and rounded (to E6, E12,
 *    E24 or three significant digits, per the port's smoothing mode) when
 *    read back and when used.
 *  - When apply-immediate is on, every setter that changes a value applies
 *    at once and returns the apply's status; the new value stays stored even
 *    when that apply fails.
 *  - The library never prints, throws across this boundary or aborts.
 */
#ifndef QVZFIX_H
#define QVZFIX_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(QVZFIX_STATIC)
#    define QVZ_API
#  elif defined(QVZFIX_BUILDING)
#    define QVZ_API __declspec(dllexport)
#  else
#    define QVZ_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__) && defined(QVZFIX_BUILDING)
#  define QVZ_API __attribute__((visibility("default")))
#else
#  define QVZ_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Topology of a port's matching network, named from port 1 to port 2. */
typedef enum CircuitType {
    QVZ_SERIES_L_SHUNT_C = 0,
    QVZ_SHUNT_C_SERIES_L = 1,
    QVZ_SHUNT_L_SERIES_C = 2,
    QVZ_SERIES_C_SHUNT_L = 3,
    QVZ_SHUNT_L_SHUNT_C = 4,
    QVZ_SERIES_C_SHUNT_C = 5,
    QVZ_SHUNT_C_SERIES_C = 6,
    QVZ_SERIES_L_SHUNT_L = 7,
    QVZ_SHUNT_L_SERIES_L = 8
} CircuitType;

/* How component values are rounded where they are read back and used.
 * Any other value rounds as QVZ_SMOOTH. */
typedef enum SmoothingMode {
    QVZ_E6 = 0,
    QVZ_E12 = 1,
    QVZ_E24 = 2,
    QVZ_SMOOTH = 3 /* three significant digits */
} SmoothingMode;

/* What applying does with the port's network. Any other value acts as
 * QVZ_NONE. */
typedef enum ActionMode {
    QVZ_EMBEDDING = 0,
    QVZ_DEEMBEDDING = 1,
    QVZ_NONE = 2
} ActionMode;

/* Session -------------------------------------------------------------- */

/* Creates the thread's session if it has none (settings are kept if it
 * has), closes sessions a previous QVZ_init left open, opens the VISA
 * connection to `resourceName` (e.g. "TCPIP0::127.0.0.1::5025::SOCKET"),
 * sets a 2000 ms I/O timeout and enables the termination character.
 * Returns the VISA status of a failed open (the session stays, without a
 * connection); VI_ERROR_INV_OBJECT when the session cannot be allocated. */
QVZ_API int32_t QVZ_init(const char* resourceName);

/* Closes the connection and frees the thread's session. */
QVZ_API int32_t QVZ_close(void);

/* Restores the active port's defaults (values, circuit 0, action None,
 * smoothing Smooth) and applies if apply-immediate is on. */
QVZ_API int32_t QVZ_ResetValues(void);

/* Port selection: 1..4. Other numbers give VI_ERROR_INV_PARAMETER
 * (0xBFFF0078) and keep the selection. Never applies. */
QVZ_API int32_t QVZ_SetActivePort(int32_t port);
QVZ_API int32_t QVZ_GetActivePort(int32_t* port);

/* Per-port settings. Output pointers must not be null
 * (VI_ERROR_USER_BUF, 0xBFFF0071). */
QVZ_API int32_t QVZ_SetCircuit(int32_t circuit);
QVZ_API int32_t QVZ_GetCircuit(int32_t* circuit);
QVZ_API int32_t QVZ_SetSmoothing(int32_t smoothing);
QVZ_API int32_t QVZ_GetSmoothing(int32_t* smoothing);
QVZ_API int32_t QVZ_SetAction(int32_t action);
QVZ_API int32_t QVZ_GetAction(int32_t* action);

/* Component values in ohm, henry, farad and siemens. A set of four counts
 * as a change when any value differs from the stored one by 2^-52 or more
 * (absolute); the getters return the rounded values. */
QVZ_API int32_t QVZ_SetRLCGValues(double R, double L, double C, double G);
QVZ_API int32_t QVZ_GetRLCGValues(double* R, double* L, double* C, double* G);
QVZ_API int32_t QVZ_SetL1R1L2R2Values(double L1, double R1, double L2, double R2);
QVZ_API int32_t QVZ_GetL1R1L2R2Values(double* L1, double* R1, double* L2, double* R2);
QVZ_API int32_t QVZ_SetC1G1C2G2Values(double C1, double G1, double C2, double G2);
QVZ_API int32_t QVZ_GetC1G1C2G2Values(double* C1, double* G1, double* C2, double* G2);

/* Directory and prefix of the Touchstone files, shared by all ports. At
 * most 255 characters are kept. The path gets the platform's separator
 * ('\' on Windows, '/' elsewhere) appended when it lacks one. The getters
 * copy exactly `size` bytes: shorter strings are zero-padded, longer ones
 * cut without a terminator; a size of 0 or less copies nothing. */
QVZ_API int32_t QVZ_SetS2PFilePath(const char* path);
QVZ_API int32_t QVZ_GetS2PFilePath(int32_t size, char* buffer);
QVZ_API int32_t QVZ_SetS2PFilePrefix(const char* prefix);
QVZ_API int32_t QVZ_GetS2PFilePrefix(int32_t size, char* buffer);

/* Apply control. Switching apply-immediate on applies once.
 *
 * An apply writes its file under a temporary name in the same directory
 * and renames it over "<path><prefix>Port<n>.s2p" once complete: the
 * analyzer loads the previous or the new file, never part of one, and a
 * failed write keeps the previous file (VI_ERROR_FILE_IO; VI_ERROR_FILE_ACCESS
 * when the file cannot be created or a directory has that name). Threads of
 * one process applying to the same file take turns until the analyzer has
 * answered. A '"' in the name is sent doubled inside the quoted FILename
 * argument; a name with a control character (0x01-0x1F, 0x7F) is refused with
 * VI_ERROR_INV_PARAMETER (0xBFFF0078) before anything is written or sent. More
 * than 1,000,001 sweep points is VI_ERROR_ALLOC (0xBFFF003C). After a timeout
 * the built-in layer reconnects, so a late reply is never read as another
 * query's answer. A thread that ends without QVZ_close has its connection
 * closed (on Windows by the next QVZ_init or QVZ_close of any thread). */
QVZ_API int32_t QVZ_SetApplyImmediate(uint16_t flag);
QVZ_API int32_t QVZ_GetApplyImmediate(uint16_t* flag);
QVZ_API int32_t QVZ_ApplyChanges(void);

#ifdef __cplusplus
}
#endif

#endif /* QVZFIX_H */
