// velmora-cli info: read one recording as the program does and describe it.

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "recording/AbfSweeps.h"
#include "recording/ListOfFiles.h"
#include "recording/TraceFile.h"
#include "session/Session.h"

namespace velmora::cli {

namespace {

int gExitCode = 0;
bool gVerbose = false;

struct InfoOptions {
  std::string trace;
  std::optional<int> sweep;
  bool json = false;
  LoadSettings load;
  int lost = static_cast<int>(LostParameters::ISinGConst);
};

// What the file of an ABF or ATF sweep records: format, channels and the
// command's epoch table.
nlohmann::ordered_json DescribeAbf(const AbfFile& abf, int sweep, const LoadSettings& load) {
  nlohmann::ordered_json j;
  j["format"] = FormatName(abf.format);
  j["version"] = abf.version;
  j["operationMode"] = abf.operationMode;
  j["sweep"] = sweep + 1;
  j["sweeps"] = abf.sweeps.size();
  j["sampleInterval_us"] = abf.dt * 1000;
  const auto chosen = ChosenChannels(abf, load);
  j["channels"] = nlohmann::ordered_json::array();
  for (int c = 0; c < static_cast<int>(abf.channels.size()); ++c) {
    const AbfChannel& ch = abf.channels[c];
    nlohmann::ordered_json e;
    e["index"] = c;
    e["name"] = ch.name;
    e["unit"] = ch.unit;
    e["input"] = ch.physical;
    e["holds"] = !chosen ? "" : c == chosen->voltage ? "V" : c == chosen->current ? "Ireal" : "";
    j["channels"].push_back(std::move(e));
  }
  const int d = CommandDac(abf);
  j["command"] = nullptr;
  j["epochs"] = nlohmann::ordered_json::array();
  if (d >= 0) {
    const AbfDac& dac = abf.dacs[d];
    j["command"] = {{"dac", d}, {"name", dac.name}, {"unit", dac.unit}, {"holding", dac.holding},
                    {"waveformEnabled", dac.waveformEnabled}, {"waveformSource", dac.waveformSource},
                    {"interEpisodeLevel", dac.interEpisodeLevel}};
    for (const AbfEpoch& e : dac.epochs)
      j["epochs"].push_back({{"epoch", EpochName(e.number)}, {"type", EpochTypeName(e.type)}, {"level", e.initLevel},
                             {"levelInc", e.levelInc}, {"duration", e.initDuration}, {"durationInc", e.durationInc},
                             {"pulsePeriod", e.pulsePeriod}, {"pulseWidth", e.pulseWidth}});
  }
  j["userList"] = nullptr;
  if (abf.userList)
    j["userList"] = {{"dac", abf.userList->dac}, {"epoch", EpochName(abf.userList->epoch)},
                     {"replaces", ReplacedName(abf.userList->replaces)}, {"values", abf.userList->values}};
  return j;
}

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
  LoadSettings settings = o.load;
  settings.lost = static_cast<LostParameters>(o.lost);
  Recording& rec = session.rec;
  const auto trace = RecordingOf(o.trace, o.sweep);
  if (!trace) return Fail(trace.error());
  if (Status s = LoadSweepFiles(rec, *trace, warnings, settings); !s) return Fail(s.error());
  if (Status s = LoadSweep(rec, 1, settings, warnings); !s) return Fail(s.error());
  rec.FileNames = {"", *trace};
  rec.nFiles = 1;
  auto description = Describe(rec);
  const auto abf = ParseAbfSweepName(*trace);
  // The file was read for the sweep and is kept: describing it reads nothing.
  const std::shared_ptr<const AbfFile> file = abf ? rec.raw.abf : nullptr;
  if (o.json) {
    if (file) description.update(DescribeAbf(*file, abf->sweep, settings));
    std::cout << description.dump(2) << '\n';
    return;
  }
  PrintText(description);
  if (file) {
    const ParameterLines header = ShowAbfHeader(*file, abf->sweep, settings);
    for (std::size_t i = 0; i < header.labels.size(); ++i)
      std::cout << fmt::format("{:<20} {}\n", header.labels[i], Printable(header.values[i]));
  }
}

}  // namespace

int ExitCode() { return gExitCode; }
bool Verbose() { return gVerbose; }
void SetVerbose(bool on) { gVerbose = on; }
void SetExitCode(int code) { gExitCode = code; }

void AddInfoCommand(CLI::App& app) {
  auto options = std::make_shared<InfoOptions>();
  auto* cmd = app.add_subcommand("info", "Read a recording (parameter file, then trace) into slot 1 and describe it");
  cmd->add_option("trace", options->trace,
                  "trace file, e.g. cell3_trace12_Err.cc; or an ABF or ATF file (see --sweep), or one of its sweeps "
                  "as the list of files names it, e.g. \"cell01.abf #3\"")
      ->required();
  cmd->add_flag("--json", options->json,
                "print JSON instead of aligned text; for an ABF or ATF sweep also the format, version, channels and "
                "the command's epoch table");
  cmd->add_option("--t0", options->load.t0, "\"Analyze since t0\", ms")->capture_default_str();
  AddSweepOption(cmd, options->sweep);
  AddChannelOptions(cmd, options->load);
  cmd->add_option("--lost", options->lost, "\"Lost parameters\" item 0..5")
      ->check(CLI::Range(0, 5))
      ->capture_default_str();
  cmd->callback([options] { RunInfo(*options); });
}

}  // namespace velmora::cli
