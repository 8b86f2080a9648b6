#include "analyses/ExtracelStim.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "modelcell/Recorder.h"
#include "recording/SideFiles.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::DoubleNear;
using ::testing::HasSubstr;
using ::testing::Pointwise;
using testing::TempDir;

constexpr double kDt = 5e-5;  // s: 20 kHz

int Sample(double tMs) { return static_cast<int>(std::lround(tMs / 1000 / kDt)); }

// A sweep of `durationMs` with a flat 100 pA current and, at each time (ms),
// the recorder's artefact: +A, -0.6 A, +0.2 A on three samples.
struct ArtefactSweep {
  Recording rec;
  explicit ArtefactSweep(double durationMs) {
    rec.dt = kDt;
    SweepSlot& s = rec.traces[1];
    s.nLast = Sample(durationMs);
    s.V.assign(s.nLast + 1, -65);
    s.Ireal.assign(s.nLast + 1, 100);
  }
  ArtefactSweep& Add(double tMs, double A = 2500) {
    std::vector<double>& I = rec.traces[1].Ireal;
    const int k = Sample(tMs);
    I[k] += A, I[k + 1] -= 0.6 * A, I[k + 2] += 0.2 * A;
    return *this;
  }
};

// A stimulus time as the detector reports it: the artefact's first sample.
double AtSample(double tMs) { return Sample(tMs) * kDt * 1000; }

std::vector<double> Find(ArtefactSweep& sweep, const StimSettings& s, CollectingSink& warnings,
                         const TempDir& dir) {
  std::vector<double> times;
  Chart chart;
  const Status st = FindStimulationArtifacts(sweep.rec, 1, s, times, chart, dir / "c.stim", warnings);
  EXPECT_TRUE(st) << (st ? "" : st.error().What());
  return times;
}

// Clean artefacts a little faster than the nominal 2 Hz are all found in the
// first pass of the threshold search, and the ".stim" file gets them.
TEST(FindStimulationArtifacts, CleanArtefactsFoundInTheFirstPassAndWritten) {
  TempDir dir;
  ArtefactSweep sweep(3000);
  std::vector<double> expected;
  for (int i = 0; i < 6; ++i) {
    sweep.Add(50 + 499 * i);
    expected.push_back(AtSample(50 + 499 * i));
  }
  CollectingSink warnings;
  const std::vector<double> times = Find(sweep, {}, warnings, dir);
  EXPECT_THAT(times, ElementsAreArray(expected));
  EXPECT_THAT(warnings.statuses, ElementsAre("ddI_limit = 5000.00", "ddI_limit = 5000.00"));
  NullSink quiet;
  const auto written = ReadStimFile(dir / "c.stim", quiet);
  ASSERT_TRUE(written);
  EXPECT_THAT(*written, Pointwise(DoubleNear(5e-4), expected));  // 3 decimals in the file
}

// The recorder's own artefacts on a model-cell sweep with noise: the
// detector must report the samples the recorder stimulated at.
TEST(FindStimulationArtifacts, ModelCellRecordingAtTwoHertz) {
  TempDir dir;
  RecorderSettings recorder;
  recorder.measurement.noiseI = 5;  // pA
  recorder.stimulation.freq = 2;
  SweepSpec spec;
  spec.duration = 2600;  // ms
  spec.clamp.wave.I0 = 50;
  const SweepResult r = SimulateSweep(CellParameters{}, recorder, spec, 1, 1);
  ArtefactSweep sweep(0);
  sweep.rec.dt = r.dt / 1000;
  sweep.rec.traces[1] = {r.V, r.Ireal, r.Icom, r.samples() - 1};
  CollectingSink warnings;
  const std::vector<double> times = Find(sweep, {}, warnings, dir);
  ASSERT_EQ(times.size(), r.stimTimes.size());
  for (std::size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(times[i], r.stimTimes[i], 1e-9) << "stimulus " << i;
}

// At 2 Hz an interval of 499 ms is one period less 1 ms and stays; 501 ms is
// 1 ms over and is removed, as are the artefact's own neighbouring samples.
TEST(FindStimulationArtifacts, IntervalOf499msStaysAnd501msGoes) {
  TempDir dir;
  ArtefactSweep sweep(1100);
  sweep.Add(50).Add(549).Add(1050);
  CollectingSink warnings;
  EXPECT_THAT(Find(sweep, {}, warnings, dir), ElementsAre(AtSample(50), AtSample(549)));
}

// A spurious artefact between two stimuli is dropped; a weak one below the
// limit, and the last ones before the end of the sweep, are found again one
// period after their predecessors; where the current is perfectly flat the
// predicted time is kept.
TEST(FindStimulationArtifacts, SpuriousRemovedMissedFilledIn) {
  TempDir dir;
  ArtefactSweep sweep(2600);
  // 700 is spurious, 1048 and 2045 are too weak for the limit, 2544 is missing.
  sweep.Add(50).Add(549).Add(700).Add(1048, 300).Add(1547).Add(2045, 300);
  CollectingSink warnings;
  EXPECT_THAT(Find(sweep, {}, warnings, dir),
              ElementsAre(AtSample(50), AtSample(549), AtSample(1048), AtSample(1547), AtSample(2045),
                          AtSample(2045) + 500));
}

// Without artefacts the limit falls by 1.2 from 5000 until below 100: 22
// passes, then the starting limit is shown again; nothing is found, and an
// empty ".stim" file says so.
TEST(FindStimulationArtifacts, NoArtefactSearchesTwentyTwoPassesAndFindsNothing) {
  TempDir dir;
  ArtefactSweep sweep(1000);
  std::vector<double>& I = sweep.rec.traces[1].Ireal;
  for (std::size_t k = 0; k < I.size(); ++k) I[k] = 50 * std::sin(k * 1e-3);
  CollectingSink warnings;
  EXPECT_TRUE(Find(sweep, {}, warnings, dir).empty());
  ASSERT_EQ(warnings.statuses.size(), 23u);
  EXPECT_EQ(warnings.statuses[1], "ddI_limit = 4166.67");
  EXPECT_EQ(warnings.statuses[21], "ddI_limit = 108.68");
  EXPECT_EQ(warnings.statuses[22], "ddI_limit = 5000.00");
  EXPECT_EQ(dir.Read("c.stim"), "");
}

// One detection has no interval to check: no stimuli are invented after it.
TEST(FindStimulationArtifacts, SingleDetectionSkipsRejectionAndFilling) {
  TempDir dir;
  ArtefactSweep sweep(1000);
  sweep.rec.traces[1].Ireal[Sample(300)] += 3000;  // one sample: |dd| 6000 there, 4000 beside it
  CollectingSink warnings;
  EXPECT_THAT(Find(sweep, {}, warnings, dir), ElementsAre(AtSample(300)));
}

// The table holds 200 stimuli: neither the search nor the filling may
// write past it, and the times stay in order.
TEST(FindStimulationArtifacts, NeverMoreThan200Stimuli) {
  TempDir dir;
  ArtefactSweep sweep(6000);
  for (double t = 10; t < 5990; t += 24.9) sweep.Add(t);  // 40 Hz, 241 artefacts
  CollectingSink warnings;
  const std::vector<double> times = Find(sweep, {.frequency = 40}, warnings, dir);
  EXPECT_EQ(times.size(), static_cast<std::size_t>(kMaxStimuli));
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
  EXPECT_EQ(times.back(), AtSample(10 + 199 * 24.9));
}

// A frequency of 0 would divide by zero and one above 1000 Hz leaves no
// whole nominal period: refused, the times and file left alone.
TEST(FindStimulationArtifacts, FrequencyOutsideRangeIsAnError) {
  for (const double F : {0.0, -2.0, 1500.0, std::nan("")}) {
    TempDir dir;
    ArtefactSweep sweep(1000);
    std::vector<double> times{42};
    Chart chart;
    CollectingSink warnings;
    const Status st = FindStimulationArtifacts(sweep.rec, 1, {.frequency = F}, times, chart, dir / "c.stim", warnings);
    ASSERT_FALSE(st) << "F " << F;
    EXPECT_THAT(st.error().What(), HasSubstr("Stimulation frequency, Hz: ")) << "F " << F;
    EXPECT_THAT(times, ElementsAre(42)) << "F " << F;
    EXPECT_FALSE(std::filesystem::exists(dir / "c.stim")) << "F " << F;
  }
}


}  // namespace
}  // namespace velmora
