// Realistic contents of the records a server holds: device types and versions, IMEI-like device
// IDs, 10.x addresses, ports, times on line and traffic. Handles, states and links are the
// population's business.
#pragma once

#include "Records.h"
#include "SimRandom.h"

#include <array>
#include <cstdint>

namespace telv::sim {

using DeviceIdField = std::array<std::uint8_t, TELV_UDP_FULL_CHANEL_DATA::kDeviceIdWidth>;

// The ID of the serial-th device. Distinct serials give distinct fields. Mostly a 15-digit
// IMEI with its check digit; some 16-character IDs that fill the field; with hostileTexts also
// IDs with control characters, the unassigned CP1251 byte 0x98, or bytes after a terminator.
DeviceIdField MakeDeviceId(std::uint64_t serial, SimRandom& rng, bool hostileTexts);

// A device channel, free and unlinked, with no handle yet. A fresh one has just connected
// (no time on line, no traffic); otherwise it has been on line for a while.
TELV_UDP_FULL_CHANEL_DATA MakeChanel(SimRandom& rng, std::uint64_t serial, bool hostileTexts, bool fresh);

// A simulated client program, free and unlinked, with no handle yet.
TELV_FULL_CLIENT_DATA MakeClient(SimRandom& rng, bool fresh);

// An address in 10.0.0.0/8 and a port above 1023 (only data: nothing ever connects to them).
Ipv4Address MakePrivateAddress(SimRandom& rng);
std::uint16_t MakePort(SimRandom& rng);

}  // namespace telv::sim
