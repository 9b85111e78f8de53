// libFuzzer entry: every input runs through the exporter's monitor of one server
// (ExporterFuzz.h); a broken property is reported and aborts, like a sanitizer finding.
#include "ExporterFuzz.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const telv::fuzz::ExporterRunResult result = telv::fuzz::RunExporterInput(data, size);
    if (!result.failure.empty()) {
        std::fprintf(stderr, "exporter_fuzzer: %s\n", result.failure.c_str());
        std::abort();
    }
    return 0;
}
