#include "cli/FcCommand.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

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
#include "actions/FiringClampRun.h"
#include "firingclamp/Lattice.h"
#include "recording/ListOfFiles.h"
#include "recording/TextIO.h"
#include "session/Session.h"
#include "session/SettingFields.h"
#include "session/Settings.h"

namespace velmora::cli {

namespace {

namespace fs = std::filesystem;

std::string SettingsHelp() {
  std::string text =
      "Approximation kinds (--approximate KIND):\n"
      "  0 cylindrical surface, 1 linear plane, 2 quadratic surface, 3 nearest calibration point,\n"
      "  4 regression of I, G on z1, z2, 5 regression of I, G, gNMDA on z1..z3 of two pulses\n"
      "Settings (--set NAME=VALUE, repeatable; names are matched without regard to case; a value outside\n"
      "the limits after the field is refused), with the defaults the program starts with:\n";
  return text + SettingsList(kFCTag, StartupSettings());
}

struct FcOptions {
  std::string dir;
  std::vector<std::string> select;
  bool calibrate = false;
  bool erase = false;
  std::optional<int> approximate;
  bool estimate = false;
  bool writeTrueIG = false;
  bool lattice = false;
  std::vector<std::string> set;
};

FiringClampRequest RequestOf(const FcOptions& o) {
  return {.calibrate = o.calibrate,
          .eraseCalibration = o.erase,
          .approximate = o.approximate ? std::optional(static_cast<ApproxKind>(*o.approximate)) : std::nullopt,
          .estimate = o.estimate};
}

// The run itself goes as on the "Firing-Clamp" page, with the boxes the options stand for.
Result<Settings> SettingsFrom(const FcOptions& o) {
  Settings s = StartupSettings();
  ApplyRequest(s, RequestOf(o));
  for (const std::string& a : o.set)
    if (Status st = ApplySetting(s, a, kFCTag); !st) return st.error();
  return s;
}


// Prints the run; returns the names of the recordings whose estimation
// estimated no pulse (every pulse a flaw, or none computable), which a
// summary of zeros would pass off as a perfect fit.
std::vector<std::string> PrintRun(const FiringClampRun& run, ApproxKind kind) {
  std::cout << fmt::format("{:>5} {:>7} {:>6}  {}\n", "slot", "pulses", "flaws", "file");
  for (const FiringClampFile& f : run.files) {
    if (f.analysed)
      std::cout << fmt::format("{:>5} {:>7} {:>6}  {}\n", f.slot, f.nPulses, f.nFlaws, f.name);
    else
      std::cout << fmt::format("{:>5} {:>7} {:>6}  {} (not analysed: no firing-clamp recording)\n", f.slot, "-", "-",
                               f.name);
  }
  std::vector<std::string> nothing;
  for (const FiringClampFile& f : run.files) {
    if (!f.estimation) continue;
    const EstimateSummary& s = f.summary;
    const EstimationReport& r = *f.estimation;
    const int zeroed = r.notConverged + r.zeroVariance + r.badCorrection + r.notFinite;
    if (NothingEstimated(f)) {
      std::cout << fmt::format("estimates of {}: no pulse estimated ({} pulses, {} flaws, {} without estimate)\n",
                               f.name, f.nPulses, f.nFlaws, zeroed);
      nothing.push_back(f.name);
      continue;
    }
    std::cout << fmt::format(
        "estimates of {} (kind {}, pulses {}..{}): mean Iest {:.2f} pA (command {:.2f}), mean Gest {:.3f} nS "
        "(command {:.3f}); RMS error {:.2f} pA, {:.3f} nS; {} pulses without estimate\n",
        f.name, static_cast<int>(kind), s.first, s.last, s.meanIest, s.meanI, s.meanGest, s.meanG, s.rmsI, s.rmsG,
        zeroed);
  }
  return nothing;
}

void RunFc(const FcOptions& o) {
  auto settings = SettingsFrom(o);
  if (!settings) return Fail(settings.error());
  Settings& s = *settings;
  // A lattice shows fitted surfaces; the other kinds fit none.
  const bool surfaces = s.approx.kind == ApproxKind::Cylindrical || s.approx.kind == ApproxKind::Plane ||
                        s.approx.kind == ApproxKind::Quadratic;
  if (o.lattice && !surfaces)
    return Fail(Error{"--lattice", 0, "", fmt::format("kind {} fits no surface; lattices need kind 0, 1 or 2",
                                                      static_cast<int>(s.approx.kind))});
  Session session;
  StderrSink warnings;
  auto run = FiringClampRunOfDirectory(session, s, o.dir, o.select, RequestOf(o), warnings);
  if (!run) return Fail(run.error());
  const std::vector<std::string> notEstimated = PrintRun(*run, s.approx.kind);
  if (run->approximationFailed)
    return Fail(Error{o.dir, 0, "", "the run stopped at the approximation of " + run->files.back().name});
  if (!notEstimated.empty())
    Fail(Error{o.dir, 0, "", fmt::format("no pulse was estimated in {}", fmt::join(notEstimated, ", "))});

  // What is written after the run waits for any other action on the directory too.
  if (!o.writeTrueIG && !o.lattice) return;
  auto lock = DataDirLock::Acquire(o.dir, warnings);
  if (!lock) return Fail(lock.error());
  if (o.writeTrueIG)
    if (Status st = WriteTrueIG(session.rec, session.rec.iFile, session.dataDir); !st) return Fail(st.error());
  if (o.lattice) {
    auto lattice = DrawLattices(s.approx, session.dataDir, std::nullopt, s.latticeSurface1, s.latticeSurface2,
                                session.approx, session.fcCharts.lattice1, session.fcCharts.lattice2, warnings);
    if (!lattice) return Fail(lattice.error());
    session.lattice = std::move(*lattice);
    if (Status st = WriteLatticeFiles(session.dataDir, session.lattice, session.approx.calib, s.approx.iz1,
                                      s.approx.iz2);
        !st)
      return Fail(st.error());
  }
}

}  // namespace

void AddFcCommand(CLI::App& app) {
  auto o = std::make_shared<FcOptions>();
  auto* cmd = app.add_subcommand(
      "fc",
      "Firing-clamp analysis of a data directory: the selected recordings (all by default) are analysed pulse by "
      "pulse; --calibrate appends their pulses to the calibration file I_G_VT_dV_subV_PulseV_PulseDur.dat, "
      "--approximate fits it (Equations.txt) and --estimate recovers I and G per pulse "
      "(TrueAndEstimated_I_G.dat, True_I_G(t).dat). Files are written into the directory; a line per recording "
      "gives its pulses and flaws");
  cmd->add_option("dir", o->dir, "data directory")->required();
  cmd->add_option("--select", o->select, "recordings by their name in ListOfFiles");
  cmd->add_flag("--calibrate", o->calibrate, "\"Calibrate\": append every analysed recording's pulses to the "
                                             "calibration file (\"Write in file\")");
  cmd->add_flag("--erase-calibration", o->erase, "\"Erase calibration\" before the run");
  cmd->add_option("--approximate", o->approximate, "\"Approximate\" with this kind after each recording")
      ->check(CLI::Range(0, 5));
  cmd->add_flag("--estimate", o->estimate,
                "estimate I and G of every pulse (approximates with the kind given, or 5 by default)");
  cmd->add_flag("--write-true-ig", o->writeTrueIG, "\"Write input I and G\" of the last recording");
  cmd->add_flag("--lattice", o->lattice,
                "draw and write the lattices of the fitted surfaces (Lattices_x_y_z1_z2.dat, "
                "CalibrationPoints_x_y_z1_z2.dat)");
  cmd->add_option("--set", o->set, "NAME=VALUE, see the list below")->type_name("NAME=VALUE");
  cmd->footer(SettingsHelp());
  cmd->callback([o] { RunFc(*o); });
}

}  // namespace velmora::cli
