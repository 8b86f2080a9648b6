// velmora-cli: Velmora's analyses without a window, for scripts, batches and CI.

#include <CLI/CLI.hpp>

#include <csignal>
#include <iostream>

#include "cli/AnalysesCommands.h"
#include "cli/Commands.h"
#include "cli/FcCommand.h"
#include "cli/FiCommand.h"
#include "cli/SpikesCommand.h"
#include "cli/SynthCommand.h"

int main(int argc, char** argv) {
  // A file-size limit (ulimit -f) is then a write error that the writers
  // take back whole, not a signal that kills the process mid-record.
  std::signal(SIGXFSZ, SIG_IGN);
  CLI::App app{"Velmora: offline analysis of intracellular recordings, headless"};
  app.require_subcommand(1);
  // Given before or after the subcommand's name.
  app.fallthrough();
  app.add_flag_callback("-v,--verbose", [] { velmora::cli::SetVerbose(true); },
                        "also show each step of every recording on stderr");
  velmora::cli::AddInfoCommand(app);
  velmora::cli::AddSynthCommand(app);
  velmora::cli::AddSpikesCommand(app);
  velmora::cli::AddFiCommands(app);
  velmora::cli::AddFcCommand(app);
  velmora::cli::AddAnalysesCommands(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return velmora::cli::ExitCode();
}
