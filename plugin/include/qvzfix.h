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
 *
 * Statuses by name, and a text for each: qvzfix_status.h (QVZ_VI_ERROR_...,
 * qvz_status_text). The version of these headers: qvzfix_version.h. What the
 * networks are, element by element: docs/networks.md.
 *
 * Statuses of an apply. Every function marked "applies" below runs the
 * apply sequence (at once, or when apply-immediate is on) and then returns 0
 * or one of these:
 *  - VI_ERROR_INV_OBJECT (0xBFFF000E): the thread's session has no open
 *    connection (QVZ_init failed to open it);
 *  - VI_ERROR_TMO (0xBFFF0015): the analyzer did not answer a query within
 *    2000 ms;
 *  - VI_ERROR_CONN_LOST (0xBFFF00A6): the analyzer closed the connection;
 *  - VI_ERROR_IO (0xBFFF003E): any other transport failure;
 *  - VI_ERROR_INV_FMT (0xBFFF003F): a reply was not what the query asks
 *    for (e.g. no number where the point count should be);
 *  - VI_ERROR_ALLOC (0xBFFF003C): out of memory, or the analyzer reports a
 *    sweep or sends a reply too large to take;
 *  - VI_ERROR_INV_LENGTH (0xBFFF0083): path, prefix and port make a file
 *    name longer than the library can hand to the analyzer;
 *  - VI_ERROR_INV_PARAMETER (0xBFFF0078): the file name holds a character
 *    the analyzer cannot be sent (a control character);
 *  - VI_ERROR_FILE_ACCESS (0xBFFF00A1): the Touchstone file cannot be
 *    created (no such directory, no permission);
 *  - VI_ERROR_FILE_IO (0xBFFF00A2): writing it failed (disk full); the
 *    analyzer is not told to load a file that was not written whole;
 *  - an analyzer error from its error queue after the commands: a negative
 *    SCPI number as it is (-256 "File name not found": the analyzer cannot
 *    open the file under that path), a positive number n as 0x80000000 | n;
 *  - with an installed VISA library, any failure status that library
 *    returns (VI_ERROR_NSUP_OPER, 0xBFFF0067, for a call it lacks).
 * A setter's new value stays stored whatever the apply returns.
 */
#ifndef QVZFIX_H
#define QVZFIX_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(QVZFIX_STATIC)
#define QVZ_API
#elif defined(QVZFIX_BUILDING)
#define QVZ_API __declspec(dllexport)
#else
#define QVZ_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) && defined(QVZFIX_BUILDING)
#define QVZ_API __attribute__((visibility("default")))
#else
#define QVZ_API
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
typedef enum ActionMode { QVZ_EMBEDDING = 0, QVZ_DEEMBEDDING = 1, QVZ_NONE = 2 } ActionMode;

/* Session -------------------------------------------------------------- */

/* Creates the thread's session if it has none (settings are kept if it
 * has), closes sessions a previous QVZ_init left open, opens the VISA
 * connection to `resourceName` (e.g. "TCPIP0::127.0.0.1::5025::SOCKET"),
 * sets a 2000 ms I/O timeout and enables the termination character.
 * Returns 0, or (the session then stays, without a connection):
 *  - VI_ERROR_INV_RSRC_NAME (0xBFFF0012): the resource name is malformed
 *    (or null);
 *  - VI_ERROR_RSRC_NFOUND (0xBFFF0011): nothing answers at that address
 *    (refused, unknown host), or a resource class the built-in layer does
 *    not serve (INSTR, GPIB, USB, ...: those need an installed VISA);
 *  - VI_ERROR_TMO (0xBFFF0015): the connection could not be made in time;
 *  - VI_ERROR_ALLOC (0xBFFF003C): out of memory or sessions;
 *  - VI_ERROR_INV_OBJECT (0xBFFF000E): the session cannot be allocated;
 *  - with an installed VISA library, any failure status of its viOpen or
 *    viSetAttribute. */
QVZ_API int32_t QVZ_init(const char* resourceName);

/* Closes the connection and frees the thread's session. Returns 0;
 * VI_ERROR_INV_OBJECT (0xBFFF000E) when the thread has no session; with an
 * installed VISA library, a failure status of its viClose (the session is
 * freed all the same). */
QVZ_API int32_t QVZ_close(void);

/* Restores the active port's defaults (values, circuit 0, action None,
 * smoothing Smooth) and applies if apply-immediate is on. Returns 0,
 * VI_ERROR_IO without a session, or a status of the apply. */
QVZ_API int32_t QVZ_ResetValues(void);

/* Port selection: 1..4. Other numbers give VI_ERROR_INV_PARAMETER
 * (0xBFFF0078) and keep the selection. Never applies. The getter returns 0,
 * or VI_ERROR_USER_BUF (0xBFFF0071) for a null pointer; both return
 * VI_ERROR_IO without a session. */
QVZ_API int32_t QVZ_SetActivePort(int32_t port);
QVZ_API int32_t QVZ_GetActivePort(int32_t* port);

/* Per-port settings. A setter returns 0 without applying when the value is
 * already stored; otherwise it stores it and applies (0, or a status of the
 * apply). A getter returns 0, or VI_ERROR_USER_BUF (0xBFFF0071) for a null
 * pointer. All return VI_ERROR_IO without a session. */
QVZ_API int32_t QVZ_SetCircuit(int32_t circuit);
QVZ_API int32_t QVZ_GetCircuit(int32_t* circuit);
QVZ_API int32_t QVZ_SetSmoothing(int32_t smoothing);
QVZ_API int32_t QVZ_GetSmoothing(int32_t* smoothing);
QVZ_API int32_t QVZ_SetAction(int32_t action);
QVZ_API int32_t QVZ_GetAction(int32_t* action);

/* Component values in ohm, henry, farad and siemens (docs/networks.md says
 * which topology uses which set, and where each element sits). A set of
 * four counts as a change when any value differs from the stored one by
 * 2^-52 or more (absolute), and then applies; the getters return the
 * rounded values. Statuses as for the per-port settings above. */
QVZ_API int32_t QVZ_SetRLCGValues(double R, double L, double C, double G);
QVZ_API int32_t QVZ_GetRLCGValues(double* R, double* L, double* C, double* G);
QVZ_API int32_t QVZ_SetL1R1L2R2Values(double L1, double R1, double L2, double R2);
QVZ_API int32_t QVZ_GetL1R1L2R2Values(double* L1, double* R1, double* L2, double* R2);
QVZ_API int32_t QVZ_SetC1G1C2G2Values(double C1, double G1, double C2, double G2);
QVZ_API int32_t QVZ_GetC1G1C2G2Values(double* C1, double* G1, double* C2, double* G2);

/* Directory and prefix of the Touchstone files, shared by all ports. At
 * most 255 characters are kept. The path gets the platform's separator
 * ('\' on Windows, '/' elsewhere) appended when it lacks one. A changed
 * path or prefix applies (0, or a status of the apply); a null one gives
 * VI_ERROR_USER_BUF (0xBFFF0071). The getters copy exactly `size` bytes:
 * shorter strings are zero-padded, longer ones cut without a terminator; a
 * size of 0 or less copies nothing; they return 0, or VI_ERROR_USER_BUF for
 * a null buffer. All return VI_ERROR_IO without a session. */
QVZ_API int32_t QVZ_SetS2PFilePath(const char* path);
QVZ_API int32_t QVZ_GetS2PFilePath(int32_t size, char* buffer);
QVZ_API int32_t QVZ_SetS2PFilePrefix(const char* prefix);
QVZ_API int32_t QVZ_GetS2PFilePrefix(int32_t size, char* buffer);

/* Apply control. Switching apply-immediate on applies once; QVZ_ApplyChanges
 * always applies. They return 0 or a status of the apply; the getter 0, or
 * VI_ERROR_USER_BUF for a null pointer. All return VI_ERROR_IO without a
 * session.
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
