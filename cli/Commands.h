#pragma once
// Each subcommand registers itself on the app and runs from its callback.

#include <CLI/CLI.hpp>

namespace velmora::cli {

// The exit code the subcommand that ran has left: 0, or 1 after an error.
int ExitCode();
void SetExitCode(int code);
// --verbose: the steps of each recording on stderr, not only its progress.
bool Verbose();
void SetVerbose(bool on);

void AddInfoCommand(CLI::App& app);

}  // namespace velmora::cli
