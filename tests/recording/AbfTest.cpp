// ABF and ATF: the real recordings beside the source tree read to the values
// measured on them independently; damaged copies are refused by name or read
// whole; the command rebuild and the step mapping follow the epoch table.
#include "recording/Abf.h"

#include <fmt/format.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/AbfSamples.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::TempDir;

const fs::path& kSamples = testing::kAbfSamples;

class AbfSample : public testing::WithAbfSamples {
 protected:
  static AbfFile Read(const char* name) {
    CollectingSink warnings;
    auto abf = ReadAbf(kSamples / name, warnings);
    if (!abf) ADD_FAILURE() << abf.error().What();
    EXPECT_EQ(warnings.size(), 0u) << name;
    return abf ? std::move(*abf) : AbfFile{};
  }
};

// README values carry 6 digits; header fields are float32.
void ExpectNear(std::span<const float> got, std::initializer_list<double> want, double rel = 1e-4) {
  ASSERT_GE(got.size(), want.size());
  std::size_t i = 0;
  for (const double w : want) {
    EXPECT_NEAR(got[i], w, std::max(1e-6, std::fabs(w) * rel)) << "sample " << i;
    ++i;
  }
}

struct ChannelWant {
  const char* name;
  const char* unit;
  int physical;
};
void ExpectChannels(const AbfFile& abf, std::initializer_list<ChannelWant> want) {
  ASSERT_EQ(abf.channels.size(), want.size());
  std::size_t c = 0;
  for (const ChannelWant& w : want) {
    EXPECT_EQ(abf.channels[c].name, w.name) << "channel " << c;
    EXPECT_EQ(abf.channels[c].unit, w.unit) << "channel " << c;
    EXPECT_EQ(abf.channels[c].physical, w.physical) << "channel " << c;
    ++c;
  }
}

// The level of the rebuilt command at a few samples.
void ExpectCommand(const AbfFile& abf, int sweep, std::initializer_list<std::pair<std::size_t, double>> at) {
  const AbfCommand c = RebuildCommand(abf, CommandDac(abf), sweep);
  ASSERT_TRUE(c.rebuilt) << c.why;
  ASSERT_EQ(c.level.size(), abf.sweeps[sweep].length);
  for (const auto& [i, level] : at) EXPECT_NEAR(c.level[i], level, 1e-9) << "sweep " << sweep + 1 << ", sample " << i;
}

// ABF1 channel arrays are by physical input; the telegraph gain of 5 is in
// the 1.6+ extension, and epoch B steps -120 pA by +60 pA per sweep.
TEST_F(AbfSample, Abf1StepsWithTelegraphGain) {
  const AbfFile abf = Read("190619B_0003.abf");
  EXPECT_EQ(abf.format, AbfFormat::Abf1);
  EXPECT_EQ(abf.version, "1.83");
  EXPECT_EQ(abf.operationMode, kAbfEpisodic);
  ExpectChannels(abf, {{"IN 0", "mV", 0}, {"IN 2", "mV", 2}});
  ASSERT_EQ(abf.sweeps.size(), 10u);
  EXPECT_EQ(abf.sweeps[9].length, 30640u);
  EXPECT_DOUBLE_EQ(abf.dt, 0.1);
  EXPECT_NEAR(abf.channels[0].gain, 0.0610352, 1e-6);
  ExpectNear(abf.Sweep(0, 0), {-65.9180, -66.2231, -65.9790});
  EXPECT_NEAR(abf.Sweep(0, 9).back(), -73.9746, 1e-3);
  for (int k = 0; k < 10; ++k)
    ExpectCommand(abf, k, {{477, 0}, {478, 0}, {10477, 0}, {10478, -120 + 60 * k}, {20477, -120 + 60 * k}, {20478, 0}, {30639, 0}});
  const AbfStimulus s = StimulusOfSweep(abf, 3);
  EXPECT_EQ(s.ProtocolKind, 2);
  EXPECT_EQ(s.epoch, 1);
  EXPECT_NEAR(s.tStimStart, 1047.8, 1e-9);
  EXPECT_NEAR(s.tStimEnd, 2047.8, 1e-9);
  EXPECT_EQ(s.I0, 60);
  EXPECT_EQ(s.Ifirst, -120);
  EXPECT_EQ(s.Ilast, 420);
  EXPECT_EQ(s.nSteps, 10);
  const auto ch = ChooseChannels(abf);
  ASSERT_TRUE(ch) << ch.error().What();
  EXPECT_EQ(ch->voltage, 0);
  EXPECT_EQ(ch->current, -1);
  EXPECT_THAT(ch->note, HasSubstr("command current stands in"));
}

// Without the telegraph gain of 2 the resting potential would read -133 mV;
// epoch A is constant, so the step is epoch C.
TEST_F(AbfSample, Abf2StepsAfterAConstantEpoch) {
  const AbfFile abf = Read("18711001.abf");
  EXPECT_EQ(abf.format, AbfFormat::Abf2);
  EXPECT_EQ(abf.version, "2.6.0.0");
  ExpectChannels(abf, {{"IN 0", "mV", 0}});
  ASSERT_EQ(abf.sweeps.size(), 30u);
  EXPECT_EQ(abf.sweeps[0].length, 30000u);
  EXPECT_DOUBLE_EQ(abf.dt, 0.05);
  EXPECT_NEAR(abf.channels[0].gain, 0.0152588, 1e-6);
  ExpectNear(abf.Sweep(0, 0), {-66.6657, -66.7267, -66.6351});
  EXPECT_NEAR(abf.Sweep(0, 29).back(), -65.2008, 1e-3);
  for (int k = 0; k < 30; ++k)
    ExpectCommand(abf, k, {{467, 0}, {468, -100}, {6467, -100}, {6468, 0}, {16468, 10 * k}, {26467, 10 * k}, {26468, 0}});
  for (int k : {0, 29}) {
    const AbfStimulus s = StimulusOfSweep(abf, k);
    EXPECT_EQ(s.ProtocolKind, 2);
    EXPECT_EQ(s.epoch, 2);
    EXPECT_NEAR(s.tStimStart, 823.4, 1e-9);
    EXPECT_NEAR(s.tStimEnd, 1323.4, 1e-9);
    EXPECT_EQ(s.I0, 10 * k);
    EXPECT_EQ(s.Ifirst, 0);
    EXPECT_EQ(s.Ilast, 290);
    EXPECT_EQ(s.nSteps, 30);
  }
}

// The epoch table alone says +50 pA per sweep; the user list that replaced
// epoch B's level says otherwise from sweep 6 on.
TEST_F(AbfSample, UserListOverridesTheEpochTable) {
  const AbfFile abf = Read("2020_03_02_0000.abf");
  EXPECT_EQ(abf.version, "2.9.0.0");
  ExpectChannels(abf, {{"Potential", "mV", 0}, {"I_Com", "pA", 2}});
  ASSERT_EQ(abf.sweeps.size(), 16u);
  EXPECT_EQ(abf.sweeps[0].length, 20000u);
  EXPECT_DOUBLE_EQ(abf.dt, 0.1);
  ExpectNear(abf.Sweep(0, 0), {-3.20435, -3.50952, -3.20435});
  ExpectNear(abf.Sweep(1, 0), {3.66211, -3.35693, 4.57764});
  ASSERT_TRUE(abf.userList);
  EXPECT_EQ(abf.userList->epoch, 1);
  const double levels[] = {-200, -150, -100, -50, 0, 25, 50, 100, 150, 200, 250, 300, 350, 400, 500, 600};
  for (int k = 0; k < 16; ++k) {
    ExpectCommand(abf, k, {{311, 0}, {312, 0}, {1311, 0}, {1312, levels[k]}, {6311, levels[k]}, {6312, 0}});
    const AbfStimulus s = StimulusOfSweep(abf, k);
    EXPECT_EQ(s.ProtocolKind, 2);
    EXPECT_EQ(s.I0, levels[k]) << "sweep " << k + 1;
    EXPECT_NEAR(s.tStimStart, 131.2, 1e-9);
    EXPECT_NEAR(s.tStimEnd, 631.2, 1e-9);
  }
  EXPECT_EQ(StimulusOfSweep(abf, 0).Ilast, 600);
  // The recorded copy of the command agrees: median 23.8 pA inside epoch B of sweep 6.
  const auto icom = abf.Sweep(1, 5);
  std::vector<float> inB(icom.begin() + 1400, icom.begin() + 6200);
  std::ranges::nth_element(inB, inB.begin() + inB.size() / 2);
  EXPECT_NEAR(inB[inB.size() / 2], 23.8, 0.5);
  const auto ch = ChooseChannels(abf);
  ASSERT_TRUE(ch);
  EXPECT_EQ(ch->voltage, 0);
  EXPECT_EQ(ch->current, 1);
}

// nInterEpisodeLevel 1: each sweep starts where the one before ended, so the
// ramp of sweep k runs from 10 (k - 2) to 10 (k - 1) pA.
TEST_F(AbfSample, ContinuousRampCarriesTheLevelAcrossSweeps) {
  const AbfFile abf = Read("171116sh_0016.abf");
  ASSERT_EQ(abf.sweeps.size(), 11u);
  EXPECT_EQ(abf.sweeps[0].length, 20000u);
  ExpectNear(abf.Sweep(0, 0), {-61.4319, -61.5540, -61.4014});
  EXPECT_NEAR(abf.Sweep(0, 10).back(), -42.3279, 1e-3);
  ExpectCommand(abf, 0, {{0, 0}, {10000, 0}, {19999, 0}});
  for (int k = 1; k < 11; ++k) {
    const double from = 10.0 * (k - 1), to = 10.0 * k;
    ExpectCommand(abf, k, {{0, from}, {311, from}, {312, from}, {312 + 9650, (from + to) / 2}, {19612, to}, {19999, to}});
  }
  const AbfStimulus s = StimulusOfSweep(abf, 4);
  EXPECT_EQ(s.ProtocolKind, 0);
  EXPECT_EQ(s.tStimStart, 0);
  EXPECT_NEAR(s.tStimEnd, 1000, 1e-9);
  EXPECT_EQ(s.I0, 0);
}

// The only channel is labelled pA although it holds membrane potential x 20:
// the unit stays as stored, and the channel choice says there is no voltage.
TEST_F(AbfSample, MislabelledVoltageIsReportedNotGuessed) {
  const AbfFile abf = Read("18807005.abf");
  ExpectChannels(abf, {{"IN 0", "pA", 0}});
  ASSERT_EQ(abf.sweeps.size(), 2u);
  EXPECT_NEAR(abf.channels[0].gain, 0.610352, 1e-5);
  ExpectNear(abf.Sweep(0, 0), {506.592, 493.164, 480.957});
  EXPECT_NEAR(abf.Sweep(0, 1).back(), -828.247, 1e-2);
  ExpectCommand(abf, 0, {{0, 0}, {19999, 0}});
  ExpectCommand(abf, 1, {{311, 0}, {19612, 10}, {19999, 10}});
  const auto ch = ChooseChannels(abf);
  ASSERT_FALSE(ch);
  EXPECT_THAT(ch.error().What(), HasSubstr("18807005.abf"));
  EXPECT_THAT(ch.error().What(), HasSubstr("0 \"IN 0\" [pA]"));
  // An explicit choice is the user's to make; the channel is then no current too.
  const auto forced = ChooseChannels(abf, 0);
  ASSERT_TRUE(forced);
  EXPECT_EQ(forced->voltage, 0);
  EXPECT_EQ(forced->current, -1);
}

// Gap-free: lActualEpisodes is 0 and there is no synch array; one sweep.
TEST_F(AbfSample, GapFreeIsOneSweep) {
  const AbfFile abf = Read("2020_07_29_0062.abf");
  EXPECT_EQ(abf.operationMode, kAbfGapFree);
  ExpectChannels(abf, {{"Potential", "mV", 0}, {"I_Com", "pA", 2}});
  ASSERT_EQ(abf.sweeps.size(), 1u);
  EXPECT_EQ(abf.sweeps[0].length, 184320u);
  EXPECT_DOUBLE_EQ(abf.dt, 0.1);
  ExpectNear(abf.Sweep(0, 0), {-42.1143, -41.8091, -42.1143});
  ExpectNear(abf.Sweep(1, 0), {-4.27246, -1.22070, -1.83105});
  EXPECT_NEAR(abf.Sweep(0, 0).back(), -47.6074, 1e-3);
  ASSERT_EQ(abf.dacs.size(), 8u);
  EXPECT_EQ(abf.dacs[1].unit, "V");
  EXPECT_EQ(abf.dacs[1].holding, -6);
  ExpectCommand(abf, 0, {{0, 0}, {184319, 0}});
  const AbfStimulus s = StimulusOfSweep(abf, 0);
  EXPECT_EQ(s.ProtocolKind, 0);
  EXPECT_NEAR(s.tStimEnd, 18432, 1e-6);
}

// Physical inputs 5 and 7, a programmable gain of 4 on VmRK, and a V channel
// that must not win over the mV one; epoch A is off, so B starts at h = 322.
TEST_F(AbfSample, Abf1PhysicalChannelsWithProgrammableGain) {
  const AbfFile abf = Read("File_axon_3.abf");
  ExpectChannels(abf, {{"stim", "V", 5}, {"VmRK", "mV", 7}});
  EXPECT_NEAR(abf.channels[0].gain, 0.0003125, 1e-9);
  EXPECT_NEAR(abf.channels[1].gain, 0.0078125, 1e-9);
  ASSERT_EQ(abf.sweeps.size(), 5u);
  EXPECT_EQ(abf.sweeps[0].length, 20644u);
  EXPECT_DOUBLE_EQ(abf.dt, 0.05);
  ExpectNear(abf.Sweep(0, 0), {-0.155, -0.280, -0.285});
  ExpectNear(abf.Sweep(1, 0), {-55.000, -55.000, -54.875});
  EXPECT_NEAR(abf.Sweep(1, 0)[422], 24.25, 1e-3);  // the spike after the stimulus
  ASSERT_EQ(abf.dacs[0].epochs.size(), 3u);
  EXPECT_EQ(abf.dacs[0].epochs[0].number, 1);
  EXPECT_EQ(abf.dacs[0].unit, "nA");
  ExpectCommand(abf, 0, {{0, 0}, {322, 0}, {400, 0}});
  EXPECT_EQ(StimulusOfSweep(abf, 0).ProtocolKind, 0);
  const auto ch = ChooseChannels(abf);
  ASSERT_TRUE(ch);
  EXPECT_EQ(ch->voltage, 1);
  EXPECT_EQ(ch->voltageScale, 1);
}

// ---- damaged files ----

std::string Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a read that succeeded must hold together.
void ExpectConsistent(const AbfFile& abf, const std::string& what) {
  std::size_t total = 0;
  for (const AbfSweep& s : abf.sweeps) {
    EXPECT_EQ(s.first, total) << what;
    total += s.length;
  }
  for (const AbfChannel& c : abf.channels) EXPECT_EQ(c.samples.size(), total) << what;
  EXPECT_GT(abf.dt, 0) << what;
  for (int k = 0; k < static_cast<int>(abf.sweeps.size()) && k < 3; ++k) {
    for (int d = 0; d < static_cast<int>(abf.dacs.size()); ++d) {
      const AbfCommand c = RebuildCommand(abf, d, k);
      EXPECT_TRUE(c.rebuilt ? c.level.size() == abf.sweeps[k].length : !c.why.empty()) << what;
    }
    (void)StimulusOfSweep(abf, k);
  }
  (void)ChooseChannels(abf);
}

// A cut, zeroed or bit-flipped copy is either read whole or refused with a
// message naming the file: never a crash, never a partly filled result.
TEST_F(AbfSample, DamagedCopiesAreRefusedByNameOrReadWhole) {
  TempDir dir;
  const auto check = [](const fs::path& copy, const std::string& what) {
    NullSink warnings;
    const auto abf = ReadAbf(copy, warnings);
    if (abf) {
      ExpectConsistent(*abf, what);
    } else {
      EXPECT_EQ(abf.error().file, copy.string()) << what;
      EXPECT_FALSE(abf.error().message.empty()) << what;
    }
  };
  for (const auto& entry : fs::directory_iterator(kSamples)) {
    if (entry.path().extension() != ".abf") continue;
    const std::string name = entry.path().filename().string();
    const std::string original = Bytes(entry.path());
    for (const std::size_t cut : {std::size_t{0}, std::size_t{3}, std::size_t{100}, std::size_t{511}, std::size_t{512},
                                  std::size_t{2047}, std::size_t{6000}, original.size() / 2, original.size() - 1})
      check(dir.Write("cut.abf", original.substr(0, std::min(cut, original.size()))),
            fmt::format("{}, cut at {}", name, cut));
    for (const std::size_t from : {0, 8, 76, 512, 1024, 2048, 4096}) {
      std::string z = original;
      std::fill_n(z.begin() + static_cast<long>(from), std::min<std::size_t>(512, z.size() - from), '\0');
      check(dir.Write("zeroed.abf", z), fmt::format("{}, 512 zero bytes from {}", name, from));
    }
    // Headers and sections lie in the first blocks; one byte at a time is
    // flipped there, in place, and put back.
    const fs::path copy = dir.Write("flipped.abf", original);
    std::fstream file(copy, std::ios::in | std::ios::out | std::ios::binary);
    std::uint32_t seed = 12345;
    for (int i = 0; i < 80; ++i) {
      seed = seed * 1664525 + 1013904223;
      const std::size_t at = (seed >> 8) % std::min<std::size_t>(original.size(), 24 * 512);
      const char flipped = static_cast<char>(original[at] ^ (i % 2 ? 0xFF : 0x80));
      file.seekp(static_cast<std::streamoff>(at)).write(&flipped, 1).flush();
      check(copy, fmt::format("{}, byte {} flipped", name, at));
      file.seekp(static_cast<std::streamoff>(at)).write(&original[at], 1).flush();
    }
  }
}

// The faults a user meets most, each with its own message.
TEST_F(AbfSample, HeaderFaultsAreNamed) {
  const std::string original = Bytes(kSamples / "18711001.abf");
  const auto patched = [&](std::size_t at, auto value) {
    std::string s = original;
    std::memcpy(s.data() + at, &value, sizeof value);
    return s;
  };
  const std::size_t protocol = 512;  // block 1
  struct Case {
    const char* name;
    std::string content;
    const char* message;
  } cases[] = {
      {"unknown signature", patched(0, std::array<char, 4>{'A', 'B', 'F', '3'}), "not an ABF or ATF file"},
      {"unknown version", patched(7, std::uint8_t{3}), "not an ABF 2 version"},
      {"truncated", original.substr(0, original.size() - 1000), "outside the file"},
      {"zero sample interval", patched(protocol + 2, 0.0f), "is not positive"},
      {"negative sample interval", patched(protocol + 2, -50.0f), "is not positive"},
      {"section outside the file", patched(76 + 16 * 10, std::uint32_t{1u << 30}), "outside the file"},
      {"sweep count not matching", patched(12, std::uint32_t{31}), "do not match"},
      {"samples per sweep not matching", patched(protocol + 22, std::int32_t{29999}), "do not match"},
      {"data of a third format", patched(30, std::uint16_t{2}), "data format 2"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    NullSink warnings;
    const auto abf = ReadAbf(dir.Write("bad.abf", c.content), warnings);
    ASSERT_FALSE(abf) << c.name;
    EXPECT_THAT(abf.error().What(), HasSubstr("bad.abf")) << c.name;
    EXPECT_THAT(abf.error().What(), HasSubstr(c.message)) << c.name;
  }
}

// A directory or a device named like a recording must not be opened.
TEST(ReadAbf, OnlyRegularFilesAreOpened) {
  TempDir dir;
  fs::create_directory(dir / "sweeps.abf");
  NullSink warnings;
  const std::pair<fs::path, const char*> cases[] = {{dir / "sweeps.abf", "not a regular file"},
                                                     {"/dev/null", "not a regular file"},
                                                     {dir / "missing.abf", "no such file"}};
  for (const auto& [p, message] : cases) {
    const auto abf = ReadAbf(p, warnings);
    ASSERT_FALSE(abf) << p;
    EXPECT_THAT(abf.error().What(), HasSubstr(message)) << p;
  }
}

// ---- commands from hand-made epoch tables ----

AbfFile OneDac(std::vector<AbfEpoch> epochs, std::size_t n = 640, int sweeps = 3) {
  AbfFile abf;
  abf.dt = 0.1;
  abf.operationMode = kAbfEpisodic;
  for (int k = 0; k < sweeps; ++k) abf.sweeps.push_back({k * n, n, 0});
  AbfDac dac;
  dac.unit = "pA";
  dac.holding = -5;
  dac.waveformEnabled = true;
  dac.waveformSource = 1;
  dac.epochs = std::move(epochs);
  abf.dacs.push_back(dac);
  return abf;
}

constexpr int kStep = 1, kRamp = 2, kTrain = 3, kBiphasic = 7;

// Trains sit on the level before them (P0) and leave it in force after.
TEST(RebuildCommand, TrainsPulseFromTheLevelBefore) {
  const AbfFile abf = OneDac({{0, kStep, 10, 0, 100, 0, 0, 0}, {1, kTrain, 50, 0, 100, 0, 20, 5},
                              {2, kBiphasic, 30, 0, 40, 0, 20, 10}, {3, kRamp, 40, 0, 100, 0, 0, 0}});
  const AbfCommand c = RebuildCommand(abf, 0, 0);
  ASSERT_TRUE(c.rebuilt) << c.why;
  // h = 640 / 64 = 10: the step is 10..110, the train 110..210, the biphasic 210..250, the ramp 250..350.
  EXPECT_EQ(c.level[9], -5);
  EXPECT_EQ(c.level[10], 10);
  EXPECT_EQ(c.level[110], 50);
  EXPECT_EQ(c.level[114], 50);
  EXPECT_EQ(c.level[115], 10);
  EXPECT_EQ(c.level[130], 50);
  EXPECT_EQ(c.level[210], 30);   // + (30 - 10) for half the width
  EXPECT_EQ(c.level[215], -10);  // - (30 - 10) for the other half
  EXPECT_EQ(c.level[220], 10);
  EXPECT_EQ(c.level[250], 10);   // the ramp starts from the level in force, the step's
  EXPECT_EQ(c.level[300], 25);
  EXPECT_EQ(c.level[350], -5);   // back to holding
}

// A duration that grows per sweep moves every later epoch: the step window is
// then not fixed, and no current step is claimed.
TEST(StimulusOfSweep, MovingWindowIsNoStep) {
  const AbfFile abf = OneDac({{0, kStep, 0, 0, 100, 20, 0, 0}, {1, kStep, 10, 10, 100, 0, 0, 0}});
  EXPECT_EQ(RebuildCommand(abf, 0, 2).level[10 + 140], 30);
  const AbfStimulus s = StimulusOfSweep(abf, 1);
  EXPECT_EQ(s.ProtocolKind, 0);
  EXPECT_NEAR(s.tStimEnd, 64, 1e-9);
  EXPECT_THAT(s.why, HasSubstr("no step epoch"));
}

// A step that would start after the sweep ended is no stimulus window.
TEST(StimulusOfSweep, StepBeyondTheSweepIsNoStep) {
  const AbfFile abf = OneDac({{0, kStep, 0, 0, 700, 0, 0, 0}, {1, kStep, 10, 10, 100, 0, 0, 0}});
  const AbfStimulus s = StimulusOfSweep(abf, 1);
  EXPECT_EQ(s.ProtocolKind, 0);
  EXPECT_EQ(s.tStimStart, 0);
  EXPECT_NEAR(s.tStimEnd, 64, 1e-9);
}

// A DAC in nA gives its step in pA.
TEST(StimulusOfSweep, NanoampereStepsAreGivenInPicoampere) {
  AbfFile abf = OneDac({{0, kStep, 0.1, 0.05, 100, 0, 0, 0}});
  abf.dacs[0].unit = "nA";
  const AbfStimulus s = StimulusOfSweep(abf, 2);
  EXPECT_EQ(s.ProtocolKind, 2);
  EXPECT_NEAR(s.I0, 200, 1e-9);
  EXPECT_NEAR(s.Ifirst, 100, 1e-9);
  EXPECT_NEAR(s.tStimStart, 1.0, 1e-12);
  EXPECT_NEAR(s.tStimEnd, 11.0, 1e-12);
}

// What cannot be rebuilt is said, not drawn as a flat line.
TEST(RebuildCommand, UnsupportedCommandsSayWhy) {
  struct Case {
    const char* name;
    AbfFile abf;
    const char* why;
  };
  AbfFile unknownType = OneDac({{0, 6, 10, 0, 100, 0, 0, 0}});
  AbfFile waveformFile = OneDac({{0, kStep, 10, 0, 100, 0, 0, 0}});
  waveformFile.dacs[0].waveformSource = 2;
  waveformFile.dacs[0].waveformFile = "C:\\stim\\noise.atf";
  AbfFile negative = OneDac({{0, kStep, 10, 0, 10, -20, 0, 0}});
  AbfFile noPeriod = OneDac({{0, kTrain, 10, 0, 100, 0, 0, 5}});
  const Case cases[] = {{"epoch type 6", unknownType, "type 6"},
                        {"waveform file", waveformFile, "noise.atf"},
                        {"negative duration", negative, "lasts -10 samples in sweep 2"},
                        {"train without period", noPeriod, "period 0"}};
  for (const Case& c : cases) {
    const AbfCommand cmd = RebuildCommand(c.abf, 0, 1);
    EXPECT_FALSE(cmd.rebuilt) << c.name;
    EXPECT_TRUE(cmd.level.empty()) << c.name;
    EXPECT_THAT(cmd.why, HasSubstr(c.why)) << c.name;
    EXPECT_EQ(StimulusOfSweep(c.abf, 1).ProtocolKind, 0) << c.name;
  }
}

// ---- ATF ----

constexpr const char* kAtf =
    "ATF\t1.0\r\n"
    "3\t5\r\n"
    "\"AcquisitionMode=Episodic Stimulation\"\r\n"
    "\"SweepStartTimesMS=0.000,500.000\"\r\n"
    "\"Signals=\"\t\"IN 0\"\t\"IN 1\"\t\"IN 0\"\t\"IN 1\"\r\n"
    "\"Time (s)\"\t\"Trace #1 (mV)\"\t\"Trace #1 (pA)\"\t\"Trace #2 (mV)\"\t\"Trace #2\"\r\n"
    "0\t-65.1\t10\t-64\t20\r\n"
    "3.3333e-5\t-65.2\t11\t-63\t21\r\n"
    "6.6667e-5\t-65.3\t12\t-62\t22\r\n"
    "0.0001\t-65.4\t13\t-61\t23\r\n";

// Columns run sweep-major; dt comes from the whole time column, not from one
// rounded difference.
TEST(ReadAtf, ColumnsBecomeSweepsOfTheirSignal) {
  TempDir dir;
  NullSink warnings;
  const auto abf = ReadAbf(dir.Write("a.atf", kAtf), warnings);
  ASSERT_TRUE(abf) << abf.error().What();
  EXPECT_EQ(abf->format, AbfFormat::Atf);
  EXPECT_EQ(abf->version, "1.0");
  EXPECT_EQ(abf->operationMode, kAbfEpisodic);
  ExpectChannels(*abf, {{"IN 0", "mV", 0}, {"IN 1", "pA", 1}});
  ASSERT_EQ(abf->sweeps.size(), 2u);
  EXPECT_NEAR(abf->dt, 0.1 / 3, 1e-12);
  EXPECT_EQ(abf->sweeps[1].start, 500);
  EXPECT_THAT(std::vector<float>(abf->Sweep(0, 1).begin(), abf->Sweep(0, 1).end()),
              ::testing::ElementsAre(-64, -63, -62, -61));
  EXPECT_EQ(abf->Sweep(1, 1)[3], 23);
  EXPECT_EQ(StimulusOfSweep(*abf, 0).ProtocolKind, 0);
  EXPECT_FALSE(RebuildCommand(*abf, CommandDac(*abf), 0).rebuilt);
}

// LF line ends, commas and blanks around separators, and no "Signals": every
// column is then a channel of its own.
TEST(ReadAtf, CommaSeparatedWithoutSignals) {
  TempDir dir;
  NullSink warnings;
  const auto abf = ReadAbf(dir.Write("b.atf", "ATF 1.0\n0, 3\n\"Time (ms)\" , \"Vm (mV)\", \"Im (nA)\"\n"
                                              "0 , 1.5, 2\n0.5, 2.5 , 3\n\n"),
                           warnings);
  ASSERT_TRUE(abf) << abf.error().What();
  ExpectChannels(*abf, {{"Vm", "mV", 0}, {"Im", "nA", 1}});
  EXPECT_EQ(abf->sweeps.size(), 1u);
  EXPECT_DOUBLE_EQ(abf->dt, 0.5);
  EXPECT_EQ(abf->Sweep(0, 0)[1], 2.5f);
  const auto ch = ChooseChannels(*abf);
  ASSERT_TRUE(ch);
  EXPECT_EQ(ch->current, 1);
  EXPECT_EQ(ch->currentScale, 1000);
}

// Each fault names the file and, where there is one, the line.
TEST(ReadAtf, FaultsNameFileAndLine) {
  const std::string head = "ATF\t1.0\n0\t2\n\"Time (s)\"\t\"Trace #1 (mV)\"\n";
  struct Case {
    const char* name;
    std::string text;
    const char* message;
  } cases[] = {
      {"short row", head + "0\t1\n1e-4\n", "line 5: 1 values for 2 columns"},
      {"not a number", head + "0\t1\n1e-4\tx\n", "line 5, column 2: \"x\" is not a number"},
      {"one row", head + "0\t1\n", "1 data rows"},
      {"time runs back", head + "0\t1\n-1e-4\t1\n", "sample interval of"},
      {"no column counts", "ATF\t1.0\nsome\ttext\n", "line 2"},
      {"records missing", "ATF\t1.0\n4\t2\n\"Comment=\"\n", "after 1 of 4 header records"},
      {"time unit", "ATF\t1.0\n0\t2\n\"Time (h)\"\t\"Trace #1 (mV)\"\n0\t1\n1\t2\n", "neither s nor ms"},
      // Four columns of two signals, but three of them one signal's: its third sweep had no room.
      {"uneven signals", "ATF\t1.0\n1\t5\n\"Signals=\"\t\"a\"\t\"a\"\t\"b\"\t\"a\"\n\"Time (s)\"\t\"1\"\t\"2\"\t\"3\"\t\"4\"\n"
       "0\t1\t2\t3\t4\n1\t1\t2\t3\t4\n", "the signals do not have the same number of sweeps"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    NullSink warnings;
    const auto abf = ReadAbf(dir.Write("c.atf", c.text), warnings);
    ASSERT_FALSE(abf) << c.name;
    EXPECT_THAT(abf.error().What(), HasSubstr("c.atf")) << c.name;
    EXPECT_THAT(abf.error().What(), HasSubstr(c.message)) << c.name;
  }
}

}  // namespace
}  // namespace velmora
