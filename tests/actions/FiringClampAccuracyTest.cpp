// How well the firing-clamp method recovers I(t) and G(t) on the model cell:
// a calibration grid of constant (I, G) sweeps is analysed into the
// calibration file, the surfaces or regressions are fitted, and a recording
// whose I and G vary slowly is estimated pulse by pulse and compared with
// what the simulated clamp applied.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <vector>

#include "actions/FiringClampRun.h"
#include "modelcell/Synth.h"
#include "recording/ListOfFiles.h"
#include "support/PulseAccuracy.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

struct Noise {
  double V = 0;  // mV, s.d. of the recorded voltage
  double I = 0;  // pA, s.d. of the measured current
};

struct ZChoice {
  int iz1, iz2, iz3;
};
constexpr ZChoice kDefaultZ{5, 4, 3};    // subV, PulseV-VT, VT: the fields' defaults
constexpr ZChoice kSubVPulseV{5, 6, 3};  // subV, PulseV, VT

struct Accuracy : testing::PulseAccuracy {
  int nPulses = 0;
};

Settings DriverSettings() {
  Settings s = StartupSettings();
  s.fc.approximate = false;
  return s;
}

// Every recording listed in `dir`, through the whole driver.
FiringClampRun RunDriver(const fs::path& dir, Settings settings, Session& session) {
  NullSink warnings;
  session.dataDir = dir;
  auto listed = ReadListOfFiles(dir, dir, session.rec, warnings);
  EXPECT_TRUE(listed) << listed.error().What();
  session.listed = *listed;
  std::vector<int> all(session.listed.size());
  std::iota(all.begin(), all.end(), 0);
  auto run = FiringClampDriver(session, settings, all, warnings, MainPage::FiringClamp,
                               {.estimations = settings.fc.approximate});
  EXPECT_TRUE(run) << run.error().What();
  return run ? *run : FiringClampRun{};
}

// The example data's calibration grid: constant currents and conductances
// around the estimation range, 1 s per sweep, 15 pulses each.
void WriteCalibration(const fs::path& dir, Noise noise) {
  SynthSettings s = FcCalibrationExample({});
  s.seed = 2;
  s.recorder.measurement = {noise.V, noise.I, 0};
  NullSink warnings;
  ASSERT_TRUE(WriteSynthRecording(s, dir, warnings));
  Settings settings = DriverSettings();
  settings.fc.writeInFile = true;
  Session session;
  RunDriver(dir, settings, session);
}

// I(t) = 100 sin(2 pi t / 4000 ms) pA, G(t) = 5 (cos(2 pi t / 3000 ms) + 1)
// nS; returns what the clamp applied, sample by sample.
SweepResult WriteEstimationRecording(const fs::path& dir, Noise noise) {
  SynthSettings s = FcEstimationExample({});
  s.recorder.measurement = {noise.V, noise.I, 0};
  NullSink warnings;
  auto written = WriteSynthRecording(s, dir, warnings, true);
  EXPECT_TRUE(written && written->front().result);
  return written && written->front().result ? *written->front().result : SweepResult{};
}

// Estimates the recording in `estDir` with the calibration of `calDir` and
// compares every pulse from the second on (the regressions leave the first
// without an estimate) with the mean of the applied I and G over the meander
// period that ends at the pulse's switch to negative: what acted on the cell
// while the pulse's z values were formed.
Accuracy Estimate(const fs::path& calDir, const fs::path& estDir, const SweepResult& truth, ApproxKind kind,
                  ZChoice z) {
  fs::copy_file(calDir / kCalibrationFileName, estDir / kCalibrationFileName, fs::copy_options::overwrite_existing);
  Settings settings = DriverSettings();
  settings.fc.approximate = true;
  settings.approx.kind = kind;
  settings.approx.iz1 = z.iz1, settings.approx.iz2 = z.iz2, settings.approx.iz3 = z.iz3;
  Session session;
  RunDriver(estDir, settings, session);
  Accuracy a{testing::ComparePulsesWithApplied(session.pulses, truth.I, truth.G, truth.dt)};
  a.nPulses = session.pulses.nPulses;
  return a;
}

// With the program's defaults (kind 5, z numbers 5, 4, 3) and measurement
// noise on both the calibration and the recording, I is recovered within
// 6 % and G within 20 % of their ranges: measured 5.5 % (11.0 pA of 200) and
// 13.8 % (1.38 nS of 10) with these seeds, 5.2-5.6 % and 13.9-14.9 % with
// five others, so the bounds do not hang on one noise draw.
TEST(FiringClampAccuracy, DefaultRegressionRecoversSlowIAndGOnTheModelCell) {
  testing::TempDir tmp;
  const Noise noise{0.1, 5};
  WriteCalibration(tmp / "cal", noise);
  const SweepResult truth = WriteEstimationRecording(tmp / "est", noise);
  const Accuracy a = Estimate(tmp / "cal", tmp / "est", truth, ApproxKind::Regression7, kDefaultZ);
  ASSERT_GT(a.nCompared, 100);
  EXPECT_NEAR(a.rangeI, 200, 10);  // pA
  EXPECT_NEAR(a.rangeG, 10, 0.5);  // nS
  EXPECT_LT(a.relI(), 0.06) << a.rmsI << " pA";
  EXPECT_LT(a.relG(), 0.20) << a.rmsG << " nS";
}

// The table of the README: every kind, both z choices, with and without
// noise. Run with --gtest_also_run_disabled_tests.
TEST(FiringClampAccuracy, DISABLED_Table) {
  testing::TempDir tmp;
  const ApproxKind kinds[] = {ApproxKind::Cylindrical, ApproxKind::Plane, ApproxKind::Quadratic,
                              ApproxKind::Regression3, ApproxKind::Regression7};
  const Noise noises[] = {{0, 0}, {0.1, 5}};
  const ZChoice choices[] = {kDefaultZ, kSubVPulseV};
  fmt::print("| noise | z1, z2, z3 | kind | pulses | RMS I (pA) | RMS I / range | RMS G (nS) | RMS G / range |\n");
  for (std::size_t n = 0; n < std::size(noises); ++n) {
    const fs::path cal = tmp / fmt::format("cal{}", n), est = tmp / fmt::format("est{}", n);
    WriteCalibration(cal, noises[n]);
    const SweepResult truth = WriteEstimationRecording(est, noises[n]);
    for (const ZChoice z : choices)
      for (const ApproxKind kind : kinds) {
        const Accuracy a = Estimate(cal, est, truth, kind, z);
        fmt::print("| {} | {}, {}, {} | {} | {} | {:.1f} | {:.1f} % | {:.2f} | {:.1f} % |\n",
                   noises[n].V > 0 ? "0.1 mV, 5 pA" : "none", z.iz1, z.iz2, z.iz3, static_cast<int>(kind),
                   a.nCompared, a.rmsI, 100 * a.relI(), a.rmsG, 100 * a.relG());
      }
  }
}

}  // namespace
}  // namespace velmora
