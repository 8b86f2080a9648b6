#include "cli/CliSupport.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>

#include "cli/Commands.h"

namespace velmora::cli {

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
