#include "cli/SpikesCommand.h"

#include <fmt/format.h>

#include <array>
#include <iostream>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/CliSupport.h"
#include "recording/Filter.h"
#include "recording/TraceFile.h"
#include "session/Session.h"
#include "session/Settings.h"

namespace velmora::cli {

namespace {

struct SpikesOptions {
  std::string trace;
  std::optional<int> sweep;
  bool csv = false;
  bool json = false;
  LoadSettings load;
  std::string preset = "adjusted";
};

// The columns in output order, with their units and the decimals of the text table.
struct Column {
  const char* name;
  const char* unit;
  int decimals;
  double value;
};

std::array<Column, 9> Columns(const SpikeList& s, int k) {
  return {{{"tAP", "s", 6, s.tAP[k]},
           {"ISI", "s", 6, s.ISI[k]},
           {"VT", "mV", 3, s.VT[k]},
           {"tVT", "s", 6, s.tVT[k]},
           {"Vpeak", "mV", 3, s.Vpeak[k]},
           {"WidthAP", "ms", 4, s.WidthAP[k]},
           {"VAHP", "mV", 3, s.VAHP[k]},
           {"VAHPfast", "mV", 3, s.VAHPfast[k]},
           {"Vav", "mV", 3, s.Vav[k]}}};
}

void PrintText(const SpikeList& s) {
  constexpr int kWidth = 12;
  std::string names = fmt::format("{:>5}", "k"), units = fmt::format("{:>5}", "");
  for (const Column& c : Columns(s, 0)) {
    names += fmt::format("{:>{}}", c.name, kWidth);
    units += fmt::format("{:>{}}", c.unit, kWidth);
  }
  std::cout << names << '\n' << units << '\n';
  for (int k = 1; k <= s.nSpikes; ++k) {
    std::string line = fmt::format("{:>5}", k);
    for (const Column& c : Columns(s, k)) line += fmt::format("{:>{}.{}f}", c.value, kWidth, c.decimals);
    std::cout << line << '\n';
  }
}

void PrintCsv(const SpikeList& s) {
  std::string header = "k";
  for (const Column& c : Columns(s, 0)) header += fmt::format(",{}", c.name);
  std::cout << header << '\n';
  for (int k = 1; k <= s.nSpikes; ++k) {
    std::string line = fmt::format("{}", k);
    for (const Column& c : Columns(s, k)) line += fmt::format(",{}", c.value);
    std::cout << line << '\n';
  }
}

void PrintJson(const SpikeList& s, const std::string& trace) {
  nlohmann::ordered_json j;
  j["trace"] = trace;
  j["nSpikes"] = s.nSpikes;
  for (const Column& c : Columns(s, 0)) j["units"][c.name] = c.unit;
  j["spikes"] = nlohmann::ordered_json::array();
  for (int k = 1; k <= s.nSpikes; ++k) {
    nlohmann::ordered_json spike;
    spike["k"] = k;
    for (const Column& c : Columns(s, k)) spike[c.name] = c.value;
    j["spikes"].push_back(std::move(spike));
  }
  std::cout << j.dump(2) << '\n';
}

void RunSpikes(const SpikesOptions& o) {
  Settings settings = StartupSettings();
  if (o.preset == "default") ApplyParameterSet(settings, 0);
  settings.load.t0 = o.load.t0;
  settings.load.voltageChannel = o.load.voltageChannel;
  settings.load.currentChannel = o.load.currentChannel;
  Session session;
  StderrSink warnings;
  Recording& rec = session.rec;
  const auto trace = RecordingOf(o.trace, o.sweep);
  if (!trace) return Fail(trace.error());
  if (Status s = LoadSweepFiles(rec, *trace, warnings, settings.load); !s) return Fail(s.error());
  if (Status s = LoadSweep(rec, 1, settings.load, warnings); !s) return Fail(s.error());
  rec.FileNames = {"", *trace};
  rec.nFiles = 1;
  // As the read pipeline does: a firing-clamp sweep is never filtered.
  if (settings.filter.on && rec.par.FiringClampOn != 1)
    FilterVoltage(rec.traces[1], rec.dt, settings.filter, warnings);
  if (!DetectSpikes(session.spikes, rec, 1, settings.spikes))
    warnings.Warn(fmt::format("{}: no spike detection for a firing-clamp recording or one with SpikesOff = 1",
                              *trace));

  if (o.json)
    PrintJson(session.spikes, *trace);
  else if (o.csv)
    PrintCsv(session.spikes);
  else
    PrintText(session.spikes);
}

}  // namespace

void AddSpikesCommand(CLI::App& app) {
  auto options = std::make_shared<SpikesOptions>();
  auto* cmd = app.add_subcommand(
      "spikes", "Read one sweep into slot 1, filter it as the program does, detect the spikes and list them");
  cmd->add_option("trace", options->trace,
                  "trace file, e.g. cell3_trace12_Err.cc; or an ABF or ATF file (see --sweep), or one of its sweeps, "
                  "e.g. \"cell01.abf #3\"")
      ->required();
  auto* csv = cmd->add_flag("--csv", options->csv, "print CSV instead of an aligned table");
  auto* json = cmd->add_flag("--json", options->json, "print JSON instead of an aligned table");
  csv->excludes(json);
  cmd->add_option("--t0", options->load.t0, "\"Analyze since t0\", ms")->capture_default_str();
  AddSweepOption(cmd, options->sweep);
  AddChannelOptions(cmd, options->load);
  cmd->add_option("--preset", options->preset,
                  "\"Adjusted sets of parameters\": adjusted (the start-up set) or default")
      ->check(CLI::IsMember({"default", "adjusted"}))
      ->capture_default_str();
  cmd->footer(
      "Columns: k, tAP (s, peak), ISI (s; for k = 1 the latency from the stimulus start), VT (mV, threshold),\n"
      "tVT (s), Vpeak (mV), WidthAP (ms, half-width), VAHP (mV), VAHPfast (mV), Vav (mV, mean between spikes).\n"
      "tAP and tVT count from the first analysed sample (t0); ISI uses the time of the recording.");
  cmd->callback([options] { RunSpikes(*options); });
}

}  // namespace velmora::cli
