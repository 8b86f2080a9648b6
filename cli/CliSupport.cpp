#include "cli/CliSupport.h"

#include <fmt/format.h>

#include <unistd.h>

#include "cli/Commands.h"

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

}  // namespace velmora::cli
