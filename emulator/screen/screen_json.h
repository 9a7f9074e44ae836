// The emulator's state and a port's measurement as JSON, for the screen's
// page and for scripts (/state.json, /trace.json).
#ifndef QVZSIM_SCREEN_JSON_H
#define QVZSIM_SCREEN_JSON_H

#include <string>

#include "qvzsim/dut.h"
#include "qvzsim/instrument_state.h"
#include "qvzsim/port_measurement.h"

namespace qvzsim {

// {"activeChannel":1,"errorCount":0,"devices":[...],"channels":[...]}
std::string StateJson(const InstrumentSnapshot& snapshot, const DeviceBank& devices);

// {"channel":1,"port":1,"frequencies":[...],"raw":[[re,im],...],
//  "simulated":[...],"rawReturnLossDb":[...],"simulatedReturnLossDb":[...],
//  "networks":[{"function":"deembedding","file":"...","applied":true,
//  "s11Db":[...],"s21Db":[...]}]}. Numbers that have no finite value are null.
std::string TraceJson(const PortMeasurement& measurement, int channel, int port);

// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);

}  // namespace qvzsim

#endif
