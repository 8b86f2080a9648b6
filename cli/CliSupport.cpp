#include "cli/CliSupport.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>

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

Result<std::vector<int>> SelectRecordings(const std::vector<ListedRecording>& listed,
                                          const std::vector<std::string>& names, const std::string& dir) {
  namespace fs = std::filesystem;
  std::vector<int> selected;
  if (names.empty()) {
    for (int i = 0; i < static_cast<int>(listed.size()); ++i) selected.push_back(i);
    return selected;
  }
  for (const std::string& name : names) {
    const auto it = std::find_if(listed.begin(), listed.end(), [&](const ListedRecording& r) {
      return r.trace == name || fs::path(r.trace).filename() == name;
    });
    if (it == listed.end())
      return Error{(fs::path(dir) / "ListOfFiles").string(), 0, "", fmt::format("{} is not listed", Quoted(name))};
    selected.push_back(static_cast<int>(it - listed.begin()));
  }
  return selected;
}

}  // namespace velmora::cli
