// Drives the connection controller and the tables headlessly with arbitrary server bytes, cut
// into arbitrary pieces, from any connection state, and checks after every piece that nothing
// went out of step. Shared by the libFuzzer target and the reliability tests.
#pragma once

#include "Protocol.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace telv::fuzz {

// How the bytes behind the header are cut into receptions.
enum class PieceMode : std::uint8_t {
    Whole = 0,        // one reception
    SingleBytes = 1,  // one byte at a time
    Fixed = 2,        // pieces of pieceParam + 1 bytes
    Varying = 3,      // pseudo-random sizes 0 to pieceParam + 1 (empty receptions included)
};

// The choices an input makes in its first kHeaderSize bytes.
struct InputOptions {
    int startState = 0;       // 0 to 4; any other value is taken modulo 5
    bool autoRequest = true;  // the "Автозапрос" box
    bool events = true;       // the "События сервера" box
    bool timerTicks = false;  // between pieces: ticks of the handshake timer
    bool sortRows = false;    // between pieces: sort both views by a column
    bool selectRows = false;  // between pieces: select rows and build the operator's commands
    PieceMode pieces = PieceMode::Whole;
    std::uint8_t handshakeTicks = 0;  // the countdown when starting in WaitingHello/WaitingAck (0-63)
    std::uint8_t pieceParam = 0;
    std::uint8_t seed = 0;  // varies piece sizes and the actions between pieces
};

// Header layout:
//   byte 0: bits 0-2 start state, bit 3 auto request, bit 4 events, bit 5 timer ticks,
//           bit 6 sorting, bit 7 selection and commands
//   byte 1: bits 0-1 piece mode, bits 2-7 handshake ticks
//   byte 2: piece parameter
//   byte 3: seed
inline constexpr std::size_t kHeaderSize = 4;

InputOptions ParseHeader(const std::uint8_t* header);
// The header of the options followed by the server's bytes.
Bytes MakeInput(const InputOptions& options, const Bytes& serverBytes);

struct RunResult {
    std::string failure;  // the first property that broke; empty when all held
    std::size_t messages = 0;  // messages acted on
    std::size_t logLines = 0;
    int finalState = 0;
    int chanelRows = 0;
    int clientRows = 0;
};

// A text the operator reads (a log line, a cell, a status panel) is well-formed UTF-8 without
// control characters or line separators, so that a server's bytes can never break a line or a
// cell, nor be taken for anything but text. Returns what is wrong, empty when nothing.
std::string ShownTextProblem(std::string_view text);

// Runs one input (header and server bytes; a shorter input is padded with zero bytes).
RunResult RunControllerInput(const std::uint8_t* data, std::size_t size);

}  // namespace telv::fuzz
