#pragma once
// "velmora-cli synth": synthetic recordings of the model cell with their ground truth.

#include <CLI/CLI.hpp>

namespace velmora::cli {

void AddSynthCommand(CLI::App& app);

}  // namespace velmora::cli
