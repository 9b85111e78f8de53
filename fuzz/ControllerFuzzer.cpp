// libFuzzer entry: every input runs through the controller and the tables (ControllerFuzz.h);
// a broken property is reported and aborts, like a sanitizer finding.
#include "ControllerFuzz.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const telv::fuzz::RunResult result = telv::fuzz::RunControllerInput(data, size);
    if (!result.failure.empty()) {
        std::fprintf(stderr, "controller_fuzzer: %s\n", result.failure.c_str());
        std::abort();
    }
    return 0;
}
