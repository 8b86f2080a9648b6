// Written ABF files read back to what was written: values, layout, and the
// step of each sweep; the model cell's steps protocol as one ABF file.
#include "modelcell/AbfWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

// Two channels of 3 sweeps with values that vary sample by sample and differ
// in range; DAC 0 in pA steps from -40 by +30 pA per sweep over samples 400..1400.
AbfContent KnownContent(bool float32) {
  AbfContent content;
  content.dt = 0.1;
  content.float32 = float32;
  content.channels = {{"Vm", "mV", {}}, {"Imeas", "pA", {}}};
  for (int k = 0; k < 3; ++k) {
    std::vector<double> v, i;
    for (int j = 0; j < 2000; ++j) {
      v.push_back(-70 + 30 * std::sin(0.01 * j + k));
      i.push_back(-40 + 30 * k + 0.37 * (j % 11));
    }
    content.channels[0].sweeps.push_back(v);
    content.channels[1].sweeps.push_back(i);
  }
  content.dac.name = "Cmd 0";
  content.dac.unit = "pA";
  content.dac.holding = 0;
  // h = 2000 / 64 = 31: epoch A runs 31..400, epoch B 400..1400.
  content.dac.epochs = {{0, static_cast<int>(EpochType::Step), 0, 0, 369, 0, 0, 0},
                     {1, static_cast<int>(EpochType::Step), -40, 30, 1000, 0, 0, 0}};
  return content;
}

// Every sample comes back, within half an int16 count (or float32 rounding),
// in its channel and sweep; a mix-up of channel order or sweep offsets shows.
TEST(WriteAbf2, ReadsBackSampleBySample) {
  for (const bool float32 : {false, true}) {
    TempDir dir;
    const AbfContent content = KnownContent(float32);
    const auto path = dir / "known.abf";
    ASSERT_TRUE(WriteAbf2(path, content));
    NullSink warnings;
    const auto abf = ReadAbf(path, warnings);
    ASSERT_TRUE(abf) << abf.error().What();
    EXPECT_EQ(abf->format, AbfFormat::Abf2);
    EXPECT_DOUBLE_EQ(abf->dt, 0.1);
    ASSERT_EQ(abf->channels.size(), 2u);
    ASSERT_EQ(abf->sweeps.size(), 3u);
    for (std::size_t c = 0; c < 2; ++c) {
      EXPECT_EQ(abf->channels[c].name, content.channels[c].name);
      EXPECT_EQ(abf->channels[c].unit, content.channels[c].unit);
      const double tolerance = float32 ? 1e-4 : abf->channels[c].gain / 2 + 1e-5;
      for (int k = 0; k < 3; ++k) {
        const auto got = abf->Sweep(static_cast<int>(c), k);
        ASSERT_EQ(got.size(), 2000u);
        for (std::size_t j = 0; j < got.size(); ++j)
          ASSERT_NEAR(got[j], content.channels[c].sweeps[k][j], tolerance)
              << (float32 ? "float32" : "int16") << ", channel " << c << ", sweep " << k + 1 << ", sample " << j;
      }
    }
    for (int k = 0; k < 3; ++k) {
      const AbfStimulus s = StimulusOfSweep(*abf, k);
      EXPECT_EQ(s.ProtocolKind, 2);
      EXPECT_EQ(s.epoch, 1);
      EXPECT_NEAR(s.tStimStart, 40, 1e-9);
      EXPECT_NEAR(s.tStimEnd, 140, 1e-9);
      EXPECT_EQ(s.I0, -40 + 30 * k);
      EXPECT_EQ(s.Ifirst, -40);
      EXPECT_EQ(s.Ilast, 20);
      EXPECT_EQ(s.nSteps, 3);
      EXPECT_NEAR(abf->sweeps[k].start, 200.0 * k, 1e-9);
    }
  }
}

// Sweeps of unequal length would make a file whose header lies about its samples.
TEST(WriteAbf2, RaggedSweepsAreRefused) {
  TempDir dir;
  AbfContent content = KnownContent(false);
  content.channels[1].sweeps[2].pop_back();
  const Status s = WriteAbf2(dir / "ragged.abf", content);
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("channel \"Imeas\" has a sweep of 1999 samples, not 2000"));
}

// The model cell's steps, as one ABF: the step of each sweep and its window
// are those of the protocol, and the voltage is what the cell did.
TEST(WriteStepsAbf, StepsOfTheModelCellMapBack) {
  TempDir dir;
  SynthSettings s;
  s.duration = 200;
  s.steps = {-50, 250, 3, 0, 20, 180};
  NullSink warnings;
  auto sweeps = WriteSynthRecording(s, dir / "steps", warnings, true);
  ASSERT_TRUE(sweeps) << sweeps.error().What();
  ASSERT_TRUE(WriteStepsAbf(dir / "steps.abf", s, *sweeps, warnings));
  const auto abf = ReadAbf(dir / "steps.abf", warnings);
  ASSERT_TRUE(abf) << abf.error().What();
  ASSERT_EQ(abf->sweeps.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    const AbfStimulus st = StimulusOfSweep(*abf, k);
    EXPECT_EQ(st.ProtocolKind, 2);
    EXPECT_NEAR(st.tStimStart, 20, 1e-9);
    EXPECT_NEAR(st.tStimEnd, 180, 1e-9);
    EXPECT_EQ(st.I0, -50 + 150 * k);
    const std::vector<double>& v = (*sweeps)[k].result->V;
    EXPECT_NEAR(abf->Sweep(0, k)[1000], v[1000], abf->channels[0].gain);
  }
  const auto ch = ChooseChannels(*abf);
  ASSERT_TRUE(ch);
  EXPECT_EQ(ch->voltage, 0);
  EXPECT_EQ(ch->current, 1);
}

}  // namespace
}  // namespace velmora
