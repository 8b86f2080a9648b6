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

class StderrSink : public WarningSink {
 public:
  void Warn(std::string_view message) override { std::cerr << "warning: " << message << '\n'; }
  void Status(std::string_view text) override { std::cerr << text << '\n'; }
};

// Reports the error on stderr and makes the process exit with 1.
void Fail(const Error& error);

// The entries of the data directory's list named by --select (by the listed
// name or its file name), in the order given; every entry without names.
Result<std::vector<int>> SelectRecordings(const std::vector<ListedRecording>& listed,
                                          const std::vector<std::string>& names, const std::string& dir);

}  // namespace velmora::cli
