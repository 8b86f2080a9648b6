#pragma once
// What every subcommand shares: warnings to stderr, errors as exit code 1.

#include <iostream>
#include <string_view>

#include "session/Errors.h"
#include "session/WarningSink.h"

namespace velmora::cli {

class StderrSink : public WarningSink {
 public:
  void Warn(std::string_view message) override { std::cerr << "warning: " << message << '\n'; }
  void Status(std::string_view text) override { std::cerr << text << '\n'; }
};

// Reports the error on stderr and makes the process exit with 1.
void Fail(const Error& error);

}  // namespace velmora::cli
