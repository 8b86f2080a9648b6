// velmora-cli info: read one recording as the program does and describe it.

#include <fmt/format.h>

#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "recording/TraceFile.h"
#include "session/Session.h"

namespace velmora::cli {

namespace {

int gExitCode = 0;
bool gVerbose = false;

struct InfoOptions {
  std::string trace;
  bool json = false;
  double t0 = 0;  // ms
  int lost = static_cast<int>(LostParameters::ISinGConst);
};

nlohmann::ordered_json Describe(const Recording& rec) {
  const RecordingParameters& p = rec.par;
  const SweepSlot& s = rec.traces[1];
  nlohmann::ordered_json j;
  j["Duration"] = p.Duration;
  j["nPar"] = p.nPar;
  j["dtPar"] = p.dtPar;
  j["TimeFactor"] = p.TimeFactor;
  j["dt"] = rec.dt;
  j["nRaw"] = rec.raw.nRaw;
  j["nLast"] = s.nLast;
  j["t0"] = rec.t0;
  j["ProtocolKind"] = p.ProtocolKind;
  j["WaveKind"] = p.ClampWave.WaveKind;
  j["FiringClampOn"] = p.FiringClampOn;
  j["SpikesOff"] = p.SpikesOff;
  j["tOn"] = rec.tOn;
  j["tOff"] = rec.tOff;
  j["FileNo"] = rec.FileNo;
  j["Ifile"] = rec.Ifile[1];
  j["Gfile"] = rec.Gfile[1];
  j["LfpPresent"] = p.LfpPars.LfpPresent ? 1 : 0;
  j["HasCh4"] = p.HasCh4;
  j["HasCh56"] = p.HasCh56;
  const auto range = [&](const std::vector<double>& v) {
    nlohmann::ordered_json r;
    if (s.nLast < 0) return r;  // null: the slot holds no sample
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    r["min"] = *lo;
    r["max"] = *hi;
    return r;
  };
  j["V"] = range(s.V);
  j["Ireal"] = range(s.Ireal);
  j["Icom"] = range(s.Icom);
  return j;
}

void PrintText(const nlohmann::ordered_json& j) {
  for (const auto& [key, value] : j.items()) {
    if (value.is_object())
      std::cout << fmt::format("{:<13} min {}  max {}\n", key, value["min"].dump(), value["max"].dump());
    else
      std::cout << fmt::format("{:<13} {}\n", key, value.is_null() ? "-" : value.dump());
  }
}

void RunInfo(const InfoOptions& o) {
  Session session;
  StderrSink warnings;
  LoadSettings settings;
  settings.t0 = o.t0;
  settings.lost = static_cast<LostParameters>(o.lost);
  Recording& rec = session.rec;
  if (Status s = LoadSweepFiles(rec, o.trace, warnings); !s) return Fail(s.error());
  if (Status s = LoadSweep(rec, 1, settings, warnings); !s) return Fail(s.error());
  rec.FileNames = {"", o.trace};
  rec.nFiles = 1;
  const auto description = Describe(rec);
  if (o.json)
    std::cout << description.dump(2) << '\n';
  else
    PrintText(description);
}

}  // namespace

int ExitCode() { return gExitCode; }
bool Verbose() { return gVerbose; }
void SetVerbose(bool on) { gVerbose = on; }
void SetExitCode(int code) { gExitCode = code; }


void AddInfoCommand(CLI::App& app) {
  auto options = std::make_shared<InfoOptions>();
  auto* cmd = app.add_subcommand("info", "Read a recording (parameter file, then trace) into slot 1 and describe it");
  cmd->add_option("trace", options->trace, "trace file, e.g. cell3_trace12_Err.cc")->required();
  cmd->add_flag("--json", options->json, "print JSON instead of aligned text");
  cmd->add_option("--t0", options->t0, "\"Analyze since t0\", ms")->capture_default_str();
  cmd->add_option("--lost", options->lost, "\"Lost parameters\" item 0..5")
      ->check(CLI::Range(0, 5))
      ->capture_default_str();
  cmd->callback([options] { RunInfo(*options); });
}

}  // namespace velmora::cli
