#include "cli/FiCommand.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "recording/AbfSweeps.h"
#include "recording/ListOfFiles.h"
#include "recording/TextIO.h"
#include "session/Session.h"
#include "session/SettingFields.h"
#include "session/Settings.h"
#include "actions/FiRun.h"
#include "actions/LoadedData.h"
#include "actions/ReadAndDraw.h"

namespace velmora::cli {

namespace {

namespace fs = std::filesystem;

std::string SettingsHelp() {
  std::string text =
      "Settings (--set NAME=VALUE, repeatable; names are matched without regard to case). NAME is the\n"
      "caption of the field: its words joined by '_', without the unit, '=' or '>'; a box takes 1 or 0,\n"
      "a list its item; a value outside the limits after the field is refused.\n"
      "Defaults as the program starts (\"Kelmar's set of parameters\"; --preset default applies \"Default\"\n"
      "first, then the --set values):\n";
  return text + SettingsList(kFITag, StartupSettings());
}

struct FiOptions {
  std::string dir;
  std::vector<std::string> select;
  std::string format;  // empty: main for fi, the kind found for batch
  bool rewrite = false;
  bool append = false;
  std::string preset = "adjusted";
  std::vector<std::string> set;
  std::string voltage, current, header;
  LoadSettings channels;  // --voltage-channel, --current-channel; -1: not given
};

Result<Settings> SettingsFrom(const FiOptions& o) {
  Settings s = StartupSettings();
  if (o.preset == "default") ApplyParameterSet(s, 0);
  if (o.format == "old") s.format = FileFormat::OldVarnel;
  if (o.format == "new") s.format = FileFormat::NewVarnel;
  if (o.rewrite) s.fi.AppendOutput = false;
  for (const std::string& a : o.set)
    if (Status st = ApplySetting(s, a, kFITag); !st) return st.error();
  if (o.channels.voltageChannel >= 0) s.load.voltageChannel = o.channels.voltageChannel;
  if (o.channels.currentChannel >= 0) s.load.currentChannel = o.channels.currentChannel;
  return s;
}

void PrintSweeps(const FIRun& run) {
  std::cout << fmt::format("{:>5} {:>10} {:>10} {:>8} {:>7} {:>10}  {}\n", "sweep", "Gclamp", "Iclamp", "nSpikes",
                           "nTrain", "nuLast", "file");
  for (std::size_t k = 0; k < run.sweeps.size(); ++k) {
    const FISweep& s = run.sweeps[k];
    const std::string file = k < run.names.size() && !run.names[k].empty() ? fs::path(run.names[k]).filename().string()
                                                                           : fmt::format("column {}", s.slot);
    std::cout << fmt::format("{:>5} {:>10.2f} {:>10.2f} {:>8} {:>7} {:>10.2f}  {}\n", s.slot, s.Gclamp, s.Iclamp,
                             s.nSpikes, s.nTrain, s.nuLast, file);
  }
}

void Report(const Result<FIRun>& run, const std::string& dir) {
  if (!run) return Fail(run.error());
  if (!run->sweeps.empty()) PrintSweeps(*run);
  if (!run->stopped.empty()) Fail(Error{dir, 0, "", "F-I analysis stopped: " + run->stopped});
}

void RunFi(const FiOptions& o) {
  auto settings = SettingsFrom(o);
  if (!settings) return Fail(settings.error());
  Session session;
  StderrSink warnings;
  session.dataDir = o.dir;
  std::error_code ec;
  Settings& s = *settings;
  if (s.format == FileFormat::Main) {
    // An ABF or ATF file stands for its sweeps in its directory.
    std::vector<std::string> select = o.select;
    fs::path dir = o.dir;
    if (IsAbfFileName(o.dir) && fs::is_regular_file(o.dir, ec)) {
      dir = fs::path(o.dir).parent_path().empty() ? fs::path(".") : fs::path(o.dir).parent_path();
      select.push_back(fs::path(o.dir).filename().string());
    }
    auto selected = ListedSelection(session, dir, select, warnings);
    if (!selected) return Fail(selected.error());
    if (session.listed.empty())
      return Fail(Error{(session.dataDir / "ListOfFiles").string(), 0, "", "lists no recording"});
    // A directory of ABF files, taken whole: one run per file, as each
    // file's sweeps fit the slots while all of them together may not.
    if (select.empty() && ParseAbfSweepName(session.listed.front().trace)) {
      auto runs = FICurvesPerFile(session, s, session.dataDir, warnings);
      if (!runs) return Fail(runs.error());
      FIRun all;
      for (const BatchDir& r : *runs) {
        all.sweeps.insert(all.sweeps.end(), r.run.sweeps.begin(), r.run.sweeps.end());
        all.names.insert(all.names.end(), r.run.names.begin(), r.run.names.end());
        if (!r.run.stopped.empty()) all.stopped += (all.stopped.empty() ? "" : "; ") + r.D + ": " + r.run.stopped;
      }
      return Report(all, o.dir);
    }
    return Report(FICurvesOfSelection(session, s, *selected, session.dataDir, warnings),
                  session.dataDir.string());
  } else {
    if (!o.select.empty()) return Fail(Error{"--select", 0, "", "names recordings of the main format only"});
    auto files = ColumnFilesIn(o.dir, s.format, {o.voltage, o.current, o.header});
    if (!files) return Fail(files.error());
    session.files = *files;
  }
  Report(FICurves(session, s, session.dataDir, warnings), o.dir);
}

void RunBatch(FiOptions o) {
  auto names = SortedEntries(o.dir);
  if (!names) return Fail(names.error());
  DirKind kind = ListBatchDirs(*names).kind;
  if (kind == DirKind::None) kind = ListAbfDirs(o.dir, *names).kind;
  if (kind == DirKind::None) {
    std::cerr << fmt::format(
        "{}: no directory named \"*_gst\" or \"*gs1*\", nor one holding ABF or ATF files; nothing to do\n", o.dir);
    return;
  }
  // Without --format the directories found say which column format to read.
  if (o.format.empty() && kind != DirKind::Abf) o.format = kind == DirKind::OldColumns ? "old" : "new";
  auto settings = SettingsFrom(o);
  if (!settings) return Fail(settings.error());
  Session session;
  StderrSink warnings;
  session.dataDir = o.dir;
  auto batch = TreatAllDirs(session, *settings, session.dataDir, warnings);
  if (!batch) return Fail(batch.error());
  int stopped = 0;
  for (const BatchDir& d : batch->runs) {
    std::cout << d.D << ":" << (d.run.stopped.empty() ? "" : " stopped: " + d.run.stopped) << "\n";
    if (!d.run.sweeps.empty()) PrintSweeps(d.run);
    if (!d.run.stopped.empty()) ++stopped;
  }
  if (stopped > 0)
    Fail(Error{o.dir, 0, "", fmt::format("{} of {} directories could not be analysed", stopped, batch->runs.size())});
}

void AddCommonOptions(CLI::App* cmd, FiOptions& o, bool batch) {
  if (batch)
    cmd->add_option("--format", o.format,
                    "old or new column format; default: the kind of the directories found. Column files are read "
                    "every Skip-th line: --set Skip=1 keeps the spikes")
        ->check(CLI::IsMember({"old", "new"}));
  else
    cmd->add_option("--format", o.format,
                    "main (ListOfFiles and trace files; default), old or new (column files in the directory, read "
                    "every Skip-th line: --set Skip=1 keeps the spikes)")
        ->check(CLI::IsMember({"main", "old", "new"}));
  AddChannelOptions(cmd, o.channels);
  auto* rewrite = cmd->add_flag("--rewrite", o.rewrite, "\"Rewrite output files\": start the eleven files afresh");
  auto* append = cmd->add_flag("--append", o.append, "\"Append output files\" (default)");
  rewrite->excludes(append);
  cmd->add_option("--preset", o.preset, "\"Adjusted sets of parameters\": default or adjusted (start-up)")
      ->check(CLI::IsMember({"default", "adjusted"}))
      ->capture_default_str();
  cmd->add_option("--set", o.set, "NAME=VALUE, see the list below")->type_name("NAME=VALUE");
  cmd->footer(SettingsHelp());
}

}  // namespace

void AddFiCommands(CLI::App& app) {
  auto fi = std::make_shared<FiOptions>();
  auto* cmd = app.add_subcommand(
      "fi",
      "F-I analysis of a data directory: the selected recordings (all by default), in list order; the eleven result "
      "files (out_*.dat) are written into the directory and a table per sweep is printed");
  cmd->add_option("dir", fi->dir,
                  "data directory: its \"ListOfFiles\" or, without one, the sweeps of its ABF and ATF files; or one "
                  "ABF or ATF file (its sweeps)")
      ->required();
  cmd->add_option("--select", fi->select,
                  "recordings by their name in the list of files (main format): a trace, an ABF sweep as listed "
                  "(\"cell01.abf #3\") or an ABF file (all its sweeps)");
  cmd->add_option("--voltage", fi->voltage, "column formats: the voltage file");
  cmd->add_option("--current", fi->current, "column formats: the current file");
  cmd->add_option("--header", fi->header, "column formats: the header file");
  AddCommonOptions(cmd, *fi, false);
  cmd->callback([fi] { RunFi(*fi); });

  auto batch = std::make_shared<FiOptions>();
  auto* bcmd = app.add_subcommand(
      "batch",
      "F-I analysis of every experiment directory in <dir>: \"<D>_gst\" (old column format) and \"*gs1*\" (new), "
      "sorted by name; without those, every directory holding ABF or ATF files, one run per file; all results go "
      "into the eleven files of <dir>");
  bcmd->add_option("dir", batch->dir, "directory holding the experiment directories")->required();
  AddCommonOptions(bcmd, *batch, true);
  bcmd->callback([batch] { RunBatch(*batch); });
}

}  // namespace velmora::cli
