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
};

Result<Settings> SettingsFrom(const FiOptions& o) {
  Settings s = StartupSettings();
  if (o.preset == "default") ApplyParameterSet(s, 0);
  if (o.format == "old") s.format = FileFormat::OldVarnel;
  if (o.format == "new") s.format = FileFormat::NewVarnel;
  if (o.rewrite) s.fi.AppendOutput = false;
  for (const std::string& a : o.set)
    if (Status st = ApplySetting(s, a, kFITag); !st) return st.error();
  return s;
}

void PrintSweeps(const Session& session, const FIRun& run) {
  std::cout << fmt::format("{:>5} {:>10} {:>10} {:>8} {:>7} {:>10}  {}\n", "sweep", "Gclamp", "Iclamp", "nSpikes",
                           "nTrain", "nuLast", "file");
  for (const FISweep& s : run.sweeps) {
    const auto& names = session.rec.FileNames;
    const std::string file = s.slot < static_cast<int>(names.size()) && !names[s.slot].empty()
                                 ? fs::path(names[s.slot]).filename().string()
                                 : fmt::format("column {}", s.slot);
    std::cout << fmt::format("{:>5} {:>10.2f} {:>10.2f} {:>8} {:>7} {:>10.2f}  {}\n", s.slot, s.Gclamp, s.Iclamp,
                             s.nSpikes, s.nTrain, s.nuLast, file);
  }
}

void Report(const Session& session, const Result<FIRun>& run, const std::string& dir) {
  if (!run) return Fail(run.error());
  if (!run->sweeps.empty()) PrintSweeps(session, *run);
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
    if (!fs::exists(session.dataDir / "ListOfFiles", ec))
      return Fail(Error{o.dir, 0, "", "no \"ListOfFiles\" here; for column files give --format old or new"});
    auto selected = ListedSelection(session, o.dir, o.select, warnings);
    if (!selected) return Fail(selected.error());
    if (session.listed.empty())
      return Fail(Error{(session.dataDir / "ListOfFiles").string(), 0, "", "lists no recording"});
    return Report(session, FICurvesOfSelection(session, s, *selected, session.dataDir, warnings), o.dir);
  } else {
    if (!o.select.empty()) return Fail(Error{"--select", 0, "", "names recordings of the main format only"});
    auto files = ColumnFilesIn(o.dir, s.format, {o.voltage, o.current, o.header});
    if (!files) return Fail(files.error());
    session.files = *files;
  }
  Report(session, FICurves(session, s, session.dataDir, warnings), o.dir);
}

void RunBatch(FiOptions o) {
  auto names = SortedEntries(o.dir);
  if (!names) return Fail(names.error());
  const DirKind kind = ListBatchDirs(*names).kind;
  if (kind == DirKind::None) {
    std::cerr << fmt::format("{}: no directory named \"*_gst\" or \"*gs1*\"; nothing to do\n", o.dir);
    return;
  }
  // Without --format the directories found say which column format to read.
  if (o.format.empty()) o.format = kind == DirKind::OldColumns ? "old" : "new";
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
    if (!d.run.sweeps.empty()) PrintSweeps(session, d.run);
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
  cmd->add_option("dir", fi->dir, "data directory")->required();
  cmd->add_option("--select", fi->select, "recordings by their name in ListOfFiles (main format)");
  cmd->add_option("--voltage", fi->voltage, "column formats: the voltage file");
  cmd->add_option("--current", fi->current, "column formats: the current file");
  cmd->add_option("--header", fi->header, "column formats: the header file");
  AddCommonOptions(cmd, *fi, false);
  cmd->callback([fi] { RunFi(*fi); });

  auto batch = std::make_shared<FiOptions>();
  auto* bcmd = app.add_subcommand(
      "batch",
      "F-I analysis of every experiment directory in <dir>: \"<D>_gst\" (old column format) and \"*gs1*\" (new), "
      "sorted by name; all results go into the eleven files of <dir>");
  bcmd->add_option("dir", batch->dir, "directory holding the experiment directories")->required();
  AddCommonOptions(bcmd, *batch, true);
  bcmd->callback([batch] { RunBatch(*batch); });
}

}  // namespace velmora::cli
