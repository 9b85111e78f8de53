// The seed inputs of the controller fuzz target, made with the server's own encoders: whole
// sessions, every message in every state, the handshake faults, the count limits and hostile
// texts. fuzz/corpus/ holds them as files (make_seed_corpus writes them).
#pragma once

#include "Protocol.h"

#include <string>
#include <vector>

namespace telv::fuzz {

struct Seed {
    std::string name;  // the file name in the corpus
    Bytes input;       // header and server bytes (ControllerFuzz.h)
};

std::vector<Seed> MakeSeedCorpus();

// Every seed stays below this size, so that the fuzzer mutates small inputs.
inline constexpr std::size_t kMaxSeedSize = 4096;

}  // namespace telv::fuzz
