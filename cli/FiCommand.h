#pragma once
// velmora-cli fi and batch: the F-I analysis of a data directory, and of every
// experiment directory below one.

#include <CLI/CLI.hpp>

namespace velmora::cli {

void AddFiCommands(CLI::App& app);

}  // namespace velmora::cli
