#pragma once
// What every subcommand shares: warnings to stderr, errors as exit code 1.

#include <CLI/CLI.hpp>

#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recording/ListOfFiles.h"
#include "recording/TraceFile.h"
#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora::cli {

// Standard output holds the results a script reads; standard error what a
// person watching wants: warnings, and one line per recording or sweep (on a
// terminal, one line that is overwritten and cleared at the end). The steps
// within each item only with --verbose.
class StderrSink : public WarningSink {
 public:
  StderrSink();
  ~StderrSink() override;
  void Warn(std::string_view message) override;
  void Status(std::string_view text) override;
  void Progress(int item, int total, std::string_view text) override;

 private:
  void EndProgressLine();
  bool terminal_;
  bool lineOpen_ = false;
};

// Reports the error on stderr and makes the process exit with 1.
void Fail(const Error& error);

// The recording a command reads from `path`: a trace of the main format or a
// sweep name ("cell01.abf #3") as it is; an ABF or ATF file as its sweep
// `sweep` (1-based, 1 when not given). A sweep given for another path is an Error.
Result<std::string> RecordingOf(const std::string& path, std::optional<int> sweep);

// --sweep N for a command that reads one recording.
void AddSweepOption(CLI::App* cmd, std::optional<int>& sweep);

// --voltage-channel and --current-channel: the channels of ABF and ATF files.
void AddChannelOptions(CLI::App* cmd, LoadSettings& load);

}  // namespace velmora::cli
