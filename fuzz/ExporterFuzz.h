// Drives the exporter's connection path headlessly: the monitor of one server (controller,
// record tables, snapshots, log lines) with arbitrary server bytes in arbitrary pieces, from any
// connection state, and checks after every piece that the metrics it would serve are sound.
// Inputs have the controller target's header (ControllerFuzz.h), so the two share a corpus;
// here the sorting bit turns per-channel series on and the selection bit sets a small limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace telv::fuzz {

struct ExporterRunResult {
    std::string failure;  // the first property that broke; empty when all held
    int finalState = 0;
    std::size_t published = 0;  // snapshots the monitor published
    std::size_t logLines = 0;
};

ExporterRunResult RunExporterInput(const std::uint8_t* data, std::size_t size);

}  // namespace telv::fuzz
