#include "qvzsim/instrument.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "test_files.h"

namespace {

using qvzsim::FixtureFunction;
using qvzsim::Instrument;
using qvzsim::InstrumentConfig;

TEST(Instrument, ValidatesItsConfiguration) {
    const struct {
        const char* name;
        void (*change)(InstrumentConfig&);
        bool valid;
    } cases[] = {
        {"defaults", [](InstrumentConfig&) {}, true},
        {"16 channels, the last active",
         [](InstrumentConfig& c) {
             c.channels = 16;
             c.activeChannel = 16;
         },
         true},
        {"one point at one frequency",
         [](InstrumentConfig& c) {
             c.sweep = {1, 5e9, 5e9};
         },
         true},
        {"from DC", [](InstrumentConfig& c) { c.sweep.startHz = 0; }, true},
        {"the largest sweep", [](InstrumentConfig& c) { c.sweep.points = 200001; }, true},
        {"no channel", [](InstrumentConfig& c) { c.channels = 0; }, false},
        {"17 channels", [](InstrumentConfig& c) { c.channels = 17; }, false},
        {"active beyond the channels", [](InstrumentConfig& c) { c.activeChannel = 2; }, false},
        {"active 0", [](InstrumentConfig& c) { c.activeChannel = 0; }, false},
        {"no points", [](InstrumentConfig& c) { c.sweep.points = 0; }, false},
        {"too many points", [](InstrumentConfig& c) { c.sweep.points = 200002; }, false},
        {"start at stop", [](InstrumentConfig& c) { c.sweep.startHz = c.sweep.stopHz; }, false},
        {"start above stop",
         [](InstrumentConfig& c) {
             c.sweep = {201, 2e9, 1e9};
         },
         false},
        {"negative start", [](InstrumentConfig& c) { c.sweep.startHz = -1; }, false},
        {"stop above 1 THz", [](InstrumentConfig& c) { c.sweep.stopHz = 2e12; }, false},
        {"NaN stop", [](InstrumentConfig& c) { c.sweep.stopHz = std::nan(""); }, false},
        {"error queue of one", [](InstrumentConfig& c) { c.errorQueueCapacity = 1; }, false},
    };
    for (const auto& c : cases) {
        InstrumentConfig config;
        c.change(config);
        EXPECT_EQ(Instrument::ValidateConfig(config).empty(), c.valid) << c.name;
        if (!c.valid) {
            EXPECT_THROW(Instrument{config}, std::invalid_argument) << c.name;
        }
    }
}

TEST(Instrument, LoadPortFileReportsAndKeepsState) {
    qvzsim_test::TempDir dir;
    Instrument instrument;
    const std::string good =
        dir.Write("g.s2p", qvzsim_test::LibraryStyleTouchstone(qvzsim::SweepSettings{}));

    qvzsim::ErrorEntry outcome = instrument.LoadPortFile(1, 4, FixtureFunction::kMatching, good);
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(instrument.PortFile(1, 4, FixtureFunction::kMatching), good);
    EXPECT_EQ(instrument.PortFile(1, 4, FixtureFunction::kDeembedding), "");
    EXPECT_FALSE(
        instrument.GetPortState(1, 4, FixtureFunction::kMatching));  // loading switches nothing on

    outcome = instrument.LoadPortFile(1, 4, FixtureFunction::kMatching, dir.File("none.s2p"));
    EXPECT_EQ(outcome.code, -256);
    EXPECT_EQ(outcome.message, "File name not found");
    EXPECT_EQ(instrument.PortFile(1, 4, FixtureFunction::kMatching), good);
    EXPECT_EQ(instrument.ErrorCount(), 0u);  // queuing is the dispatcher's business

    EXPECT_EQ(instrument.LoadPortFile(1, 4, FixtureFunction::kMatching, "").code, 0);
    EXPECT_EQ(instrument.PortFile(1, 4, FixtureFunction::kMatching), "");
    EXPECT_EQ(instrument.Snapshot().Channel(1).Port(4).matching.filePoints, 0u);

    EXPECT_THROW(instrument.LoadPortFile(2, 1, FixtureFunction::kMatching, good),
                 std::out_of_range);
    EXPECT_THROW(instrument.SetPortState(1, 5, FixtureFunction::kMatching, true),
                 std::out_of_range);
}

TEST(Instrument, SweepSettersKeepASweepThatFilesCanCover) {
    Instrument instrument;
    EXPECT_EQ(instrument.SetStopFrequency(1, 5e9), 0);
    EXPECT_EQ(instrument.SetStartFrequency(1, 5e9), -222);  // would reach the stop
    EXPECT_EQ(instrument.SetSweepPoints(1, 1), 0);
    EXPECT_EQ(instrument.SetStartFrequency(1, 5e9), 0);  // one point may sit at the stop
    EXPECT_EQ(instrument.SetSweepPoints(1, 2), -222);    // but not two
    EXPECT_EQ(instrument.GetSweep(1).points, 1);
    EXPECT_EQ(instrument.SweepFrequencies(1), std::vector<double>{5e9});
}

}  // namespace
