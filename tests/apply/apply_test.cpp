// The apply sequence against a scripted analyzer: the dialogue byte for
// byte, the file, the status rules and every early exit.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "apply_fixture.h"
#include "circuit_model.h"
#include "qvzsim/sweep.h"
#include "session_state.h"
#include "touchstone_line_pipeline.h"
#include "touchstone_writer.h"
#include "visa/visa.h"

namespace qvz {
namespace testing {
namespace {

using Call = ScriptedInstrument::Call;
using namespace qvz::visa;
using Dialogue = std::vector<std::string>;

const std::string kQueries[] = {"SERVice:CHANnel:ACTive?\n", "SENSe1:SWEep:POINts?\n",
                                ":SENSe1:FREQuency:DATA?\n"};

Dialogue WithQueries(const Dialogue& commands, bool errorQuery = true) {
    Dialogue all(std::begin(kQueries), std::end(kQueries));
    all.insert(all.end(), commands.begin(), commands.end());
    if (errorQuery) {
        all.push_back(":SYST:ERR?\n");
    }
    return all;
}

Dialogue EmbeddingCommands(int channel, int port, const std::string& file) {
    const std::string c = "CALCulate" + std::to_string(channel) + ":FSIMulator:";
    const std::string p = ":PORT" + std::to_string(port);
    return {c + "SENDed:DEEMbed" + p + ":STATe 0\n",
            c + "SENDed:DEEMbed" + p + ":USER:FILename \"\"\n",
            c + "SENDed:PMCircuit" + p + ":USER:FILename \"" + file + "\"\n",
            c + "SENDed:PMCircuit" + p + ":STATe 1\n",
            c + "SENDed:PMCircuit:STATe 1\n",
            c + "STATe 1\n"};
}

Dialogue DeembeddingCommands(int channel, int port, const std::string& file) {
    const std::string c = "CALCulate" + std::to_string(channel) + ":FSIMulator:";
    const std::string p = ":PORT" + std::to_string(port);
    return {c + "SENDed:PMCircuit" + p + ":STATe 0\n",
            c + "SENDed:PMCircuit" + p + ":USER:FILename \"\"\n",
            c + "SENDed:DEEMbed" + p + ":USER:FILename \"" + file + "\"\n",
            c + "SENDed:DEEMbed" + p + ":STATe 1\n",
            c + "SENDed:DEEMbed:STATe 1\n",
            c + "STATe 1\n"};
}

Dialogue NoneCommands(int channel, int port) {
    const std::string c = "CALCulate" + std::to_string(channel) + ":FSIMulator:";
    const std::string p = ":PORT" + std::to_string(port);
    return {c + "SENDed:PMCircuit" + p + ":STATe 0\n",
            c + "SENDed:PMCircuit" + p + ":USER:FILename \"\"\n",
            c + "SENDed:DEEMbed" + p + ":STATe 0\n",
            c + "SENDed:DEEMbed" + p + ":USER:FILename \"\"\n"};
}

TEST_F(ApplyTest, EachActionSendsItsCommandListInOrder) {
    const std::string file = FileFor(1);
    const struct {
        std::int32_t action;
        Dialogue expected;
    } cases[] = {
        {QVZ_EMBEDDING, WithQueries(EmbeddingCommands(1, 1, file))},
        {QVZ_DEEMBEDDING, WithQueries(DeembeddingCommands(1, 1, file))},
        {QVZ_NONE, WithQueries(NoneCommands(1, 1))},
        {5, WithQueries(NoneCommands(1, 1))},
        {-1, WithQueries(NoneCommands(1, 1))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        ASSERT_EQ(QVZ_SetAction(c.action), 0);
        std::filesystem::remove(file);
        instrument.ClearRecords();
        EXPECT_EQ(QVZ_ApplyChanges(), 0);
        EXPECT_EQ(instrument.Commands(), c.expected);
        EXPECT_EQ(FileLines(file).size(), 3u + 3u) << "written for every action, None included";
        EXPECT_EQ(instrument.Count(Call::Clear), 0);
    }
}

TEST_F(ApplyTest, EmbeddingPortThreeOnChannelTwoWritesTheFileBeforeTheFirstCommand) {
    const std::filesystem::path data = directory / "data";
    std::filesystem::create_directories(data);
    const std::string file = (data / "P_Port3.s2p").string();
    const std::vector<double> frequencies = {1e6, 5e8, 8.5e9};
    std::optional<std::size_t> linesWhenFirstCommandCame;
    instrument.SetResponder([&](const std::string& command) -> std::optional<std::string> {
        if (command == "SERVice:CHANnel:ACTive?\n") return "2\n";
        if (command == "SENSe2:SWEep:POINts?\n") return "3\n";
        if (command == ":SENSe2:FREQuency:DATA?\n") return FormatFrequencyList(frequencies) + "\n";
        if (command == ":SYST:ERR?\n") return "0,\"No error\"\n";
        if (command.rfind("CALC", 0) == 0 && !linesWhenFirstCommandCame) {
            linesWhenFirstCommandCame = FileLines(file).size();
        }
        return std::nullopt;
    });
    ASSERT_EQ(QVZ_SetS2PFilePath((data.string() + kPathSeparator).c_str()), 0);
    ASSERT_EQ(QVZ_SetS2PFilePrefix("P_"), 0);
    ASSERT_EQ(QVZ_SetActivePort(3), 0);
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
    instrument.ClearRecords();

    EXPECT_EQ(QVZ_ApplyChanges(), 0);
    Dialogue expected = {"SERVice:CHANnel:ACTive?\n", "SENSe2:SWEep:POINts?\n",
                         ":SENSe2:FREQuency:DATA?\n"};
    for (const std::string& command : EmbeddingCommands(2, 3, file)) {
        expected.push_back(command);
    }
    expected.push_back(":SYST:ERR?\n");
    EXPECT_EQ(instrument.Commands(), expected);
    EXPECT_EQ(instrument.Commands()[3], "CALCulate2:FSIMulator:SENDed:DEEMbed:PORT3:STATe 0\n");
    EXPECT_EQ(instrument.Commands()[8], "CALCulate2:FSIMulator:STATe 1\n");
    ASSERT_TRUE(linesWhenFirstCommandCame.has_value());
    EXPECT_EQ(*linesWhenFirstCommandCame, 6u) << "the whole file is on disk first";
    const auto lines = FileLines(file);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "# Hz S RI R 50");
    EXPECT_EQ(lines[3].substr(0, 16), "1.000000000E+006");
    EXPECT_EQ(lines[5].substr(0, 16), "8.500000000E+009");
}

TEST_F(ApplyTest, ErrorQueueEntriesBecomeStatusesWithBit31Set) {
    const struct {
        const char* entry;
        std::int32_t status;
    } cases[] = {
        {"0,\"No error\"", 0},
        {"1,\"Device error\"", -2147483647},  // 0x80000001
        {"2147483647,\"Last\"", -1},          // 0xFFFFFFFF
        {"-256,\"File name not found\"", -256},
        {"-113,\"\"", -113},  // an empty message is still an entry
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        instrument.ServeAnalyzer(1, {1e9}, c.entry);
        EXPECT_EQ(QVZ_ApplyChanges(), c.status);
    }
}

TEST_F(ApplyTest, TimeoutOnThePointCountClearsTheDeviceAndWritesNothing) {
    instrument.SetResponder([](const std::string& command) -> std::optional<std::string> {
        if (command == "SERVice:CHANnel:ACTive?\n") return "1\n";
        return std::nullopt;  // silent on the point count
    });
    EXPECT_EQ(QVZ_ApplyChanges(), VI_ERROR_TMO);
    EXPECT_EQ(instrument.Count(Call::Clear), 1);
    EXPECT_EQ(instrument.Commands(), Dialogue(kQueries, kQueries + 2));
    EXPECT_FALSE(std::filesystem::exists(FileFor(1)));
}

TEST_F(ApplyTest, OtherFailuresEndTheSequenceWithoutADeviceClear) {
    for (ViStatus failure : {VI_ERROR_IO, VI_ERROR_CONN_LOST}) {
        SCOPED_TRACE(failure);
        instrument.ClearRecords();
        instrument.FailCall(Call::Read, 2, failure);
        EXPECT_EQ(QVZ_ApplyChanges(), failure);
        EXPECT_EQ(instrument.Count(Call::Clear), 0);
        EXPECT_EQ(instrument.Commands().size(), 2u);
        EXPECT_FALSE(std::filesystem::exists(FileFor(1)));
    }
}

TEST_F(ApplyTest, FailureOfTheThirdEmbeddingCommandStopsTheList) {
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
    for (ViStatus failure : {VI_ERROR_IO, VI_ERROR_TMO}) {
        SCOPED_TRACE(failure);
        std::filesystem::remove(FileFor(1));
        instrument.ClearRecords();
        instrument.FailCall(Call::Write, 3 + 3, failure);
        EXPECT_EQ(QVZ_ApplyChanges(), failure);
        const Dialogue sent = instrument.Commands();
        const Dialogue commands = EmbeddingCommands(1, 1, FileFor(1));
        EXPECT_EQ(sent, WithQueries({commands[0], commands[1]}, false));
        EXPECT_TRUE(std::filesystem::exists(FileFor(1)));
        EXPECT_EQ(instrument.Count(Call::Clear), failure == VI_ERROR_TMO ? 1 : 0);
    }
}

TEST_F(ApplyTest, ZeroPointsWriteTheHeaderAndStillCommand) {
    instrument.ServeAnalyzer(1, {});
    ASSERT_EQ(QVZ_SetAction(QVZ_DEEMBEDDING), 0);
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
    EXPECT_EQ(FileLines(FileFor(1)).size(), 3u);
    EXPECT_EQ(instrument.Commands(), WithQueries(DeembeddingCommands(1, 1, FileFor(1))));
}

TEST_F(ApplyTest, AShortFrequencyReplyLeavesTheMissingPointsAtZero) {
    instrument.SetResponder([](const std::string& command) -> std::optional<std::string> {
        if (command == "SERVice:CHANnel:ACTive?\n") return "1\n";
        if (command == "SENSe1:SWEep:POINts?\n") return "3\n";
        if (command == ":SENSe1:FREQuency:DATA?\n") return "1e9,2e9\n";
        if (command == ":SYST:ERR?\n") return "0,\"No error\"\n";
        return std::nullopt;
    });
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
    const auto lines = FileLines(FileFor(1));
    ASSERT_EQ(lines.size(), 6u) << "N points, whatever the count read back";
    EXPECT_EQ(lines[4].substr(0, 16), "2.000000000E+009");
    EXPECT_EQ(lines[5].substr(0, 16), "0.000000000E+000");
}

// The arrays' memory is kept between applies: a short reply after a full
// one must still leave zeros, not the previous apply's frequencies.
TEST_F(ApplyTest, AShortReplyAfterAFullOneStillLeavesZeros) {
    EmulatedAnalyzer fourPoints(Sweep(4, 1e9, 4e9));
    instrument.SetResponder(fourPoints.Responder());
    ASSERT_EQ(QVZ_ApplyChanges(), 0);
    ASSERT_EQ(FileLines(FileFor(1))[6].substr(0, 16), "4.000000000E+009");
    instrument.SetResponder([](const std::string& command) -> std::optional<std::string> {
        if (command == "SERVice:CHANnel:ACTive?\n") return "1\n";
        if (command == "SENSe1:SWEep:POINts?\n") return "3\n";
        if (command == ":SENSe1:FREQuency:DATA?\n") return "5e9\n";
        if (command == ":SYST:ERR?\n") return "0,\"No error\"\n";
        return std::nullopt;
    });
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
    const auto lines = FileLines(FileFor(1));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3].substr(0, 16), "5.000000000E+009");
    EXPECT_EQ(lines[4].substr(0, 16), "0.000000000E+000");
    EXPECT_EQ(lines[5].substr(0, 16), "0.000000000E+000");
}

TEST_F(ApplyTest, TwoAppliesInARowRepeatTheDialogueAndRewriteTheFile) {
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
    const std::string first = ReadFile(FileFor(1));
    {
        std::ofstream scribble(FileFor(1), std::ios::binary | std::ios::trunc);
        scribble << "stale";
    }
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
    const Dialogue once = WithQueries(NoneCommands(1, 1));
    Dialogue twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(instrument.Commands(), twice);
    const std::string second = ReadFile(FileFor(1));
    // Same content but for the date line.
    EXPECT_EQ(second.size(), first.size());
    EXPECT_EQ(second.substr(0, 16), first.substr(0, 16));
}

TEST_F(ApplyTest, RepliesThatAreNotNumbersFailWithoutSendingMore) {
    const struct {
        const char* query;
        const char* reply;
        std::size_t sent;
    } cases[] = {
        {"SERVice:CHANnel:ACTive?\n", "abc\n", 1},
        {"SENSe1:SWEep:POINts?\n", "\n", 2},
        {":SYST:ERR?\n", "oops\n", 8},
        {":SYST:ERR?\n", "5\n", 8},  // no message field
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.query) + " -> " + c.reply);
        instrument.SetResponder([&](const std::string& command) -> std::optional<std::string> {
            if (command == c.query) return std::string(c.reply);
            if (command == "SERVice:CHANnel:ACTive?\n") return "1\n";
            if (command == "SENSe1:SWEep:POINts?\n") return "1\n";
            if (command == ":SENSe1:FREQuency:DATA?\n") return "1e9\n";
            return std::nullopt;
        });
        instrument.ClearRecords();
        EXPECT_LT(QVZ_ApplyChanges(), 0);
        EXPECT_EQ(instrument.Commands().size(), c.sent);
    }
}

TEST_F(ApplyTest, PointCountsWithoutASaneArrayFailBeforeTheFrequencyQuery) {
    // 1,000,001 points is beyond the largest sweep of any analyzer.
    for (const char* reply : {"-1\n", "1000002\n", "10000000\n", "10000001\n", "-2147483648\n"}) {
        SCOPED_TRACE(reply);
        instrument.SetResponder([&](const std::string& command) -> std::optional<std::string> {
            if (command == "SERVice:CHANnel:ACTive?\n") return "1\n";
            if (command == "SENSe1:SWEep:POINts?\n") return std::string(reply);
            return std::nullopt;
        });
        instrument.ClearRecords();
        EXPECT_EQ(QVZ_ApplyChanges(), VI_ERROR_ALLOC);
        EXPECT_EQ(instrument.Commands().size(), 2u);
        EXPECT_EQ(instrument.Count(Call::Clear), 0);
        EXPECT_FALSE(std::filesystem::exists(FileFor(1)));
    }
}

TEST_F(ApplyTest, TheLargestSweepStillReachesTheFrequencyQuery) {
    instrument.SetResponder([](const std::string& command) -> std::optional<std::string> {
        if (command == "SERVice:CHANnel:ACTive?\n") return "1\n";
        if (command == "SENSe1:SWEep:POINts?\n") return "1000001\n";
        return std::nullopt;  // the frequency query then times out
    });
    EXPECT_EQ(QVZ_ApplyChanges(), VI_ERROR_TMO);
    EXPECT_EQ(instrument.Commands(), Dialogue(std::begin(kQueries), std::end(kQueries)));
}

// A control character would end or split the command carrying the name (a
// line feed ends a program message): such a name is refused before the
// analyzer hears anything, and no file is written.
TEST_F(ApplyTest, NamesWithControlCharactersAreRefusedBeforeAnyIo) {
    struct Case {
        const char* prefix;
        bool inPath;
    };
    for (const Case c :
         {Case{"a\nb_", false}, Case{"a\rb_", false}, Case{"\x01", false}, Case{"\x1F_", false},
          Case{"del\x7F_", false}, Case{"tab\t", true}, Case{"x\n:SYST:PRES\n", true}}) {
        SCOPED_TRACE(c.prefix);
        const std::string path = c.inPath ? (directory / c.prefix).string() : directory.string();
        ASSERT_EQ(QVZ_SetS2PFilePath(path.c_str()), 0);
        ASSERT_EQ(QVZ_SetS2PFilePrefix(c.inPath ? "Prefix_" : c.prefix), 0);
        ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
        instrument.ClearRecords();
        EXPECT_EQ(QVZ_ApplyChanges(), VI_ERROR_INV_PARAMETER);
        EXPECT_TRUE(instrument.Records().empty());
        EXPECT_TRUE(std::filesystem::is_empty(directory));
    }
}

#if !defined(_WIN32)  // Windows refuses '"' in file names
// Inside the quoted FILename argument a '"' of the name is doubled, as SCPI
// strings require: the name cannot end the string early and smuggle in
// commands, and the analyzer reads back the name that was written.
TEST_F(ApplyTest, QuotesInTheNameAreDoubledInTheCommand) {
    for (const std::string prefix : {"a\"b_", "x\";*RST;:SYST:PRES;\"", "\"\""}) {
        SCOPED_TRACE(prefix);
        ASSERT_EQ(QVZ_SetS2PFilePrefix(prefix.c_str()), 0);
        ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
        instrument.ClearRecords();
        EXPECT_EQ(QVZ_ApplyChanges(), 0);
        std::string quoted;
        for (const char c : FileFor(1, prefix)) {
            quoted += c;
            if (c == '"') quoted += '"';
        }
        EXPECT_EQ(instrument.Commands(), WithQueries(EmbeddingCommands(1, 1, quoted)));
        EXPECT_EQ(FileLines(FileFor(1, prefix)).size(), 6u);
    }
}
#endif

TEST_F(ApplyTest, FileNamesLongerThan255CharactersAreRefusedBeforeAnyIo) {
    // 240 + 20 + "Port1.s2p" > 255
    const std::string path = "/" + std::string(239, 'p');
    ASSERT_EQ(QVZ_SetS2PFilePath(path.c_str()), 0);
    ASSERT_EQ(QVZ_SetS2PFilePrefix(std::string(20, 'x').c_str()), 0);
    EXPECT_EQ(QVZ_ApplyChanges(), VI_ERROR_INV_LENGTH);
    EXPECT_TRUE(instrument.Records().empty());

    // Exactly 255 characters still fits.
    const std::string prefix255 =
        std::string(255 - std::strlen("Port1.s2p") - (directory.string().size() + 1), 'y');
    ASSERT_EQ(QVZ_SetS2PFilePath(directory.string().c_str()), 0);
    ASSERT_EQ(QVZ_SetS2PFilePrefix(prefix255.c_str()), 0);
    EXPECT_EQ(FileFor(1, prefix255).size(), 255u);
    // Some file systems refuse long names; what matters is the dialogue began.
    QVZ_ApplyChanges();
    EXPECT_FALSE(instrument.Commands().empty());
}

TEST_F(ApplyTest, AFileThatCannotBeCreatedIsNeverAnnounced) {
    ASSERT_EQ(QVZ_SetS2PFilePath((directory / "missing" / "dir").string().c_str()), 0);
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
    EXPECT_EQ(QVZ_ApplyChanges(), VI_ERROR_FILE_ACCESS);
    EXPECT_EQ(instrument.Commands(), Dialogue(std::begin(kQueries), std::end(kQueries)))
        << "no fixture-simulator command and no error query";
    EXPECT_EQ(instrument.Count(Call::Clear), 0);
}

TEST_F(ApplyTest, TheFileDescribesTheRoundedNetwork) {
    // Defaults, topology 0, Smooth, one point at 1 GHz.
    EmulatedAnalyzer onePoint(Sweep(1, 1e9, 1e9));
    instrument.SetResponder(onePoint.Responder());
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
    const auto lines = FileLines(FileFor(1));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3],
              "1.000000000E+009  1.964404598E-001  1.583086727E-002  3.908915542E-001"
              " -6.931653538E-002  3.908915542E-001 -6.931653538E-002 -2.095063189E-001"
              " -8.951218937E-002");
}

// From the formatting thread's threshold on, the network is computed as its
// lines are written: the file must hold, point for point, what the model
// gives for the whole sweep at once. Only the date line may differ.
TEST_F(ApplyTest, ALargeSweepsFileHoldsTheNetworkOfTheWholeSweep) {
    constexpr std::int32_t kPoints = kFormatAheadMinPoints + 4099;
    const qvzsim::InstrumentConfig config = Sweep(kPoints, 10e6, 8.5e9);
    EmulatedAnalyzer large(config);
    instrument.SetResponder(large.Responder());
    ASSERT_EQ(QVZ_SetCircuit(QVZ_SHUNT_L_SERIES_C), 0);
    ASSERT_EQ(QVZ_ApplyChanges(), 0);

    SessionState state{};
    InitialiseSessionState(state);
    state.circuit[0] = QVZ_SHUNT_L_SERIES_C;
    // The emulator sends each frequency with 17 digits: these are the very
    // values the library read.
    const std::vector<double> f = qvzsim::SweepFrequencies(config.sweep);
    const std::size_t n = f.size();
    std::vector<ComplexValue> s11(n), s21(n), s12(n), s22(n);
    ComputeCircuitSParameters(state, kPoints, f.data(), s11.data(), s21.data(), s12.data(),
                              s22.data());
    const std::string reference = (directory / "reference.s2p").string();
    ASSERT_EQ(WriteTouchstoneFile(reference.c_str(), kPoints, f.data(), s11.data(), s21.data(),
                                  s12.data(), s22.data()),
              TouchstoneWriteResult::kOk);

    const auto got = FileLines(FileFor(1));
    const auto want = FileLines(reference);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (i != 1) {
            ASSERT_EQ(got[i], want[i]) << "line " << i;
        }
    }
}

}  // namespace
}  // namespace testing
}  // namespace qvz
