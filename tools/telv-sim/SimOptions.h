// The simulator's settings and their command-line form.
#pragma once

#include "Protocol.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace telv::sim {

// Consoles served at once; each one is also a row of the client list.
inline constexpr std::uint32_t kMaxConsoles = 32;
// Simulated clients leave room for the consoles under the protocol's count limit.
inline constexpr std::uint32_t kMaxSimulatedClients = kMaxRecordCount - kMaxConsoles;

struct SimOptions {
    std::string listenAddress = "127.0.0.1";
    std::uint16_t listenPort = 5100;  // 0: any free port (tests)

    std::uint32_t devices = 100;
    std::uint32_t clients = 10;
    double churnPerSecond = 0;       // devices dropping (and as many connecting) per second
    double noticeIntervalSeconds = 10;  // 0: no periodic notices or text messages
    std::uint64_t seed = 1;
    double runSeconds = 0;           // 0: until stopped

    // Fault modes.
    std::size_t splitBytes = 0;      // 0: off; else every write goes out in pieces of this size
    bool noHello = false;            // no reply to the version request
    bool noAck = false;              // no acknowledgement of the client version
    std::uint32_t slowMs = 0;        // delay of each reply
    bool garbage = false;            // random bytes at some points of the stream
    bool overLimit = false;          // channel lists announce 1,048,561 records
    bool closeMidMessage = false;    // the first list or statistics reply is cut, then the connection
    bool orphanStats = false;        // statistics carry handles that no list has
    bool flood = false;              // a stream of notices and text messages
    bool hostileTexts = false;       // unterminated fields, control characters, invalid CP1251
};

struct ParsedOptions {
    bool ok = false;
    bool helpRequested = false;
    bool versionRequested = false;
    SimOptions options;
    std::string error;  // when !ok
};

// Parses the arguments after the program name ("--name value" or "--name=value"; one dash
// will do). Help wins over any mistake; an option given twice takes its last value.
ParsedOptions ParseSimOptions(std::span<const std::string_view> args);

std::string SimUsage();

}  // namespace telv::sim
