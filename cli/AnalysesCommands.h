#pragma once
// "velmora-cli stats", "split" and "stim": the statistics of the voltage, the
// splitting of conductances from two traces, and the stimulation artefacts.

#include <CLI/CLI.hpp>

namespace velmora::cli {

void AddAnalysesCommands(CLI::App& app);

}  // namespace velmora::cli
