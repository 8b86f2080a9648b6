#include "cli/AnalysesCommands.h"

#include <fmt/format.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "analyses/ExtracelStim.h"
#include "analyses/Splitting.h"
#include "actions/StatisticsRun.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "recording/Filter.h"
#include "recording/ParameterFile.h"
#include "recording/TextIO.h"
#include "session/Settings.h"
#include "actions/ReadAndDraw.h"

namespace velmora::cli {

namespace {

namespace fs = std::filesystem;

// How every command reads its recordings: as the program after start-up.
struct ReadOptions {
  double t0 = 0;  // ms
  bool noFilter = false;
};

void AddReadOptions(CLI::App* cmd, ReadOptions& o) {
  cmd->add_option("--t0", o.t0, "\"Analyze since t0\", ms")->capture_default_str();
  cmd->add_flag("--no-filter", o.noFilter, "leave the voltage unfiltered (the \"Filter\" box unticked)");
}

Settings StartSettings(const ReadOptions& o) {
  Settings settings = StartupSettings();
  settings.load.t0 = o.t0;
  if (o.noFilter) settings.filter.on = false;
  return settings;
}

// Reads the recording of `trace` into `slot` and filters it as a
// read-and-draw does.
Status ReadInto(Session& session, Settings& settings, const std::string& trace, int slot, WarningSink& warnings) {
  Recording& rec = session.rec;
  if (static_cast<int>(rec.FileNames.size()) <= slot) rec.FileNames.resize(slot + 1);
  rec.FileNames[slot] = trace;
  rec.nFiles = std::max(rec.nFiles, slot);
  rec.iFile = slot;
  return ReadSweep(session, slot, settings, warnings);
}

// The pass reports its time as it goes; on a terminal that is noise.
class QuietSink : public StderrSink {
 public:
  void Status(std::string_view) override {}
};

std::string Trim(const std::string& s) { return s.substr(std::min(s.find_first_not_of(' '), s.size())); }

Status WriteCsv(const std::string& path, const char* header, const Chart& chart, const char* series) {
  std::string out = std::string(header) + "\r\n";
  for (const ChartPoint& p : FindSeries(chart, series)->points) out += fmt::format("{},{}\r\n", p.x, p.y);
  return WriteFileAtomically(path, out);
}

// ---- stats

struct StatsOptions {
  std::string trace;
  ReadOptions read;
  std::optional<double> from, to;  // ms
  StatisticsSettings s;
  std::string histogramCsv, correlationCsv;
};

void RunStats(StatsOptions& o) {
  Session session;
  Settings settings = StartSettings(o.read);
  QuietSink warnings;
  if (Status s = ReadInto(session, settings, o.trace, 1, warnings); !s) return Fail(s.error());
  Recording& rec = session.rec;
  if (o.from) rec.tOn = *o.from;
  if (o.to) rec.tOff = *o.to;
  StatisticsWindow window;
  std::optional<double> tau;  // s, as of the window's last redraw, like its text
  const StatisticsState st =
      AnalyzeStatistics(session, 1, o.s, window, warnings, [&](const StatisticsState& now) {
        if (const auto t = StatisticsTau(now)) tau = t;
      });
  std::cout << fmt::format("samples    {}\n", st.StatCount > 0 ? st.iSample + 1 : 0);
  for (const std::string& text : {window.meanText, window.dispersionText, window.tauText})
    std::cout << Trim(text) << '\n';
  std::cout << "tau, ms    " << (tau ? fmt::format("{:.3f}", *tau * 1000) : "-") << '\n';
  if (!o.histogramCsv.empty())
    if (Status s = WriteCsv(o.histogramCsv, "V_mV,fraction", window.histogram, "Histogram"); !s)
      return Fail(s.error());
  if (!o.correlationCsv.empty())
    if (Status s = WriteCsv(o.correlationCsv, "lag_ms,correlation", window.correlation, "Correlation"); !s)
      return Fail(s.error());
}

void AddStats(CLI::App& app) {
  auto o = std::make_shared<StatsOptions>();
  auto* cmd = app.add_subcommand(
      "stats", "Mean, dispersion, histogram and correlation function of the voltage inside the stimulation window");
  cmd->add_option("trace", o->trace, "trace file")->required();
  AddReadOptions(cmd, o->read);
  cmd->add_option("--from", o->from, "start of the window, ms (default: the sweep's tOn)");
  cmd->add_option("--to", o->to, "end of the window, ms (default: the sweep's tOff)");
  cmd->add_option("--nt-corr", o->s.nt_corr, "largest lag, samples")
      ->check(CLI::Range(0.0, double{kMaxCorrLags}))
      ->capture_default_str();
  // Each bin is a bar of the chart: more than the screen has pixels is no histogram.
  cmd->add_option("--bins", o->s.n, "\"n_intervals\"")->check(CLI::Range(1, 10000))->capture_default_str();
  cmd->add_option("--min", o->s.lower, "histogram lower limit, mV")->capture_default_str();
  cmd->add_option("--max", o->s.upper, "histogram upper limit, mV")->capture_default_str();
  cmd->add_option("--n-draw", o->s.StatDrawStep, "\"n_Draw\": the result is the window's last redraw, "
                                                 "every 10 * n-draw samples")
      ->check(CLI::Range(1, 1000000))
      ->capture_default_str();
  cmd->add_option("--histogram-csv", o->histogramCsv, "write the histogram bars (V_mV,fraction)");
  cmd->add_option("--correlation-csv", o->correlationCsv, "write the correlation function (lag_ms,correlation)");
  cmd->footer("tau is printed as the window shows it (s, 2 decimals) and again in ms.");
  cmd->callback([o] { RunStats(*o); });
}

// ---- split

struct SplitOptions {
  std::string zero, current, out;
  std::optional<double> Vconst, GL;
  ReadOptions read;
  SplitSettings s;
  std::optional<int> skip;
};

void RunSplit(SplitOptions& o) {
  Session session;
  Settings settings = StartSettings(o.read);
  StderrSink warnings;
  Recording& rec = session.rec;
  MarkedTraces marked;
  if (Status s = ReadInto(session, settings, o.zero, 1, warnings); !s) return Fail(s.error());
  o.s.GL = MarkTraceAtZeroCurrent(marked, rec, 1);
  const double dt = rec.dt;
  if (o.Vconst) {
    o.s.Vconst = *o.Vconst;
    SetConstantVoltage(marked, o.s);
  } else {
    if (Status s = ReadInto(session, settings, o.current, 2, warnings); !s) return Fail(s.error());
    if (rec.dt != dt)
      warnings.Warn(fmt::format("{} is sampled every {} s, {} every {} s; the first one's step is used", o.zero,
                                dt, o.current, rec.dt));
    MarkTraceAtCurrent(marked, rec, 2);
  }
  if (o.GL) o.s.GL = *o.GL;
  SmoothMarkedTraces(marked, o.s);
  const int plotStep = o.skip ? *o.skip : static_cast<int>(settings.Skip);
  SplitCharts charts;
  DrawMarkedTraces(marked, o.s, dt, plotStep, charts.voltage);
  const fs::path dir = !o.out.empty() ? fs::path(o.out) : fs::path(o.Vconst ? o.zero : o.current).parent_path();
  const auto split = SplitFromTwoTraces(marked, o.s, dt, plotStep, charts, dir.empty() ? fs::path(".") : dir);
  if (!split) return Fail(split.error());
  if (*split == 0) return Fail(Error{"", 0, "", "the two traces do not overlap at this time shift; nothing written"});
  std::cout << fmt::format("{} samples split, GL = {} nS; wrote {}\n", *split, o.s.GL,
                           (dir / "Varnel_GE_GI.dat").string());
}

void AddSplit(CLI::App& app) {
  auto o = std::make_shared<SplitOptions>();
  auto* cmd = app.add_subcommand("split", "Split the synaptic conductance into GE and GI from two traces; "
                                          "writes \"Varnel_GE_GI.dat\"");
  cmd->add_option("--zero", o->zero, "trace recorded at zero current")->required();
  auto* current = cmd->add_option("--current", o->current, "trace recorded at the current --i2");
  auto* vconst = cmd->add_option("--vconst", o->Vconst, "a constant voltage as the second trace, mV");
  current->excludes(vconst);
  cmd->add_option("--i2", o->s.I2, "current of the second trace, pA")->required();
  cmd->add_option("--ve", o->s.VE, "reversal potential of GE, mV")->capture_default_str();
  cmd->add_option("--vi", o->s.VI, "reversal potential of GI, mV")->capture_default_str();
  cmd->add_option("--shift", o->s.timeShift, "time shift of the second trace, ms")->capture_default_str();
  cmd->add_option("--weight", o->s.filterWeight, "\"Filter weight\"")->capture_default_str();
  cmd->add_option("--iterations", o->s.Iterations, "smoothing passes")
      ->check(CLI::Range(0.0, double{kMaxFilterIterations}))
      ->capture_default_str();
  cmd->add_option("--ra", o->s.Ra, "access resistance, MOhm")->capture_default_str();
  cmd->add_option("--gl", o->GL, "leak conductance, nS (default: the CmdScale of the zero-current "
                                 "recording, which marking it copies)");
  cmd->add_option("--vl", o->s.VL, "leak reversal potential, mV")->capture_default_str();
  cmd->add_option("--skip", o->skip, "plotting step, samples (default: \"Skip\", 30)")
      ->check(CLI::Range(1, kMaxSweepSamples));
  cmd->add_option("--out", o->out, "directory of the result (default: that of the second trace)");
  AddReadOptions(cmd, o->read);
  cmd->callback([o] {
    if (o->current.empty() && !o->Vconst)
      return Fail(Error{"", 0, "", "give the second trace: --current TRACE or --vconst MV"});
    RunSplit(*o);
  });
}

// ---- stim

struct StimOptions {
  std::string trace;
  ReadOptions read;
  StimSettings s;
};

void RunStim(StimOptions& o) {
  Session session;
  Settings settings = StartSettings(o.read);
  StderrSink warnings;
  if (Status s = ReadInto(session, settings, o.trace, 1, warnings); !s) return Fail(s.error());
  const fs::path stimFile = RecordingBaseName(o.trace) + ".stim";
  if (Status s = FindStimulationArtifacts(session.rec, 1, o.s, session.StimTimes, session.charts.stimulus, stimFile,
                                          warnings);
      !s)
    return Fail(s.error());
  std::cerr << fmt::format("{} stimuli; wrote {}\n", session.StimTimes.size(), stimFile.string());
  for (const double t : session.StimTimes) std::cout << Fixed(t, 9, 3) << '\n';
}

void AddStim(CLI::App& app) {
  auto o = std::make_shared<StimOptions>();
  auto* cmd = app.add_subcommand("stim", "Find the extracellular stimulation artefacts on Ireal, write "
                                         "\"<base>.stim\" and print the stimulus times, ms");
  cmd->add_option("trace", o->trace, "trace file")->required();
  cmd->add_option("--frequency", o->s.frequency, "nominal stimulation frequency, Hz")->capture_default_str();
  cmd->add_option("--limit", o->s.ddI_limit, "starting \"ddI_limit\" of the threshold search")->capture_default_str();
  AddReadOptions(cmd, o->read);
  cmd->callback([o] { RunStim(*o); });
}

}  // namespace

void AddAnalysesCommands(CLI::App& app) {
  AddStats(app);
  AddSplit(app);
  AddStim(app);
}

}  // namespace velmora::cli
