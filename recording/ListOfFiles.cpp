#include "recording/ListOfFiles.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <string_view>
#include <system_error>

#include "recording/AbfSweeps.h"
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

// One entry per sweep of every ABF or ATF file of the directory, sorted by
// file name, then sweep. Only the headers are read; a file that cannot be
// read is named in a warning and left out.
std::vector<ListedRecording> ListAbfSweeps(const fs::path& dataDir, WarningSink& warnings) {
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::directory_iterator it(dataDir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (IsAbfFileName(name) && it->is_regular_file(typeError)) files.push_back(name);
  }
  std::sort(files.begin(), files.end());
  std::vector<ListedRecording> list;
  for (const std::string& name : files) {
    // The load says what a header means for the analysis; the list only counts sweeps.
    NullSink quiet;
    const auto abf = ReadAbfHeader(dataDir / name, quiet);
    if (!abf) {
      warnings.Warn(fmt::format("{}; not listed", abf.error().What()));
      continue;
    }
    for (int k = 0; k < static_cast<int>(abf->sweeps.size()); ++k) list.push_back({AbfSweepName(name, k), name});
  }
  return list;
}

}  // namespace

Result<std::vector<ListedRecording>> ReadListOfFiles(const fs::path& dataDir, const fs::path& homeDir,
                                                     Recording& rec, WarningSink& warnings) {
  const fs::path listPath = dataDir / kListName;
  std::vector<ListedRecording> list;
  std::error_code ec;
  const bool abf = !fs::exists(listPath, ec);
  if (abf) {
    list = ListAbfSweeps(dataDir, warnings);
    // A count left from another directory would walk entries this list has not.
    rec.nListed = static_cast<int>(list.size());
    if (list.empty()) return list;
  } else {
    auto read = ReadLines(listPath, kListLimits);
    if (!read) return read.error();
    const std::vector<std::string>& lines = *read;
    for (std::size_t i = 0; i < lines.size(); i += 2)
      list.push_back({lines[i], i + 1 < lines.size() ? lines[i + 1] : std::string()});
    rec.nListed = static_cast<int>(list.size());
  }

  // A relative name belongs to the data directory; an absolute one replaces it.
  if (!abf && !list.empty() && !list.back().second.empty()) {
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
    if (it != listed.end()) {
      selected.push_back(static_cast<int>(it - listed.begin()));
      continue;
    }
    // The name of an ABF or ATF file names all its sweeps.
    const std::size_t before = selected.size();
    if (IsAbfFileName(name))
      for (int i = 0; i < static_cast<int>(listed.size()); ++i)
        if (ParseAbfSweepName(listed[i].trace) &&
            (listed[i].second == name || fs::path(listed[i].second).filename() == name))
          selected.push_back(i);
    if (selected.size() == before) {
      // The sweeps of ABF files are listed from the directory itself.
      const bool abf = !listed.empty() && ParseAbfSweepName(listed.front().trace);
      return Error{abf ? dataDir.string() : (dataDir / kListName).string(), 0, "",
                   fmt::format("{} is not listed", Quoted(name))};
    }
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
  std::error_code ec;
  // Without a list the entries are sweeps of ABF and ATF files: one of them
  // cannot go without the others, and a file holds the whole recording.
  if (!fs::exists(listPath, ec))
    return Error{dataDir.string(), 0, "",
                 "has no \"ListOfFiles\": the sweeps of ABF and ATF files listed are not deleted from here; move or "
                 "delete the files themselves"};
  auto read = ReadLines(listPath, kListLimits);
  if (!read) return read.error();
  const std::vector<std::string>& lines = *read;
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

namespace {

std::string ModeName(int mode) {
  switch (mode) {
    case kAbfVariableLength: return "variable-length event-driven";
    case kAbfFixedLength: return "fixed-length event-driven";
    case kAbfGapFree: return "gap-free";
    case 4: return "high-speed oscilloscope";
    case kAbfEpisodic: return "episodic";
    default: return "not given";
  }
}

}  // namespace

ParameterLines ShowAbfHeader(const AbfFile& abf, int sweep, const LoadSettings& settings) {
  ParameterLines shown;
  const auto add = [&](std::string label, std::string value) {
    shown.labels.push_back(std::move(label));
    shown.values.push_back(std::move(value));
  };
  add("Format", fmt::format("{} {}", FormatName(abf.format), abf.version));
  add("File", fs::path(abf.file).filename().string());
  add("Operation mode", fmt::format("{} {}", abf.operationMode, ModeName(abf.operationMode)));
  add("Sample interval, µs", fmt::format("{:g} ({:g} Hz)", abf.dt * 1000, 1000 / abf.dt));
  const bool sameLength =
      std::ranges::all_of(abf.sweeps, [&](const AbfSweep& s) { return s.length == abf.sweeps[0].length; });
  add("Sweeps", abf.sweeps.empty() ? "0"
                : sameLength       ? fmt::format("{} of {} samples", abf.sweeps.size(), abf.sweeps[0].length)
                                   : fmt::format("{} of different lengths", abf.sweeps.size()));
  const auto choice = ChosenChannels(abf, settings);
  for (int c = 0; c < static_cast<int>(abf.channels.size()); ++c) {
    const AbfChannel& ch = abf.channels[c];
    const std::string role = !choice                  ? ""
                             : c == choice->voltage ? ": membrane voltage"
                             : c == choice->current ? ": measured current"
                                                    : "";
    add(fmt::format("Channel {}", c), fmt::format("{} [{}], input {}{}", ch.name, ch.unit, ch.physical, role));
  }
  if (!choice) add("Channels", choice.error().message);
  else if (!choice->note.empty()) add("Current", choice->note);
  const int d = CommandDac(abf);
  if (d >= 0) {
    const AbfDac& dac = abf.dacs[d];
    add("Command", fmt::format("DAC {} \"{}\" [{}], holding {:g}{}", d, dac.name, dac.unit, dac.holding,
                               dac.waveformEnabled ? "" : ", waveform off"));
    for (const AbfEpoch& e : dac.epochs)
      add(fmt::format("Epoch {}", EpochName(e.number)),
          fmt::format("{}: {:g} {} ({:+g} per sweep), {} samples ({:+} per sweep)", EpochTypeName(e.type), e.initLevel,
                      dac.unit, e.levelInc, e.initDuration, e.durationInc));
    if (abf.userList && abf.userList->dac == d) {
      add("User list", fmt::format("{} of epoch {}: {:g}", ReplacedName(abf.userList->replaces),
                                   EpochName(abf.userList->epoch), fmt::join(abf.userList->values, ", ")));
    }
  }
  if (sweep >= 0 && sweep < static_cast<int>(abf.sweeps.size())) {
    const AbfStimulus st = StimulusOfSweep(abf, sweep);
    add("Sweep", fmt::format("{}", sweep + 1));
    add("ProtocolKind", st.ProtocolKind == 2 ? fmt::format("2 (step of epoch {})", EpochName(st.epoch))
                                             : fmt::format("0 ({})", st.why));
    add("tStimStart, ms", fmt::format("{:g}", st.tStimStart));
    add("tStimEnd, ms", fmt::format("{:g}", st.tStimEnd));
    if (st.ProtocolKind == 2) add("I0, pA", fmt::format("{:g}", st.I0));
  }
  return shown;
}

}  // namespace velmora
