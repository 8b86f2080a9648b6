#include "recording/ListOfFiles.h"

#include <fmt/format.h>

#include <algorithm>
#include <string_view>
#include <system_error>

#include "recording/ParameterFile.h"
#include "recording/TextIO.h"

namespace velmora {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kListName = "ListOfFiles";
constexpr std::string_view kPreviousDirName = "PreviousDir.txt";

// A line of the list is a file name; PATH_MAX bounds it. 16 MiB hold a
// hundred thousand recordings.
constexpr ReadLimits kListLimits{4096, 16 << 20};
// Its one line, a directory name.
constexpr ReadLimits kPreviousDirLimits{4096, 64 << 10};

// The list is text that anyone can edit: a name leading out of the data
// directory (absolute elsewhere, "..", a link pointing out) must not make a
// deletion reach other files. `root` is the data directory, canonical.
void DeleteInside(const fs::path& root, const std::string& name, const fs::path& list, WarningSink& warnings) {
  if (name.empty()) return;  // the missing second line of an odd last entry
  std::error_code ec;
  const fs::path target = fs::weakly_canonical(root / name, ec);
  const fs::path rel = target.lexically_relative(root);
  if (ec || rel.empty() || rel == "." || *rel.begin() == "..") {
    warnings.Warn(fmt::format("{}: {} lies outside the data directory; not deleted", list.string(), Quoted(name)));
    return;
  }
  fs::remove(root / name, ec);  // a file that cannot be deleted loses its line all the same
}

}  // namespace

Result<std::vector<ListedRecording>> ReadListOfFiles(const fs::path& dataDir, const fs::path& homeDir,
                                                     Recording& rec, WarningSink& warnings) {
  const fs::path listPath = dataDir / kListName;
  std::vector<ListedRecording> list;
  std::error_code ec;
  if (!fs::exists(listPath, ec)) {
    rec.nListed = 0;  // a count left from another directory would walk entries this list has not
    return list;
  }
  auto read = ReadLines(listPath, kListLimits);
  if (!read) return read.error();
  const std::vector<std::string>& lines = *read;
  for (std::size_t i = 0; i < lines.size(); i += 2)
    list.push_back({lines[i], i + 1 < lines.size() ? lines[i + 1] : std::string()});
  rec.nListed = static_cast<int>(list.size());

  // A relative name belongs to the data directory; an absolute one replaces it.
  if (!list.empty() && !list.back().second.empty()) {
    const Status s = ReadParameterFile(dataDir / list.back().second, rec.par);
    if (!s) warnings.Warn(s.error().What());
  }

  if (homeDir.empty()) return list;
  fs::path dir = fs::absolute(dataDir, ec);
  if (ec) dir = dataDir;
  if (Status s = WriteFileAtomically(homeDir / kPreviousDirName, dir.string() + "\r\n"); !s)
    warnings.Warn(s.error().What());
  return list;
}

Result<std::vector<int>> SelectRecordings(const std::vector<ListedRecording>& listed,
                                          const std::vector<std::string>& names, const fs::path& dataDir) {
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
      return Error{(dataDir / kListName).string(), 0, "", fmt::format("{} is not listed", Quoted(name))};
    selected.push_back(static_cast<int>(it - listed.begin()));
  }
  return selected;
}

std::string PreviousDir(const fs::path& homeDir) {
  auto lines = ReadLines(homeDir / kPreviousDirName, kPreviousDirLimits);
  return !lines || lines->empty() ? std::string() : lines->front();
}

Status DeleteSelectedRecordings(const fs::path& dataDir, const std::vector<int>& selected,
                                WarningSink& warnings) {
  const fs::path listPath = dataDir / kListName;
  auto read = ReadLines(listPath, kListLimits);
  if (!read) return read.error();
  const std::vector<std::string>& lines = *read;
  std::error_code ec;
  fs::path root = fs::absolute(dataDir, ec);
  if (!ec) root = fs::weakly_canonical(root, ec);
  if (ec) return Error{dataDir.string(), 0, "", "cannot resolve the data directory: " + ec.message()};

  std::vector<bool> marked(lines.size(), false);
  for (const int entry : selected) {
    if (entry < 0) continue;
    const std::size_t first = 2 * static_cast<std::size_t>(entry);
    for (std::size_t n = first; n < std::min(first + 2, lines.size()); ++n) {
      if (marked[n]) continue;
      marked[n] = true;
      DeleteInside(root, lines[n], listPath, warnings);
    }
  }
  std::string out;
  for (std::size_t n = 0; n < lines.size(); ++n)
    if (!marked[n]) out += lines[n] + "\r\n";
  return WriteFileAtomically(listPath, out);
}

ParameterLines ShowParameterFile(const fs::path& parFile) {
  ParameterLines shown;
  auto lines = ReadLines(parFile, kParameterFileLimits);
  if (!lines) return shown;
  for (std::size_t n = 0; n < lines->size(); ++n) (n % 2 == 0 ? shown.labels : shown.values).push_back((*lines)[n]);
  return shown;
}

}  // namespace velmora
