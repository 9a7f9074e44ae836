// The exported API driven by arbitrary call sequences against the scripted
// instrument.
//
// Input: a sequence of operations, each one byte (modulo the operation count)
// followed by its arguments as ByteReader takes them: ports, modes and sizes
// of any value, doubles as raw bit patterns or picked from a table of
// awkward ones (NaN, infinities, subnormals, the 2^-52 threshold), strings of
// any length and content. Some operations change what the instrument answers
// or make one of its calls fail.
//
// After every call: no status is positive; a thread without a session gets
// the documented status; getters agree with an independent model of the
// settings (values through the rounding); the library's whole state, every
// port of it, equals the model, so a write to the wrong port or past one
// shows; a call that is not to apply does no instrument I/O; and an apply
// against a well-behaved instrument returns what the error queue says.
//
// Touchstone files go to a scratch directory, which is also the working
// directory (the default path), and every path the input sets lies inside it.
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "api_model.h"
#include "byte_reader.h"
#include "fuzz_check.h"
#include "platform/thread_slot.h"
#include "qvzfix.h"
#include "rounding.h"
#include "scripted_instrument.h"
#include "session_state.h"
#include "visa/visa.h"

namespace {

using qvz::fuzz::ApiModel;
using qvz::fuzz::ByteReader;
using qvz::fuzz::ValueGroup;
using qvz::testing::ScriptedInstrument;
using Call = ScriptedInstrument::Call;
namespace visa = qvz::visa;

constexpr const char* kResource = "TCPIP0::127.0.0.1::5025::SOCKET";
constexpr std::size_t kMaxText = 1400;
constexpr std::int32_t kMaxBufferSize = 4096;

std::string& Sandbox() {
    static std::string directory;
    return directory;
}

// What the scripted analyzer answers to the four queries of an apply.
struct Replies {
    std::string channel = "1\n";
    std::string points = "3\n";
    std::string frequencies = "1e9,2e9,3e9\n";
    std::string errorEntry = "0,\"No error\"\n";
    bool wellFormed = true;
    std::int32_t errorNumber = 0;
};

bool EndsWith(const std::string& text, const char* tail) {
    const std::size_t n = std::char_traits<char>::length(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// Any content but a directory separator, so that every file the input
// names stays inside the scratch directory.
std::string SanitisedName(std::string text) {
    for (char& c : text) {
        if (c == '/' || c == '\\') {
            c = '_';
        }
    }
    return text;
}

double AwkwardDouble(std::uint8_t pick) {
    constexpr double kTable[] = {0.0,
                                 -0.0,
                                 std::numeric_limits<double>::quiet_NaN(),
                                 -std::numeric_limits<double>::quiet_NaN(),
                                 std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(),
                                 DBL_MIN,
                                 std::numeric_limits<double>::denorm_min(),
                                 -std::numeric_limits<double>::denorm_min(),
                                 DBL_MAX,
                                 -DBL_MAX,
                                 1e-12,
                                 1e-9,
                                 50.0,
                                 0.02,
                                 2.220446049250313e-16,
                                 1e-14,
                                 9.995e-15,
                                 4.75,
                                 1e300,
                                 -1.0,
                                 1e-300};
    return kTable[pick % (sizeof kTable / sizeof kTable[0])];
}

class Driver {
public:
    Driver(const std::uint8_t* data, std::size_t size) : in_(data, size) {
        instrument_.SetResponder([this](const std::string& command) { return Answer(command); });
    }

    ~Driver() {
        if (qvz::ThreadSlotGet() != nullptr) {
            instrument_.ClearFailures();
            QVZ_close();
        }
    }

    void Run() {
        // The thread must start without a session; the previous input closed it.
        FUZZ_CHECK(qvz::ThreadSlotGet() == nullptr, "no session left over");
        for (int steps = 0; steps < 256 && !in_.Empty(); ++steps) {
            Step(in_.Byte());
            CheckState();
        }
    }

private:
    std::optional<std::string> Answer(const std::string& command) {
        if (command == "SERVice:CHANnel:ACTive?\n") return replies_.channel;
        if (EndsWith(command, ":SWEep:POINts?\n")) return replies_.points;
        if (EndsWith(command, ":FREQuency:DATA?\n")) return replies_.frequencies;
        if (command == ":SYST:ERR?\n") return replies_.errorEntry;
        return std::nullopt;
    }

    double DecodeDouble(double stored) {
        const std::uint8_t pick = in_.Byte();
        if (pick < 0x40) return AwkwardDouble(pick);
        if (pick < 0x50) return stored;                          // unchanged
        if (pick < 0x58) return stored + 1e-16;                  // inside the unchanged threshold
        if (pick < 0x60) return stored + 2.220446049250313e-16;  // on it
        return in_.RawDouble();
    }

    std::int32_t DecodeInt() {
        const std::uint8_t pick = in_.Byte();
        if (pick < 0x80) return static_cast<std::int32_t>(pick % 13) - 2;  // -2..10
        if (pick < 0x88) return pick % 2 == 0 ? INT32_MIN : INT32_MAX;
        return in_.I32();
    }

    std::int32_t DecodeSize() {
        const std::uint8_t pick = in_.Byte();
        if (pick < 0x80) return static_cast<std::int32_t>(pick) * 3 - 8;  // -8..373
        const std::int32_t raw = in_.I32();
        return raw < 0 ? raw : raw % (kMaxBufferSize + 1);
    }

    void CheckNotPositive(std::int32_t status) {
        FUZZ_CHECK(status <= 0, "no exported function returns a positive status");
    }

    // Without a session every call but init and close reports VI_ERROR_IO.
    bool ExpectSession(std::int32_t status) {
        if (!model_.hasState) {
            FUZZ_CHECK(status == visa::VI_ERROR_IO, "a thread without a session gets VI_ERROR_IO");
            return false;
        }
        return true;
    }

    void ExpectNoIo() {
        FUZZ_CHECK(instrument_.Records().empty(), "a call that does not apply does no I/O");
    }

    static bool HasControlCharacter(const std::string& text) {
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F) {
                return true;
            }
        }
        return false;
    }

    bool FileNameFits() const {
        return model_.path.size() + model_.prefix.size() + 9 < 256;  // "Port<n>.s2p"
    }

    // The apply's status when everything it depends on is well-behaved.
    void CheckApply(std::int32_t status) {
        CheckNotPositive(status);
        // A name that cannot travel inside a quoted SCPI string is refused
        // before the analyzer hears anything, whatever it would answer.
        if (sessionOpen_ && !failuresInjected_ && FileNameFits() &&
            HasControlCharacter(model_.path + model_.prefix)) {
            FUZZ_CHECK(status == visa::VI_ERROR_INV_PARAMETER,
                       "a name with a control character is refused");
            return;
        }
        const bool predictable = sessionOpen_ && !failuresInjected_ && replies_.wellFormed &&
                                 model_.path == Sandbox() + "/" && FileNameFits();
        if (!predictable) {
            return;
        }
        const std::int32_t expected =
            replies_.errorNumber == 0
                ? 0
                : static_cast<std::int32_t>(static_cast<std::uint32_t>(replies_.errorNumber) |
                                            0x80000000u);
        FUZZ_CHECK(status == expected, "a clean apply reports the error queue's entry");
    }

    // The end of a setter: applies when something changed and the flag is on.
    void AfterSetter(std::int32_t status, bool changed) {
        CheckNotPositive(status);
        if (changed && model_.applyImmediate != 0) {
            CheckApply(status);
        } else {
            FUZZ_CHECK(status == 0, "a setter that does not apply succeeds");
            ExpectNoIo();
        }
    }

    void SetInteger(std::int32_t (*setter)(std::int32_t),
                    std::int32_t qvz::fuzz::PortModel::*field) {
        const std::int32_t value = DecodeInt();
        const std::int32_t status = setter(value);
        if (!ExpectSession(status)) return;
        std::int32_t& stored = model_.Active().*field;
        const bool changed = stored != value;
        stored = value;
        AfterSetter(status, changed);
    }

    void GetInteger(std::int32_t (*getter)(std::int32_t*),
                    std::int32_t qvz::fuzz::PortModel::*field, bool nullOutput) {
        auto out = std::make_unique<std::int32_t>(0x7E7E7E7E);
        const std::int32_t status = getter(nullOutput ? nullptr : out.get());
        if (!ExpectSession(status)) return;
        if (nullOutput) {
            FUZZ_CHECK(status == visa::VI_ERROR_USER_BUF, "a null output is refused");
            return;
        }
        FUZZ_CHECK(status == 0, "a getter succeeds");
        FUZZ_CHECK(*out == model_.Active().*field, "getter agrees with the setter");
    }

    using SetFour = std::int32_t (*)(double, double, double, double);
    using GetFour = std::int32_t (*)(double*, double*, double*, double*);

    void SetValues(SetFour setter, ValueGroup group) {
        const int g = static_cast<int>(group);
        double values[4];
        for (int i = 0; i < 4; ++i) {
            values[i] = DecodeDouble(model_.hasState ? model_.Active().values[g][i] : 0.0);
        }
        const std::int32_t status = setter(values[0], values[1], values[2], values[3]);
        if (!ExpectSession(status)) return;
        const bool changed = !model_.SameValues(group, values);
        if (changed) {
            for (int i = 0; i < 4; ++i) {
                model_.Active().values[g][i] = values[i];
            }
        }
        AfterSetter(status, changed);
    }

    void GetValues(GetFour getter, ValueGroup group, std::uint8_t nullAt) {
        std::unique_ptr<double> outputs[4];
        double* pointers[4];
        for (int i = 0; i < 4; ++i) {
            outputs[i] = std::make_unique<double>(-7.0);
            pointers[i] = i == nullAt ? nullptr : outputs[i].get();
        }
        const std::int32_t status = getter(pointers[0], pointers[1], pointers[2], pointers[3]);
        if (!ExpectSession(status)) return;
        if (nullAt < 4) {
            FUZZ_CHECK(status == visa::VI_ERROR_USER_BUF, "a null output is refused");
            return;
        }
        FUZZ_CHECK(status == 0, "a getter succeeds");
        const int g = static_cast<int>(group);
        const std::int32_t mode = model_.Active().smoothing;
        for (int i = 0; i < 4; ++i) {
            const double expected = qvz::RoundToStandardValue(model_.Active().values[g][i], mode);
            FUZZ_CHECK(qvz::fuzz::SameBits(*outputs[i], expected),
                       "getters return the stored value rounded with the port's mode");
            FUZZ_CHECK(!std::isnan(*outputs[i]) && !(*outputs[i] < 0.0),
                       "a rounded value is never NaN or negative");
        }
    }

    void GetText(std::int32_t (*getter)(std::int32_t, char*), const std::string& field) {
        const std::int32_t size = DecodeSize();
        const bool nullBuffer = (in_.Byte() & 0x0F) == 0;
        const std::size_t capacity = size > 0 ? static_cast<std::size_t>(size) : 0;
        std::vector<char> buffer(capacity + 1, '\x5A');  // one guard byte past the size
        const std::int32_t status = getter(size, nullBuffer ? nullptr : buffer.data());
        if (!ExpectSession(status)) return;
        if (size > 0 && nullBuffer) {
            FUZZ_CHECK(status == visa::VI_ERROR_USER_BUF, "a null buffer is refused");
            return;
        }
        FUZZ_CHECK(status == 0, "a text getter succeeds");
        for (std::size_t i = 0; i < capacity; ++i) {
            const char expected = i < field.size() ? field[i] : '\0';
            FUZZ_CHECK(buffer[i] == expected,
                       "exactly `size` bytes, zero-padded, no terminator added");
        }
        FUZZ_CHECK(buffer[capacity] == '\x5A', "nothing is written past `size`");
    }

    void Init() {
        const std::uint8_t pick = in_.Byte();
        std::string text;
        const char* resource = kResource;
        switch (pick % 5) {
            case 0:
                break;
            case 1:
                resource = nullptr;
                break;
            case 2:
                text = in_.Bytes(kMaxText);
                resource = text.c_str();
                break;
            case 3:
                resource = "tcpip::localhost::1::socket";
                break;
            default:
                resource = "GPIB0::1::INSTR";
                break;
        }
        const std::int32_t status = QVZ_init(resource);
        CheckNotPositive(status);
        if (!model_.hasState) {
            model_.Create(Sandbox());
        }
        sessionOpen_ = status == 0;
        if (!failuresInjected_ && resource == kResource) {
            FUZZ_CHECK(status == 0, "init with a socket resource opens");
        }
    }

    void Close() {
        const std::int32_t status = QVZ_close();
        CheckNotPositive(status);
        if (!model_.hasState) {
            FUZZ_CHECK(status == visa::VI_ERROR_INV_OBJECT, "close without a session");
        }
        model_.hasState = false;
        sessionOpen_ = false;
    }

    void SetPath() {
        const std::uint8_t pick = in_.Byte();
        std::string text;
        const char* path = nullptr;
        switch (pick % 4) {
            case 0:
                text = Sandbox();
                break;
            case 1:
                text = Sandbox() + "/";
                break;
            case 2:
                text = Sandbox() + "/d" + SanitisedName(in_.Bytes(kMaxText));
                break;
            default:
                break;  // null
        }
        if (pick % 4 != 3) path = text.c_str();
        const std::int32_t status = QVZ_SetS2PFilePath(path);
        if (!ExpectSession(status)) return;
        if (path == nullptr) {
            FUZZ_CHECK(status == visa::VI_ERROR_USER_BUF, "a null path is refused");
            return;
        }
        const bool changed = text.c_str() != model_.path;
        if (changed) model_.path = ApiModel::PathAsStored(text);
        AfterSetter(status, changed);
    }

    void SetPrefix() {
        const bool null = (in_.Byte() & 0x0F) == 0;
        const std::string text = SanitisedName(in_.Bytes(kMaxText));
        const std::int32_t status = QVZ_SetS2PFilePrefix(null ? nullptr : text.c_str());
        if (!ExpectSession(status)) return;
        if (null) {
            FUZZ_CHECK(status == visa::VI_ERROR_USER_BUF, "a null prefix is refused");
            return;
        }
        const bool changed = text.c_str() != model_.prefix;
        if (changed) model_.prefix = ApiModel::Truncated(text);
        AfterSetter(status, changed);
    }

    void SetReplies() {
        const std::uint8_t pick = in_.Byte();
        if (pick % 2 == 0) {
            // A well-behaved analyzer with another sweep and error entry.
            const int channel = 1 + in_.Byte() % 16;
            const int points = in_.Byte() % 65;
            const double start = DecodeDouble(1e9);
            const double step = DecodeDouble(1e6);
            replies_.channel = std::to_string(channel) + "\n";
            replies_.points = std::to_string(points) + "\n";
            std::vector<double> frequencies;
            for (int i = 0; i < points; ++i) frequencies.push_back(start + step * i);
            replies_.frequencies = qvz::testing::FormatFrequencyList(frequencies) + "\n";
            replies_.errorNumber = (in_.Byte() & 1) != 0 ? in_.I32() : 0;
            std::string message = in_.Bytes(300);
            for (char& c : message) {
                if (c == '"' || c == '\n') c = '\'';
            }
            replies_.errorEntry = std::to_string(replies_.errorNumber) + ",\"" + message + "\"\n";
            replies_.wellFormed = true;
            return;
        }
        // Anything at all, except a point count large enough to make one
        // apply write megabytes (that is slow, not wrong).
        static const char* const kPointTexts[] = {"",     "-1", "0",          "65x",         "abc",
                                                  "+2",   " 5", "2147483648", "-2147483648", "1e3",
                                                  "0x10", "7"};
        replies_.channel = in_.Bytes(64) + "\n";
        replies_.points = std::string(kPointTexts[in_.Byte() % 12]) + "\n";
        replies_.frequencies = in_.Bytes(kMaxText) + "\n";
        replies_.errorEntry = in_.Bytes(300) + "\n";
        replies_.wellFormed = false;
    }

    void InjectFailure() {
        static const Call kCalls[] = {Call::OpenDefaultRM, Call::Open,  Call::Close,
                                      Call::SetAttribute,  Call::Write, Call::Read,
                                      Call::Clear};
        static const visa::ViStatus kStatuses[] = {
            visa::VI_ERROR_TMO,
            visa::VI_ERROR_IO,
            visa::VI_ERROR_CONN_LOST,
            visa::VI_ERROR_ALLOC,
            visa::VI_ERROR_RSRC_NFOUND,
            visa::StatusFromBits(0x3FFF0006u),  // completion codes
            visa::StatusFromBits(0x3FFF0005u),
            visa::StatusFromBits(0x80000001u)};
        const Call call = kCalls[in_.Byte() % 7];
        const int nth = 1 + in_.Byte() % 12;
        const visa::ViStatus status = kStatuses[in_.Byte() % 8];
        instrument_.FailCall(call, nth, status);
        failuresInjected_ = true;
    }

    void Step(std::uint8_t op) {
        instrument_.ClearRecords();
        switch (op % 28) {
            case 0:
                Init();
                break;
            case 1:
                Close();
                break;
            case 2: {
                const std::int32_t status = QVZ_ResetValues();
                if (!ExpectSession(status)) break;
                model_.Active() = qvz::fuzz::PortModel();
                AfterSetter(status, true);
                break;
            }
            case 3: {
                const std::int32_t port = DecodeInt();
                const std::int32_t status = QVZ_SetActivePort(port);
                if (!ExpectSession(status)) break;
                if (port >= 1 && port <= 4) {
                    FUZZ_CHECK(status == 0, "ports 1..4 are accepted");
                    model_.activePort = port - 1;
                } else {
                    FUZZ_CHECK(status == visa::VI_ERROR_INV_PARAMETER, "other ports are refused");
                }
                ExpectNoIo();
                break;
            }
            case 4: {
                auto port = std::make_unique<std::int32_t>(0);
                const bool null = (in_.Byte() & 0x0F) == 0;
                const std::int32_t status = QVZ_GetActivePort(null ? nullptr : port.get());
                if (!ExpectSession(status)) break;
                if (null) {
                    FUZZ_CHECK(status == visa::VI_ERROR_USER_BUF, "a null output is refused");
                } else {
                    FUZZ_CHECK(status == 0 && *port == model_.activePort + 1, "active port");
                }
                break;
            }
            case 5:
                SetInteger(QVZ_SetCircuit, &qvz::fuzz::PortModel::circuit);
                break;
            case 6:
                GetInteger(QVZ_GetCircuit, &qvz::fuzz::PortModel::circuit,
                           (in_.Byte() & 0x0F) == 0);
                break;
            case 7:
                SetInteger(QVZ_SetSmoothing, &qvz::fuzz::PortModel::smoothing);
                break;
            case 8:
                GetInteger(QVZ_GetSmoothing, &qvz::fuzz::PortModel::smoothing,
                           (in_.Byte() & 0x0F) == 0);
                break;
            case 9:
                SetInteger(QVZ_SetAction, &qvz::fuzz::PortModel::action);
                break;
            case 10:
                GetInteger(QVZ_GetAction, &qvz::fuzz::PortModel::action, (in_.Byte() & 0x0F) == 0);
                break;
            case 11:
                SetValues(QVZ_SetRLCGValues, ValueGroup::kRLCG);
                break;
            case 12:
                GetValues(QVZ_GetRLCGValues, ValueGroup::kRLCG, in_.Byte() % 16);
                break;
            case 13:
                SetValues(QVZ_SetL1R1L2R2Values, ValueGroup::kL1R1L2R2);
                break;
            case 14:
                GetValues(QVZ_GetL1R1L2R2Values, ValueGroup::kL1R1L2R2, in_.Byte() % 16);
                break;
            case 15:
                SetValues(QVZ_SetC1G1C2G2Values, ValueGroup::kC1G1C2G2);
                break;
            case 16:
                GetValues(QVZ_GetC1G1C2G2Values, ValueGroup::kC1G1C2G2, in_.Byte() % 16);
                break;
            case 17:
                SetPath();
                break;
            case 18: {
                const std::string field = model_.path;
                GetText(QVZ_GetS2PFilePath, field);
                break;
            }
            case 19:
                SetPrefix();
                break;
            case 20: {
                const std::string field = model_.prefix;
                GetText(QVZ_GetS2PFilePrefix, field);
                break;
            }
            case 21: {
                const std::uint16_t flag =
                    in_.Byte() < 0x80 ? static_cast<std::uint16_t>(in_.Byte() % 2) : in_.U16();
                const std::int32_t status = QVZ_SetApplyImmediate(flag);
                if (!ExpectSession(status)) break;
                const std::uint8_t setting = flag != 0 ? 1 : 0;
                const bool switchedOn = setting != model_.applyImmediate && setting == 1;
                model_.applyImmediate = setting;
                if (switchedOn) {
                    CheckApply(status);
                } else {
                    FUZZ_CHECK(status == 0, "switching off or to the same setting succeeds");
                    ExpectNoIo();
                }
                break;
            }
            case 22: {
                auto flag = std::make_unique<std::uint16_t>(0x7E7E);
                const bool null = (in_.Byte() & 0x0F) == 0;
                const std::int32_t status = QVZ_GetApplyImmediate(null ? nullptr : flag.get());
                if (!ExpectSession(status)) break;
                if (null) {
                    FUZZ_CHECK(status == visa::VI_ERROR_USER_BUF, "a null output is refused");
                } else {
                    FUZZ_CHECK(status == 0 && *flag == model_.applyImmediate,
                               "apply-immediate flag");
                }
                break;
            }
            case 23:
            case 24: {
                const std::int32_t status = QVZ_ApplyChanges();
                if (!ExpectSession(status)) break;
                CheckApply(status);
                break;
            }
            case 25:
                SetReplies();
                break;
            case 26:
                InjectFailure();
                break;
            default: {
                // A setter with the stored value again: no I/O even when applying.
                if (!model_.hasState) break;
                const std::int32_t status = QVZ_SetCircuit(model_.Active().circuit);
                FUZZ_CHECK(status == 0, "an unchanged setting succeeds");
                ExpectNoIo();
                break;
            }
        }
    }

    void CheckState() {
        const qvz::SessionState* state = qvz::ThreadSlotGet();
        FUZZ_CHECK((state != nullptr) == model_.hasState,
                   "the thread has a session exactly after init");
        if (state != nullptr) {
            qvz::fuzz::CheckStateMatches(model_, *state);
        }
    }

    ByteReader in_;
    ScriptedInstrument instrument_;
    Replies replies_;
    ApiModel model_;
    bool sessionOpen_ = false;
    bool failuresInjected_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // The library's default path is the working directory: make that a
    // scratch directory of this process.
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("qvz_fuzz_api_" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    std::filesystem::current_path(directory);
    Sandbox() = std::filesystem::current_path().string();
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(Sandbox(), ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Driver driver(data, size);
    driver.Run();
    return 0;
}
