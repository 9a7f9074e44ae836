// qvzcheck: configures port 1 of the analyzer on this machine through one
// call of every kind, prints what the library reads back, applies and closes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qvzfix.h"

namespace {

constexpr const char* kResource = "TCPIP0::127.0.0.1::5025::SOCKET";
#if defined(_WIN32)
constexpr const char* kTouchstoneDirectory = "C:\\VNA\\Qaldorn";
#else
constexpr const char* kTouchstoneDirectory = "/tmp/VNA/Qaldorn";
#endif
constexpr std::size_t kPathBufferSize = 256;
constexpr std::size_t kPrefixBufferSize = 16;

constexpr const char* kCircuitLines[] = {
    "Circuit: Series L - Shunt C\n", "Circuit: Shunt C - Series L\n",
    "Circuit: Shunt L - Series C\n", "Circuit: Series C - Shunt L\n",
    "Circuit: Shunt L - Shunt C\n",  "Circuit: Series C - Shunt C\n",
    "Circuit: Shunt C - Series C\n", "Circuit: Series L - Shunt L\n",
    "Circuit: Shunt L - Series L\n"};
constexpr const char* kSmoothingLines[] = {"Smoothing: E6\n", "Smoothing: E12\n",
                                           "Smoothing: E24\n", "Smoothing: Smooth\n"};
constexpr const char* kActionLines[] = {"Action: Embedding\n", "Action: Deembedding\n",
                                        "Action: None\n"};

template <std::size_t N>
void PrintIndexed(const char* const (&lines)[N], std::int32_t index) {
    if (index >= 0 && static_cast<std::size_t>(index) < N) {
        std::fputs(lines[index], stdout);
    }
}

// Copies at most size - 1 characters and always terminates. (strncpy would
// do, but MSVC's /W4 /WX build rejects it as unsafe.)
void CopyText(char* buffer, std::size_t size, const char* text) {
    const std::size_t length = std::strlen(text);
    const std::size_t copied = length < size ? length : size - 1;
    std::memcpy(buffer, text, copied);
    buffer[copied] = '\0';
}

// Runs the configuration steps in order; the first negative status stops
// them and is returned.
std::int32_t Exercise(char* path, char* prefix) {
    std::int32_t status = QVZ_init(kResource);
    if (status < 0) return status;
    if ((status = QVZ_ResetValues()) < 0) return status;

    std::int32_t port = 0;
    if ((status = QVZ_SetActivePort(1)) < 0) return status;
    if ((status = QVZ_GetActivePort(&port)) < 0) return status;
    std::printf("Selected Port: %d\n", port);

    std::int32_t circuit = 0;
    if ((status = QVZ_SetCircuit(QVZ_SERIES_C_SHUNT_L)) < 0) return status;
    if ((status = QVZ_GetCircuit(&circuit)) < 0) return status;
    PrintIndexed(kCircuitLines, circuit);

    std::int32_t smoothing = 0;
    if ((status = QVZ_SetSmoothing(QVZ_E12)) < 0) return status;
    if ((status = QVZ_GetSmoothing(&smoothing)) < 0) return status;
    PrintIndexed(kSmoothingLines, smoothing);

    double r = 51.31;
    double l = 1.127e-9;
    double c = 1.3014e-12;
    double g = 0.01922;
    std::printf("Original data: R=%.4E L=%.4E C=%.4E G=%.4E\n", r, l, c, g);
    if ((status = QVZ_SetRLCGValues(r, l, c, g)) < 0) return status;
    if ((status = QVZ_GetRLCGValues(&r, &l, &c, &g)) < 0) return status;
    std::printf("Smoothed data: R=%.4E L=%.4E C=%.4E G=%.4E\n", r, l, c, g);

    std::int32_t action = 0;
    if ((status = QVZ_SetAction(QVZ_DEEMBEDDING)) < 0) return status;
    if ((status = QVZ_GetAction(&action)) < 0) return status;
    PrintIndexed(kActionLines, action);

    CopyText(path, kPathBufferSize, kTouchstoneDirectory);
    if ((status = QVZ_SetS2PFilePath(path)) < 0) return status;
    if ((status = QVZ_GetS2PFilePath(static_cast<std::int32_t>(kPathBufferSize), path)) < 0) {
        return status;
    }
    path[kPathBufferSize - 1] = '\0';
    std::printf("Touchstone File Path: %s\n", path);

    CopyText(prefix, kPrefixBufferSize, "Antenna1_");
    if ((status = QVZ_SetS2PFilePrefix(prefix)) < 0) return status;
    if ((status = QVZ_GetS2PFilePrefix(static_cast<std::int32_t>(kPrefixBufferSize), prefix)) < 0) {
        return status;
    }
    prefix[kPrefixBufferSize - 1] = '\0';
    std::printf("File Prefix: %s\n", prefix);

    std::uint16_t applyImmediate = 1;
    if ((status = QVZ_SetApplyImmediate(1)) < 0) return status;
    if ((status = QVZ_GetApplyImmediate(&applyImmediate)) < 0) return status;
    std::printf("Apply Immediate: %s\n", applyImmediate == 1 ? "Yes" : "No");

    if ((status = QVZ_ApplyChanges()) < 0) return status;
    return 0;
}

}  // namespace

int main() {
    char* path = static_cast<char*>(std::calloc(kPathBufferSize, 1));
    char* prefix = static_cast<char*>(std::calloc(kPrefixBufferSize, 1));
    std::int32_t error = 0;
    if (path == nullptr || prefix == nullptr) {
        std::fputs("Out of memory\n", stderr);
    } else {
        error = Exercise(path, prefix);
    }

    std::free(path);
    std::free(prefix);
    if (error != 0) {
        std::printf("Error number: 0x%X\n", static_cast<unsigned>(error));
    }
    QVZ_close();
    std::printf("Press a Key to Exit\n");
    std::fflush(stdout);
    (void)std::getchar();
    return 0;
}
