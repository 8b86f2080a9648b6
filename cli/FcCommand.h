#pragma once
// velmora-cli fc: the firing-clamp analysis of a data directory, as the
// "Firing-Clamp" and "Approximate_FC" tabs run it: pulses, calibration
// file, approximation, estimation and lattices.

#include <CLI/CLI.hpp>

namespace velmora::cli {

void AddFcCommand(CLI::App& app);

}  // namespace velmora::cli
