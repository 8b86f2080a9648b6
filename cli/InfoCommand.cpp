#include <iostream>

#include "cli/Commands.h"

namespace velmora::cli {

namespace {
int gExitCode = 0;
}

int ExitCode() { return gExitCode; }
void SetExitCode(int code) { gExitCode = code; }

void AddInfoCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand("info", "Read a recording as the program does and describe it");
  static std::string trace;
  cmd->add_option("trace", trace, "trace file")->required();
  cmd->callback([] { std::cout << trace << "\n"; });
}

}  // namespace velmora::cli
