// Shared set-up for tests of the exported API: a scripted instrument with the
// analyzer emulator behind it, and a session opened on the test's thread.
#ifndef QVZ_TESTS_API_FIXTURE_H
#define QVZ_TESTS_API_FIXTURE_H

#include <string>

#include <gtest/gtest.h>

#include "platform/thread_slot.h"
#include "emulated_analyzer.h"
#include "qvzfix.h"
#include "scripted_instrument.h"
#include "session_state.h"

namespace qvz {
namespace testing {

constexpr const char* kScriptedResource = "TCPIP0::127.0.0.1::5025::SOCKET";

class ApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        instrument.SetResponder(analyzer.Responder());
        ASSERT_EQ(QVZ_init(kScriptedResource), 0);
        // Keep the Touchstone files of applies out of the working directory.
        ASSERT_EQ(QVZ_SetS2PFilePath(::testing::TempDir().c_str()), 0);
        instrument.ClearRecords();
    }

    void TearDown() override {
        if (ThreadSlotGet() != nullptr) {
            QVZ_close();
        }
    }

    const SessionState& GetState() const { return *ThreadSlotGet(); }

    // One apply sends exactly one active-channel query.
    int Applies() const {
        int n = 0;
        for (const std::string& command : instrument.Commands()) {
            n += command == "SERVice:CHANnel:ACTive?\n" ? 1 : 0;
        }
        return n;
    }

    EmulatedAnalyzer analyzer{Sweep(2, 1e9, 2e9)};
    ScriptedInstrument instrument;
};

}  // namespace testing
}  // namespace qvz

#endif
