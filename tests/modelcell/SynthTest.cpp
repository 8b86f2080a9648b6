#include "modelcell/Synth.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>

#include "recording/ParameterFile.h"
#include "recording/SideFiles.h"
#include "recording/Stimulus.h"
#include "recording/TextIO.h"
#include "recording/TraceFile.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::TempDir;

// Short sweeps with a little of everything, so that a test runs in milliseconds.
SynthSettings Small(SynthProtocol protocol) {
  SynthSettings s;
  s.protocol = protocol;
  s.duration = 200;
  s.recorder.measurement = {0.1, 2, 0};
  s.steps = {-50, 250, 3, 2, 20, 180};
  s.grid.nI = 2, s.grid.nG = 2;
  s.grid.tIOn = 20, s.grid.tIOff = 180, s.grid.tGOn = 10, s.grid.tGOff = 190;
  s.waves.tStimStart = 20, s.waves.tStimEnd = 180;
  s.waves.wave.TI = 60, s.waves.wave.TG = 40;
  s.fcCalibration.I = {0, 100}, s.fcCalibration.G = {5};
  s.fcEstimation.wave.TI = 150, s.fcEstimation.wave.TG = 100;
  s.columns.nSweeps = 3, s.columns.tOn = 20, s.columns.tStimDur = 160;
  return s;
}

std::vector<std::string> Lines(const fs::path& path) {
  std::vector<std::string> lines;
  auto reader = LineReader::Open(path, ReadLimits{1 << 20, 0});
  std::string_view line;
  while (reader && reader->Next(line)) lines.emplace_back(line);
  return lines;
}

std::vector<double> Numbers(std::string_view line) {
  std::vector<double> x;
  for (std::string_view t = NextToken(line); !t.empty(); t = NextToken(line)) x.push_back(ParseReal(t).value_or(NAN));
  return x;
}

// Half a step of the int16 codes of a channel (binary), or of the last decimal (text).
double Tolerance(const std::vector<double>& v, bool binary, int decimals) {
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  return (binary ? (*hi - *lo) / 65000 / 2 : 0.5 * std::pow(10.0, -decimals)) * 1.0001 + 1e-9;
}

void ExpectChannel(const std::vector<double>& read, const std::vector<double>& written, int nLast, double tol,
                   const std::string& what) {
  ASSERT_GE(static_cast<int>(read.size()), nLast + 1) << what;
  for (int i = 0; i <= nLast; ++i)
    ASSERT_NEAR(read[i], written[i + 1], tol) << what << " sample " << i;  // the reader drops time 0
}

struct RoundTripCase {
  const char* name;
  SynthProtocol protocol;
  bool binary = false, ch4 = false, ch56 = false, lfp = false, stim = false, tables = false;
};

// Every protocol in both trace variants must load through the program's own
// readers as it was simulated: samples, step values, and a stimulus
// reconstruction from the written parameters that is the applied command.
TEST(SynthRoundTrip, EveryProtocolLoadsAsSimulated) {
  const RoundTripCase cases[] = {
      {"steps text", SynthProtocol::Steps},
      {"steps binary ch4", SynthProtocol::Steps, true, true},
      {"grid text", SynthProtocol::Grid},
      {"grid tables binary", SynthProtocol::Grid, true, false, false, false, false, true},
      {"waves binary lfp stim ch56", SynthProtocol::Waves, true, false, true, true, true},
      {"waves text lfp stim", SynthProtocol::Waves, false, true, true, true, true},
      {"fc calibration text", SynthProtocol::FcCalibration},
      {"fc estimation binary ch4", SynthProtocol::FcEstimation, true, true},
  };
  for (const RoundTripCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    SynthSettings s = Small(c.protocol);
    s.binary = c.binary, s.ch4 = c.ch4, s.ch56 = c.ch56, s.recorder.lfp.on = c.lfp, s.stimFile = c.stim;
    if (c.stim) s.recorder.stimulation.freq = 20;
    if (c.tables) s.grid.ITable = {100, -20, 250}, s.grid.GTable = {8, 0};
    CollectingSink warnings;
    const auto written = WriteSynthRecording(s, tmp.path(), warnings, true);
    ASSERT_TRUE(written) << written.error().What();
    EXPECT_EQ(warnings.size(), 0u);

    const auto list = Lines(tmp / "ListOfFiles");
    ASSERT_EQ(list.size(), 2 * written->size());
    const auto truth = nlohmann::json::parse(std::ifstream(tmp / "GroundTruth.json"));
    ASSERT_EQ(truth["sweeps"].size(), written->size());

    for (std::size_t k = 0; k < written->size(); ++k) {
      const SynthSweep& w = (*written)[k];
      const SweepResult& r = *w.result;
      SCOPED_TRACE(w.trace);
      EXPECT_EQ(list[2 * k], w.trace);
      EXPECT_EQ(list[2 * k + 1], ParameterFileName(w.trace));
      EXPECT_EQ(truth["sweeps"][k]["trace"], w.trace);
      EXPECT_EQ(truth["sweeps"][k]["spikeTimes"].size(), r.spikeTimes.size());

      Recording rec;
      CollectingSink readWarnings;
      const Status files = LoadSweepFiles(rec, tmp / w.trace, readWarnings);
      ASSERT_TRUE(files) << files.error().What();
      LoadSettings load;
      ASSERT_TRUE(LoadSweep(rec, 1, load, readWarnings));
      EXPECT_EQ(readWarnings.size(), 0u) << (readWarnings.size() ? readWarnings[0] : "");

      const RecordingParameters& par = rec.par;
      EXPECT_EQ(par.nPar, r.samples());
      EXPECT_EQ(par.dtPar, r.dt);
      EXPECT_EQ(par.FiringClampOn, w.pulses.empty() ? 0 : 1);
      const SweepSlot& slot = rec.traces[1];
      ASSERT_EQ(slot.nLast, r.samples() - 2);
      EXPECT_NEAR(rec.dt, r.dt / 1000, 1e-12);
      ExpectChannel(slot.V, r.V, slot.nLast, Tolerance(r.V, c.binary, 4), "V");
      ExpectChannel(slot.Icom, r.Icom, slot.nLast, Tolerance(r.Icom, c.binary, 3), "Icom");
      ExpectChannel(slot.Ireal, r.Ireal, slot.nLast, Tolerance(r.Ireal, c.binary, 3), "Ireal");
      if (c.ch4) ExpectChannel(rec.raw.Ch4Raw, r.Vm, slot.nLast, Tolerance(r.Vm, c.binary, 4), "Vm");
      if (c.ch56) ExpectChannel(rec.raw.Ch6Raw, r.GI, slot.nLast, Tolerance(r.GI, c.binary, 4), "GI");
      EXPECT_EQ(par.LfpPars.LfpPresent, c.lfp);
      if (c.lfp) ExpectChannel(rec.raw.LFPRaw, r.LFP, slot.nLast, Tolerance(r.LFP, c.binary, 4), "LFP");
      if (c.stim) {
        CollectingSink stimWarnings;
        const auto stim = ReadStimFile(tmp / (w.trace.substr(0, w.trace.find("_trace")) + ".stim"), stimWarnings);
        ASSERT_TRUE(stim);
        ASSERT_EQ(stim->size(), r.stimTimes.size());
        for (std::size_t j = 0; j < stim->size(); ++j) EXPECT_NEAR((*stim)[j], r.stimTimes[j] - r.dt, 1e-9);
      }
      if (w.Istep) {
        EXPECT_EQ(rec.Ifile[1], *w.Istep);
      }
      if (w.Gstep) {
        EXPECT_EQ(rec.Gfile[1], *w.Gstep);
      }
      if (!w.pulses.empty()) {
        const MeanderSettings& m = c.protocol == SynthProtocol::FcCalibration ? s.fcCalibration.meander
                                                                              : s.fcEstimation.meander;
        EXPECT_EQ(par.FCPars.nPeriod, MeanderPeriodSamples(m, s.recorder.dt));
        EXPECT_EQ(par.FCPars.Vswitch, m.Vswitch);
        EXPECT_EQ(par.FCPars.Tpulse, m.Tpulse);
      }
      for (int j = 0; j < r.samples(); ++j) {
        const Stimulus st = StimulusAt(par, rec.FileNo, j * r.dt);
        ASSERT_NEAR(st.Icom, r.I[j], 1e-9) << "sample " << j;
        ASSERT_NEAR(st.Gcom, r.G[j], 1e-9) << "sample " << j;
        ASSERT_NEAR(st.gNMDAcom, r.gNMDA[j], 1e-9) << "sample " << j;
      }
    }
  }
}

std::map<std::string, std::string> DirectoryContents(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::ifstream in(e.path(), std::ios::binary);
    files[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

// Tests and examples compare against files written earlier: a seed must
// always give the same bytes, and another seed other noise.
TEST(SynthRecording, SameSeedGivesIdenticalFiles) {
  TempDir tmp;
  SynthSettings s = Small(SynthProtocol::FcEstimation);
  s.recorder.lfp.on = true, s.recorder.stimulation.freq = 10, s.stimFile = true;
  s.seed = 7;
  NullSink warnings;
  for (const char* dir : {"a", "b"})
    for (const bool binary : {false, true}) {
      s.binary = binary;
      ASSERT_TRUE(WriteSynthRecording(s, tmp / dir / (binary ? "bin" : "text"), warnings));
    }
  s.seed = 8;
  ASSERT_TRUE(WriteSynthRecording(s, tmp / "c", warnings));

  for (const char* variant : {"text", "bin"}) {
    const auto a = DirectoryContents(tmp / "a" / variant), b = DirectoryContents(tmp / "b" / variant);
    ASSERT_EQ(a.size(), b.size()) << variant;
    for (const auto& [name, content] : a) EXPECT_TRUE(content == b.at(name)) << variant << ": " << name;
  }
  const auto a = DirectoryContents(tmp / "a" / "bin"), c = DirectoryContents(tmp / "c");
  EXPECT_FALSE(a.at("fcestimation01_trace1_Err.FC_b") == c.at("fcestimation01_trace1_Err.FC_b"));
  EXPECT_TRUE(a.at("fcestimation01.par") == c.at("fcestimation01.par"));
}

// The column formats describe sweeps by a header, not by a protocol: the
// header's G and I of each sweep, computed as the program does, must be the
// ones the model cell was clamped with, and every column must hold its sweep.
TEST(SynthColumns, HeadersGiveEachSweepItsClamp) {
  for (const SynthProtocol protocol : {SynthProtocol::OldColumns, SynthProtocol::NewColumns}) {
    const bool old = protocol == SynthProtocol::OldColumns;
    SCOPED_TRACE(ProtocolName(protocol));
    TempDir tmp;
    const fs::path dir = tmp / (old ? "cell_gst" : "cell.gs1");
    CollectingSink warnings;
    const auto written = WriteSynthRecording(Small(protocol), dir, warnings, true);
    ASSERT_TRUE(written) << written.error().What();
    EXPECT_EQ(warnings.size(), 0u);
    const int nSweeps = static_cast<int>(written->size());

    const auto V = Lines(dir / (old ? "cell_gst_voltage.txt" : "voltage.txt"));
    const auto I = Lines(dir / (old ? "cell_gst_current.txt" : "current.txt"));
    const SweepResult& first = *(*written)[0].result;
    ASSERT_EQ(static_cast<int>(V.size()), first.samples());
    ASSERT_EQ(I.size(), V.size());
    for (std::size_t j = 0; j < V.size(); j += 97) {
      const auto v = Numbers(V[j]), i = Numbers(I[j]);
      ASSERT_EQ(static_cast<int>(v.size()), nSweeps) << "line " << j;
      for (int k = 0; k < nSweeps; ++k) {
        EXPECT_NEAR(v[k], (*written)[k].result->V[j], 5.1e-5) << "line " << j;
        EXPECT_NEAR(i[k], (*written)[k].result->Ireal[j], 5.1e-4) << "line " << j;
      }
    }

    // Header values as the readers take them.
    double G1, dG, tOn, tDur, rate, I1, dI, Gain = 1, Vref = 0, gBase = 0, Erev = 0, gStep = 0;
    std::vector<double> gSeq(nSweeps, 0.0);
    if (old) {
      const auto h = Lines(dir / "cell_gst_header.txt");
      ASSERT_EQ(h.size(), 13u);
      const auto at = [&](int line) { return Numbers(h[line - 1]).at(0); };
      G1 = at(3), dG = at(4), tOn = at(5), tDur = at(6), rate = at(8), I1 = at(9), dI = at(10);
    } else {
      auto h = Lines(dir / "parameters.txt");
      std::vector<double> x;
      for (std::size_t l = 1; l < h.size(); ++l)
        for (const double n : Numbers(h[l])) x.push_back(n);
      ASSERT_EQ(x.size(), 22u);
      EXPECT_EQ(x[0], nSweeps);
      G1 = x[1], dG = x[2], tOn = x[3], tDur = x[4], rate = x[6], I1 = x[7], dI = x[8];
      Gain = x[17], Vref = x[18], gBase = x[19], Erev = x[20], gStep = x[21];
      const auto seq = Lines(dir / "GE_sequence.txt");
      ASSERT_EQ(static_cast<int>(seq.size()), nSweeps);
      for (int k = 0; k < nSweeps; ++k) gSeq[k] = Numbers(seq[k]).at(1);
    }
    EXPECT_EQ(rate, 1000 / Small(protocol).recorder.dt);
    for (int k = 1; k <= nSweeps; ++k) {
      const SynthSweep& w = (*written)[k - 1];
      const double g = gSeq[k - 1] != 0 ? gSeq[k - 1] : k * gStep;
      const double G = (k - 1) * dG + G1 + (gBase + g) * Gain;
      const double Icl = ((k - 1) * dI + I1 + (Erev - Vref) * g * Gain) / Gain;
      EXPECT_NEAR(G, *w.Gstep, 1e-9) << "sweep " << k;
      EXPECT_NEAR(Icl, *w.Istep, 1e-9) << "sweep " << k;
      const SweepResult& r = *w.result;
      const int inside = static_cast<int>((tOn + tDur / 2) / r.dt), outside = static_cast<int>((tOn + tDur + 1) / r.dt);
      EXPECT_EQ(r.G[inside], *w.Gstep) << "sweep " << k;
      EXPECT_EQ(r.I[inside], *w.Istep) << "sweep " << k;
      EXPECT_EQ(r.G[outside], 0) << "sweep " << k;
    }
  }
}

// A fault in the settings must be refused before anything is written, saying which.
TEST(SynthSettings, FaultsAreRefusedWithTheirReason) {
  struct Case {
    const char* name;
    void (*change)(SynthSettings&);
    const char* message;
  };
  const Case cases[] = {
      {"name with trace", [](SynthSettings& s) { s.name = "mytrace"; }, "\"trace\""},
      {"name with kind", [](SynthSettings& s) { s.name = "a.us"; }, "\".us\""},
      {"no step", [](SynthSettings& s) { s.recorder.dt = 0; }, "sampling step"},
      {"pulse as long as a period",
       [](SynthSettings& s) { s.protocol = SynthProtocol::FcCalibration, s.fcCalibration.meander.Tpulse = 50; },
       "positive pulse"},
      {"kind 7", [](SynthSettings& s) { s.protocol = SynthProtocol::Waves, s.waves.kinds = {7}; }, "kind 7"},
      {"sine without period",
       [](SynthSettings& s) { s.protocol = SynthProtocol::Waves, s.waves.kinds = {1}, s.waves.wave.TI = 0; },
       "TI > 0"},
      {"one table", [](SynthSettings& s) { s.protocol = SynthProtocol::Grid, s.grid.ITable = {1}; }, "both tables"},
      {"51 columns",
       [](SynthSettings& s) { s.protocol = SynthProtocol::NewColumns, s.columns.nSweeps = 51; }, "1 to 50"},
      {"too long for the column reader",
       [](SynthSettings& s) { s.protocol = SynthProtocol::OldColumns, s.duration = 50000; }, "at most 900001"},
  };
  for (const Case& c : cases) {
    SynthSettings s;
    c.change(s);
    TempDir tmp;
    NullSink warnings;
    const auto written = WriteSynthRecording(s, tmp / "out", warnings);
    ASSERT_FALSE(written) << c.name;
    EXPECT_THAT(written.error().What(), HasSubstr(c.message)) << c.name;
    EXPECT_FALSE(fs::exists(tmp / "out")) << c.name;
  }
}

}  // namespace
}  // namespace velmora
