// The analyzer emulator in-process and without sockets, as a scripted
// instrument's responder: each command the library writes runs through a
// qvzsim session over one shared instrument, and its reply (if any) comes
// back. For tests that want a real analyzer behind the byte-exact record of
// the scripted instrument:
//
//   EmulatedAnalyzer analyzer(Sweep(2, 1e9, 2e9));
//   instrument.SetResponder(analyzer.Responder());
//
// Thread-safe, as the instrument is; it must outlive the responder's use.
#ifndef QVZ_TESTING_EMULATED_ANALYZER_H
#define QVZ_TESTING_EMULATED_ANALYZER_H

#include "qvzsim/faults.h"
#include "qvzsim/instrument.h"
#include "qvzsim/instrument_state.h"
#include "scripted_instrument.h"

namespace qvz {
namespace testing {

// An analyzer configuration with one channel sweeping `points` from
// `startHz` to `stopHz`.
qvzsim::InstrumentConfig Sweep(int points, double startHz, double stopHz);

class EmulatedAnalyzer {
public:
    explicit EmulatedAnalyzer(const qvzsim::InstrumentConfig& config = {});
    EmulatedAnalyzer(const EmulatedAnalyzer&) = delete;
    EmulatedAnalyzer& operator=(const EmulatedAnalyzer&) = delete;

    ScriptedInstrument::Responder Responder();
    qvzsim::Instrument& GetInstrument() { return instrument_; }

private:
    qvzsim::Instrument instrument_;
    qvzsim::Faults faults_;
};

}  // namespace testing
}  // namespace qvz

#endif
