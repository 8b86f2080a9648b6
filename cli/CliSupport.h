#pragma once
// What every subcommand shares: warnings to stderr, errors as exit code 1.

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "recording/ListOfFiles.h"
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

}  // namespace velmora::cli
