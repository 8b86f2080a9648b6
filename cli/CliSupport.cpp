#include "cli/CliSupport.h"

#include <fmt/format.h>

#include <unistd.h>

#include "cli/Commands.h"
#include "recording/AbfSweeps.h"

namespace velmora::cli {

StderrSink::StderrSink() : terminal_(isatty(STDERR_FILENO) == 1) {}

StderrSink::~StderrSink() { EndProgressLine(); }

void StderrSink::EndProgressLine() {
  if (!lineOpen_) return;
  std::cerr << "\r\033[K" << std::flush;
  lineOpen_ = false;
}

void StderrSink::Warn(std::string_view message) {
  EndProgressLine();
  std::cerr << "warning: " << Printable(message) << '\n';
}

void StderrSink::Status(std::string_view text) {
  if (!Verbose()) return;
  EndProgressLine();
  std::cerr << Printable(text) << '\n';
}

void StderrSink::Progress(int, int, std::string_view text) {
  if (Verbose() || !terminal_) {
    EndProgressLine();
    std::cerr << Printable(text) << '\n';
    return;
  }
  std::cerr << "\r\033[K" << Printable(text) << std::flush;
  lineOpen_ = true;
}

void Fail(const Error& error) {
  std::cerr << "error: " << error.What() << '\n';
  SetExitCode(1);
}

Result<std::string> RecordingOf(const std::string& path, std::optional<int> sweep) {
  if (IsAbfFileName(path)) return AbfSweepName(path, sweep.value_or(1) - 1);
  if (sweep) return Error{path, 0, "--sweep", "names a sweep of an ABF or ATF file; this is not one"};
  return path;
}

void AddSweepOption(CLI::App* cmd, std::optional<int>& sweep) {
  cmd->add_option("--sweep", sweep, "ABF and ATF files: the sweep, 1 for the first (default 1)")
      ->check(CLI::Range(1, kMaxRawSamples));
}

void AddChannelOptions(CLI::App* cmd, LoadSettings& load) {
  cmd->add_option("--voltage-channel", load.voltageChannel,
                  "ABF and ATF files: the channel (0 for the first) of the membrane voltage; default: the first in "
                  "mV, else in V")
      ->check(CLI::Range(0, 63));
  cmd->add_option("--current-channel", load.currentChannel,
                  "ABF and ATF files: the channel of the measured current; default: the first in pA, else in nA, "
                  "else the command current")
      ->check(CLI::Range(0, 63));
}

}  // namespace velmora::cli
