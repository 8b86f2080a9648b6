#pragma once
// "velmora-cli spikes": the spike list of one sweep, read and filtered as the program reads it.

#include <CLI/CLI.hpp>

namespace velmora::cli {

void AddSpikesCommand(CLI::App& app);

}  // namespace velmora::cli
