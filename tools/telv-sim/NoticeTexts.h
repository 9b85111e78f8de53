// The server's text messages: short Russian notes in CP1251, and hostile variants with control
// characters, a zero byte and the unassigned CP1251 byte 0x98.
#pragma once

#include "RecordFactory.h"
#include "SimRandom.h"

#include <string>

namespace telv::sim {

// A text message body (CP1251 bytes). deviceId, when given, may be quoted in the text.
std::string MakeTextMessage(SimRandom& rng, const DeviceIdField* deviceId, bool hostile);

}  // namespace telv::sim
