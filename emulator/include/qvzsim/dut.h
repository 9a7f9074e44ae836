// The device under test on each of the analyzer's ports: what the emulator
// "measures" there before the fixture simulator acts. Either a built-in model
// of a small antenna or the reflection read from a Touchstone file.
#ifndef QVZSIM_DUT_H
#define QVZSIM_DUT_H

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "qvzsim/error_queue.h"
#include "qvzsim/fixture_math.h"
#include "qvzsim/instrument_state.h"
#include "qvzsim/touchstone_reader.h"

namespace qvzsim {

// A resistor, an inductor and a capacitor in series: the textbook model of an
// electrically small antenna near its first resonance.
struct SeriesRlc {
    double ohms;
    double henries;
    double farads;
};

// The built-in device: 12 ohm, 8 nH, 0.53 pF, resonating at about 2.44 GHz
// (inside the default sweep) with a resistance far from 50 ohm, so the
// default picture shows a clear mismatch even at resonance.
constexpr SeriesRlc kSmallAntenna{12.0, 8e-9, 0.53e-12};

// The reflection of `model` against 50 ohm at `hertz` (1 at 0 Hz, where the
// capacitor is open).
Complex SeriesRlcReflection(const SeriesRlc& model, double hertz);

// One port's device; immutable once made, so it is shared freely.
class Device {
public:
    // The built-in small antenna.
    Device();
    // The S11 of a one- or two-port file, renormalised to 50 ohm.
    Device(std::string file, TouchstoneData data);

    bool BuiltIn() const { return file_.empty(); }
    const std::string& File() const { return file_; }
    // The reflection at each frequency: the model's, or the file's S11
    // interpolated (the nearest end value outside the file's range).
    std::vector<Complex> Reflection(const std::vector<double>& frequencies) const;

private:
    std::string file_;
    std::vector<double> frequencies_;
    std::vector<Complex> s11_;
};

// Reads a device file: ".s1p" is one-port; any other name is read as a
// two-port file, of which S11 is used (".s<N>p" with N above 2 is refused).
// Returns the entry to queue on failure, code 0 on success.
ErrorEntry ReadDeviceFile(const std::string& path, TouchstoneData& data);

// The devices of ports 1..4. Thread-safe.
class DeviceBank {
public:
    DeviceBank();

    std::shared_ptr<const Device> GetDevice(int port) const;
    // Loads `file` as the device of `port`; an empty name restores the
    // built-in model. A file that fails leaves the port as it was.
    ErrorEntry Load(int port, const std::string& file);

private:
    mutable std::mutex mutex_;
    std::array<std::shared_ptr<const Device>, kPortCount> devices_;
};

}  // namespace qvzsim

#endif
