// Loaded sweeps are read from their files once per action: a read-and-draw,
// an F-I run and the firing-clamp driver restore what the load kept. The
// references below read every sweep alone into a fresh session, through the
// file reader, so that they share nothing with what is kept.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "actions/FiRun.h"
#include "actions/FiringClampRun.h"
#include "actions/ReadAndDraw.h"
#include "modelcell/Synth.h"
#include "recording/TraceFile.h"
#include "spikes/ResultFiles.h"
#include "support/ListedData.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::AllListed;
using testing::ListedSession;
using testing::ResultFileTexts;
using testing::TempDir;

// Written once: every test reads them only.
class ReadOnce : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data_ = new TempDir;
    NullSink warnings;
    const auto write = [&](const char* dir, const std::function<void(SynthSettings&)>& set) {
      SynthSettings s;
      set(s);
      ASSERT_TRUE(WriteSynthRecording(s, data_->path() / dir, warnings)) << dir;
    };
    for (bool binary : {false, true})
      write(binary ? "steps_b" : "steps", [&](SynthSettings& s) {
        s.protocol = SynthProtocol::Steps;
        s.binary = binary;
        s.duration = 600;  // ms
        s.steps.nSteps = 4;
        s.steps.Ifirst = 0, s.steps.Ilast = 450;
        s.steps.tStimStart = 100, s.steps.tStimEnd = 500;
      });
    write("waves", [](SynthSettings& s) {  // binary with an LFP channel, channels 5 and 6
      s.protocol = SynthProtocol::Waves;
      s.binary = true;
      s.duration = 800;
      s.waves.kinds = {0, 1, 3};
      s.waves.tStimStart = 100, s.waves.tStimEnd = 700;
      s.recorder.lfp.on = true;
      s.ch56 = true;
    });
    write("columns", [](SynthSettings& s) {
      s.protocol = SynthProtocol::NewColumns;
      s.duration = 600;
    });
    write("fc", [](SynthSettings& s) {
      s.protocol = SynthProtocol::FcCalibration;
      s.duration = 1000;
      s.fcCalibration.I = {-60, 40};
      s.fcCalibration.G = {2, 8};
    });
    write("fc_wave", [](SynthSettings& s) {  // waveform kind 3, where the calibration has 0
      s.protocol = SynthProtocol::FcEstimation;
      s.duration = 1000;
    });
  }
  static void TearDownTestSuite() {
    delete data_;
    data_ = nullptr;
  }

  static fs::path Data(const char* dir) { return data_->path() / dir; }

  static TempDir* data_;
};

TempDir* ReadOnce::data_ = nullptr;

// Each listed sweep alone in a fresh session, read by the file reader at
// the run's only read of it, its records appended after the sweep before.
std::vector<std::string> FiOfEachSweepAlone(const Session& listed, const Settings& settings, const fs::path& out) {
  for (std::size_t i = 0; i < listed.listed.size(); ++i) {
    Session alone;
    alone.rec.FileNames = {"", (listed.dataDir / listed.listed[i].trace).string()};
    alone.rec.nFiles = 1;
    Settings s = settings;
    s.fi.AppendOutput = i > 0;
    NullSink warnings;
    auto run = FICurves(alone, s, out, warnings);
    EXPECT_TRUE(run && run->stopped.empty() && run->sweeps.size() == 1) << listed.listed[i].trace;
  }
  return ResultFileTexts(out);
}

// The kept state must be what reading the files again gives, or the result
// files would change with the path that led to them.
TEST_F(ReadOnce, FiResultFilesEqualThoseOfEachSweepReadAlone) {
  struct Case {
    const char* dir;
    bool filter;
    double t0;  // ms
  };
  const Case cases[] = {{"steps", true, 0},      {"steps", false, 0},      {"steps", true, 37.5},
                        {"steps", false, 37.5},  {"steps_b", true, 0},     {"steps_b", false, 0},
                        {"steps_b", true, 37.5}, {"steps_b", false, 37.5}};
  for (const Case& c : cases) {
    const std::string what = fmt::format("{}, filter {}, t0 {} ms", c.dir, c.filter, c.t0);
    Settings settings = StartupSettings();
    settings.filter.on = c.filter;
    settings.load.t0 = c.t0;
    settings.fi.AppendOutput = false;
    TempDir out;
    for (const char* d : {"reference", "cli", "app", "again"}) fs::create_directories(out / d);
    const Session listed = ListedSession(Data(c.dir));
    const std::vector<std::string> reference = FiOfEachSweepAlone(listed, settings, out / "reference");
    ASSERT_GT(std::count(reference[4].begin(), reference[4].end(), '\n'), 5) << what << ": the sweeps must fire";

    // velmora-cli fi: load the selection, then the run.
    Session cli = listed;
    Settings s = settings;
    NullSink warnings;
    auto run = FICurvesOfSelection(cli, s, AllListed(cli), out / "cli", warnings);
    ASSERT_TRUE(run && run->stopped.empty()) << what;

    // The window: a click in the list loads and draws sweep 1, another
    // sweep is picked, then "F_I_curves" twice, the second time over
    // voltages filtered already.
    Session app = listed;
    s = settings;
    ASSERT_TRUE(LoadSelectedSweeps(app, s, AllListed(app), warnings)) << what;
    s.Smpl = 3;
    ASSERT_TRUE(ReadAndDraw(app, static_cast<int>(s.Smpl), s, warnings)) << what;
    ASSERT_TRUE(FICurves(app, s, out / "app", warnings)) << what;
    ASSERT_TRUE(FICurves(app, s, out / "again", warnings)) << what;

    for (const char* d : {"cli", "app", "again"}) {
      const std::vector<std::string> got = ResultFileTexts(out / d);
      for (int f = 0; f < kResultFiles; ++f)
        EXPECT_EQ(got[f], reference[f]) << what << ", " << d << ": " << kResultFileNames[f];
    }
  }
}

// What a read-and-draw leaves for the steps and analyses after it; the step
// values after the meander pass has corrected them.
auto SweepState(const Session& s, int j) {
  const Recording& r = s.rec;
  const RecordingParameters& p = r.par;
  const SweepSlot& slot = r.traces[j];
  return std::tuple(p.stored, p.Duration, p.dtPar, p.ClampWave.WaveKind, p.FCPars.nPeriod, p.LfpPars.LfpPresent,
                    r.dt, r.t0, r.FileNo, r.tOn, r.tOff, r.Vref, r.Gain, r.Ifile[j], r.Gfile[j], r.currentFile,
                    slot.nLast, slot.V, slot.Ireal, slot.Icom, s.FC.slot, s.FC.V, s.FC.I, s.spikes.nSpikes,
                    s.spikes.tAP, s.spikes.VT, s.spikes.Vav);
}

// Every point of the voltage, current and LFP charts.
std::vector<std::vector<ChartPoint>> Drawn(const Session& s) {
  std::vector<std::vector<ChartPoint>> points;
  for (const Chart* chart : {&s.charts.voltage, &s.charts.current, &s.charts.lfp})
    for (const Series& series : chart->series) points.push_back(series.points);
  return points;
}

// A sweep drawn again must look and measure as when its files are read
// again: parameters, step values, LFP, firing-clamp record and spikes.
TEST_F(ReadOnce, RedrawnSweepEqualsItsFilesReadAgain) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, int>> sweeps;  // directory, entry of its list
    double t0;                                        // ms
    LostParameters lost;
    double G1 = 0;  // nS: the meander pass corrects the step values through the electrode
  };
  const Case cases[] = {
      {"waves with LFP", {{"waves", 0}, {"waves", 1}, {"waves", 2}}, 0, LostParameters::ISinGConst},
      {"steps after t0, Ireal absent", {{"steps", 0}, {"steps", 2}, {"steps", 3}}, 120, LostParameters::IrealAbsent},
      // The estimation sweep reconciles "Lost parameters" with its kind 3;
      // the calibration sweeps read after it must be reconciled as their load was.
      {"firing clamp of two kinds", {{"fc", 0}, {"fc_wave", 0}, {"fc", 3}}, 30, LostParameters::ISinGConst, 40},
  };
  for (const Case& c : cases) {
    Session kept;
    kept.dataDir = data_->path();
    for (const auto& [dir, entry] : c.sweeps)
      kept.listed.push_back({(fs::path(dir) / ListedSession(Data(dir)).listed.at(entry).trace).string(), ""});
    Session reread = kept;
    Settings sk = StartupSettings(), sr = StartupSettings();
    for (Settings* s : {&sk, &sr})
      s->load.t0 = c.t0, s->load.lost = c.lost;
    for (Settings* s : {&sk, &sr})
      if (c.G1 != 0) s->compensation.G1 = c.G1, s->compensation.mode = CompensationMode::UseIreal;
    NullSink warnings;
    const ShownWindows lfp{.lfp = true};
    ASSERT_TRUE(LoadSelectedSweeps(kept, sk, AllListed(kept), warnings, lfp)) << c.name;
    ASSERT_TRUE(LoadSelectedSweeps(reread, sr, AllListed(reread), warnings, lfp)) << c.name;
    const long parsedBefore = kept.rec.raw.tracesParsed, rereadBefore = reread.rec.raw.tracesParsed;
    for (int j : {2, 1, 3, 2}) {
      sk.Smpl = sr.Smpl = j;
      reread.rec.traces[j].reading.reset();  // as before: the files are read again
      ASSERT_TRUE(ReadAndDraw(kept, static_cast<int>(sk.Smpl), sk, warnings, lfp)) << c.name;
      ASSERT_TRUE(ReadAndDraw(reread, static_cast<int>(sr.Smpl), sr, warnings, lfp)) << c.name;
      EXPECT_TRUE(SweepState(kept, j) == SweepState(reread, j)) << c.name << ", sweep " << j;
      EXPECT_TRUE(Drawn(kept) == Drawn(reread)) << c.name << ", sweep " << j;
      EXPECT_EQ(sk.load.lost, sr.load.lost) << c.name << ", sweep " << j;
    }
    EXPECT_EQ(kept.rec.raw.tracesParsed, parsedBefore) << c.name;
    EXPECT_EQ(reread.rec.raw.tracesParsed, rereadBefore + 4) << c.name;
  }
}

// Loading with the files read twice or three times cost an F-I run twice
// the reading time; every action reads each trace at most once.
TEST_F(ReadOnce, EachActionParsesEveryTraceAtMostOnce) {
  Session session = ListedSession(Data("steps"));
  Settings settings = StartupSettings();
  NullSink warnings;
  const int n = static_cast<int>(session.listed.size());
  const long& parsed = session.rec.raw.tracesParsed;
  const auto parses = [&](const std::function<void()>& action) {
    const long before = parsed;
    action();
    return parsed - before;
  };
  TempDir out;

  EXPECT_EQ(parses([&] { ASSERT_TRUE(LoadSelectedSweeps(session, settings, AllListed(session), warnings)); }), n);
  EXPECT_EQ(parses([&] { ASSERT_TRUE(FICurves(session, settings, out.path(), warnings)); }), 0);
  settings.Smpl = 2;
  EXPECT_EQ(parses([&] { ASSERT_TRUE(ReadAndDraw(session, static_cast<int>(settings.Smpl), settings, warnings)); }), 0);
  // A voltage filtered with another time constant, or samples cut at
  // another t0, must be read again, once.
  settings.filter.tauF = 0.2;
  EXPECT_EQ(parses([&] { ASSERT_TRUE(ReadAndDraw(session, static_cast<int>(settings.Smpl), settings, warnings)); }), 1);
  settings.load.t0 = 50;
  EXPECT_EQ(parses([&] { ASSERT_TRUE(ReadAndDraw(session, static_cast<int>(settings.Smpl), settings, warnings)); }), 1);
  settings.load.lost = LostParameters::IrealAbsent;
  EXPECT_EQ(parses([&] { ASSERT_TRUE(ReadAndDraw(session, static_cast<int>(settings.Smpl), settings, warnings)); }), 1);
  EXPECT_EQ(session.rec.traces[2].Ireal, session.rec.traces[2].Icom);
  EXPECT_EQ(parses([&] { ASSERT_TRUE(FICurves(session, settings, out.path(), warnings)); }), n - 1);

  // velmora-cli fi: each sweep read once and drawn (and its spikes
  // detected) once; aligned charts say "Read extracellular stimuli" at each
  // read-and-draw, which finds the stimuli and writes ".stim" beside a copy.
  TempDir copy;
  fs::copy(Data("steps"), copy.path(), fs::copy_options::recursive);
  Session cli = ListedSession(copy.path());
  Settings s = StartupSettings();
  s.draw.alignCurrent = true;
  CollectingSink said;
  // The results go into the data directory, the only place the run may
  // write the ".stim" files into.
  ASSERT_TRUE(FICurvesOfSelection(cli, s, AllListed(cli), copy.path(), said));
  EXPECT_EQ(cli.rec.raw.tracesParsed, n);
  EXPECT_EQ(std::count(said.statuses.begin(), said.statuses.end(), "Read extracellular stimuli"), n);
}

// The format selector may read column files into the loaded slots; a slot
// so overwritten no longer holds its trace, whatever its file name says.
TEST_F(ReadOnce, SlotOverwrittenByAColumnFileIsReadAgain) {
  Session session = ListedSession(Data("steps"));
  Settings settings = StartupSettings();
  NullSink warnings;
  ASSERT_TRUE(LoadSelectedSweeps(session, settings, AllListed(session), warnings));
  const std::vector<double> V = session.rec.traces[1].V;

  const fs::path columns = Data("columns");
  session.files = {(columns / "voltage.txt").string(), (columns / "current.txt").string(),
                   (columns / "parameters.txt").string(), (columns / "GE_sequence.txt").string(), columns.string()};
  settings.format = FileFormat::NewVarnel;
  ASSERT_TRUE(ReadAndDraw(session, static_cast<int>(settings.Smpl), settings, warnings));
  ASSERT_NE(session.rec.traces[1].V, V);

  settings.format = FileFormat::Main;
  const long before = session.rec.raw.tracesParsed;
  ASSERT_TRUE(ReadAndDraw(session, static_cast<int>(settings.Smpl), settings, warnings));
  EXPECT_EQ(session.rec.raw.tracesParsed, before + 1);
  EXPECT_EQ(session.rec.traces[1].V, V);
}

// The driver analyses only firing-clamp sweeps on the firing-clamp pages;
// reading the others before deciding to skip them doubled a list click.
TEST_F(ReadOnce, DriverReadsEachRecordingOnceAndSkippedOnesNotAgain) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, int>> sweeps;  // directory, entry of its list
    MainPage page;
    int analysed;
    int iFile;  // the sweep read last
  };
  const Case cases[] = {
      {"calibration grid", {{"fc", 0}, {"fc", 1}, {"fc", 2}, {"fc", 3}}, MainPage::FiringClamp, 4, 4},
      {"steps", {{"steps", 0}, {"steps", 1}, {"steps", 2}}, MainPage::Plots, 0, 1},
      {"calibration on Options", {{"fc", 0}, {"fc", 1}}, MainPage::Options, 0, 1},
      {"steps after a firing-clamp sweep", {{"fc", 0}, {"steps", 0}, {"steps", 1}}, MainPage::FiringClamp, 1, 1},
  };
  for (const Case& c : cases) {
    Session session;
    session.dataDir = data_->path();
    for (const auto& [dir, entry] : c.sweeps)
      session.listed.push_back({(fs::path(dir) / ListedSession(Data(dir)).listed.at(entry).trace).string(), ""});
    Settings settings = StartupSettings();
    settings.fc.approximate = false;
    NullSink warnings;
    auto run = FiringClampDriver(session, settings, AllListed(session), warnings, c.page);
    ASSERT_TRUE(run) << c.name << ": " << run.error().What();
    EXPECT_EQ(std::count_if(run->files.begin(), run->files.end(), [](const auto& f) { return f.analysed; }),
              c.analysed)
        << c.name;
    EXPECT_EQ(session.rec.raw.tracesParsed, static_cast<long>(session.listed.size())) << c.name;
    EXPECT_EQ(session.rec.iFile, c.iFile) << c.name;
    EXPECT_EQ(session.rec.currentFile, session.rec.FileNames[c.iFile]) << c.name;
  }
}

// The calibration file gathers every recording's pulses; a recording
// analysed from what another left behind would write that one's pulses.
TEST_F(ReadOnce, CalibrationPulsesEqualThoseOfEachRecordingAlone) {
  TempDir out;
  fs::copy(Data("fc"), out.path(), fs::copy_options::recursive);
  const Session listed = ListedSession(out.path());
  Settings settings = StartupSettings();
  settings.fc.FlawThreshold = 50;  // mV: the model's spikes rise up to 33 mV in one sample
  settings.fc.approximate = false;
  settings.fc.writeInFile = true;
  NullSink warnings;
  std::vector<int> pulses;
  for (std::size_t i = 0; i < listed.listed.size(); ++i) {
    Session alone = listed;
    alone.listed = {listed.listed[i]};
    Settings s = settings;
    auto run = FiringClampDriver(alone, s, {0}, warnings, MainPage::FiringClamp);
    ASSERT_TRUE(run && run->files.size() == 1) << listed.listed[i].trace;
    pulses.push_back(run->files[0].nPulses);
  }
  const std::string reference = out.Read(kCalibrationFileName);
  fs::remove(out / kCalibrationFileName);

  Session all = listed;
  auto run = FiringClampDriver(all, settings, AllListed(all), warnings, MainPage::FiringClamp);
  ASSERT_TRUE(run);
  ASSERT_EQ(run->files.size(), pulses.size());
  for (std::size_t i = 0; i < pulses.size(); ++i) EXPECT_EQ(run->files[i].nPulses, pulses[i]) << "file " << i + 1;
  EXPECT_GT(pulses[0], 0);
  EXPECT_EQ(out.Read(kCalibrationFileName), reference);
}

}  // namespace
}  // namespace velmora
