#include "recording/AltFormats.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::TempDir;

// A title line, then nSweeps and 21 numbers three to a line: Gsweep1 10, dGsweep 2,
// tOn 100, tStimDur 500, SampleRate 10000, tIvb 300, tIvbDur 40, Bridge 12, Gain 2,
// Vref -60, gBase 1, gStep 0.5.
std::string NewHeaderText(const std::string& nSweeps = "4") {
  const double rest[] = {10, 2, 100, 500, 9, 10000, 50, 25, 300, 40, 12, 7, 7, 7, 7, 7, 2, -60, 1, 0, 0.5};
  std::string out = "nSweeps Gsweep1 ... gStep\r\n" + nSweeps;
  for (int n = 1; n <= 21; ++n) out += fmt::format("{}{}", n % 3 == 0 ? "\r\n" : " ", rest[n - 1]);
  return out + "\r\n";
}

VarnelFiles FilesIn(const TempDir& dir, const std::string& headerDir) {
  return {(dir / "voltage.txt").string(), (dir / "current.txt").string(),
          (dir / headerDir / "parameters.txt").string(), (dir / headerDir / "GE_sequence.txt").string(), ""};
}

// An old-format experiment read after a new-format one must not inherit its
// gain, reference voltage or conductance sequence: its clamp values would change.
TEST(ReadOldHeader, TakesItsLinesAndNothingFromAnEarlierRead) {
  TempDir dir;
  VarnelFiles files = FilesIn(dir, "");
  files.HeaderFile = dir.Write("a_header.txt",
                               "Cell 7\r\nignored\r\n10 nS\r\n2\r\n100 ms\r\n500\r\nignored\r\n10000\r\n50\r\n"
                               "25\r\n300\r\nignored\r\n12\r\n")
                         .string();
  VarnelHeader header;
  header.Gain = 3, header.Vref = -70, header.gBase = 4, header.gStep = 1, header.gSeq = {0, 5, 5};
  Recording rec;
  rec.Gain = 3;
  auto shown = ReadOldHeader(files, header, rec);
  ASSERT_TRUE(shown) << shown.error().What();
  EXPECT_DOUBLE_EQ(shown->gClamped, 10);
  EXPECT_DOUBLE_EQ(shown->Bridge, 12);
  EXPECT_EQ(rec.nFiles, 25);
  EXPECT_DOUBLE_EQ(rec.tOff, 600);  // tOn + tStimDur
  EXPECT_DOUBLE_EQ(header.SampleRate, 10000);
  EXPECT_EQ(rec.Gain, 0);
  const ClampIG ig = SweepIG(FileFormat::OldVarnel, header, rec, 2);
  EXPECT_DOUBLE_EQ(ig.G, 12);  // Gsweep1 + dGsweep
  EXPECT_DOUBLE_EQ(ig.I, 75);  // Isweep1 + dIsweep
}

// The subtype comes from the header's full name, case-sensitively, and decides tOff and
// gSeq; a short sequence file leaves the sweeps it lacks at 0 and says so.
TEST(ReadNewHeader, SubtypeOfTheNameDecidesTOffAndSequence) {
  struct Case {
    std::string headerDir, subtype, sequence;
    double tOff;
    std::vector<double> gSeq;
    std::string warning;
  };
  const std::string full = "1 1.5\r\n2 0\r\n3 2.5\r\n4 -1\r\n";
  const Case cases[] = {
      {"plain", "", full, 600, {0, 0, 0, 0, 0}, ""},
      {"c.ivb", "ivb", full, 340, {0, 0, 0, 0, 0}, ""},  // tIvb + tIvbDur, whatever tOn is
      {"c.IVB", "", full, 600, {0, 0, 0, 0, 0}, ""},
      {"c.gst", "gst", full, 600, {0, 0, 0, 0, 0}, ""},
      {"c.gs1", "gs1", full, 600, {0, 1.5, 0, 2.5, -1}, ""},
      {"short.gs1", "gs1", "1 1.5\r\n2\r\n", 600, {0, 1.5, 0, 0, 0},
       "GE_sequence.txt: 3 of 4 sweeps have no conductance; they are taken as 0"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    dir.Write(c.headerDir + "/parameters.txt", NewHeaderText());
    dir.Write(c.headerDir + "/GE_sequence.txt", c.sequence);
    VarnelHeader header;
    Recording rec;
    CollectingSink warnings;
    auto shown = ReadNewHeader(FilesIn(dir, c.headerDir), header, rec, warnings);
    ASSERT_TRUE(shown) << c.headerDir << ": " << shown.error().What();
    EXPECT_EQ(header.HdrSubtype, c.subtype) << c.headerDir;
    EXPECT_DOUBLE_EQ(rec.tOff, c.tOff) << c.headerDir;
    EXPECT_EQ(header.gSeq, c.gSeq) << c.headerDir;
    EXPECT_EQ(rec.nFiles, 4) << c.headerDir;
    EXPECT_DOUBLE_EQ(shown->gClamped, 12) << c.headerDir;  // gBase * Gain + Gsweep1
    EXPECT_EQ(warnings.size(), c.warning.empty() ? 0u : 1u) << c.headerDir;
    if (!c.warning.empty()) {
      EXPECT_THAT(warnings.warnings, ElementsAre(HasSubstr(c.warning))) << c.headerDir;
    }
  }
}

// A damaged header stops the read with the file, line and value named, and leaves the state as it was.
TEST(ReadHeaders, FaultsNameTheFileAndKeepTheState) {
  struct Case {
    bool oldFormat;
    std::string text;  // empty: no file
    std::string message;
  };
  std::string badGain = NewHeaderText();
  badGain.replace(badGain.find("7 7 2\r\n"), 5, "7 7 2x");
  const std::string truncated = NewHeaderText().substr(0, NewHeaderText().rfind("0.5"));
  const Case cases[] = {
      {false, NewHeaderText("51"), "parameters.txt: line 2, nSweepsHdr: 51 sweeps is outside 1..50"},
      {false, NewHeaderText("2.5"), "line 2, nSweepsHdr: \"2.5\" is not a whole number"},
      {false, badGain, "parameters.txt: line 7, Gain: \"2x\" is not a number"},
      {false, truncated, "holds 21 of the 22 header numbers; gStep is missing"},
      {false, "", "parameters.txt: cannot open"},
      {true, "a\r\nb\r\n10\r\n2\r\n1O0\r\n", "parameters.txt: line 5, tOn: \"1O0\" is not a number"},
      {true, "a\r\nb\r\n10\r\n\r\n", "parameters.txt: line 4, dGsweep: holds no number"},
      {true, "a\r\nb\r\n10\r\n2\r\n1\r\n5\r\n", "parameters.txt: ends after line 6; the header has 13 lines"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    if (!c.text.empty()) dir.Write("parameters.txt", c.text);
    const VarnelFiles files = FilesIn(dir, "");
    VarnelHeader header;
    header.Gain = 5;
    Recording rec;
    rec.nFiles = 3, rec.tOff = 77;
    NullSink warnings;
    auto shown = c.oldFormat ? ReadOldHeader(files, header, rec) : ReadNewHeader(files, header, rec, warnings);
    ASSERT_FALSE(shown) << c.message;
    EXPECT_THAT(shown.error().What(), HasSubstr(c.message));
    EXPECT_EQ(header.Gain, 5) << c.message;
    EXPECT_EQ(rec.nFiles, 3) << c.message;
    EXPECT_EQ(rec.tOff, 77) << c.message;
  }
}

// Hand-computed with Gsweep1 10, dGsweep 2, Isweep1 100, dIsweep 20, gBase 1,
// Erev 0, Vref -60, gStep 0.5 and gSeq 4, 0, 0 for sweeps 1..3.
TEST(SweepIG, ClampValuesFollowTheFormulaWithAndWithoutGain) {
  VarnelHeader h;
  h.Gsweep1 = 10, h.dGsweep = 2, h.Isweep1 = 100, h.dIsweep = 20;
  h.gBase = 1, h.Erev = 0, h.Vref = -60, h.gStep = 0.5, h.gSeq = {0, 4, 0, 0};
  struct Case {
    int k;
    double Gain, G, I;
  };
  const Case cases[] = {
      {3, 2, 19, 160},  // gSeq[3] = 0: g = 3 * gStep = 1.5; the whole sum is divided by Gain
      {3, 0, 14, 230},  // no gain: nothing is divided, the added conductance drops out of G
      {1, 2, 20, 290},  // g = gSeq[1] = 4
      {7, 2, 31, 320},  // beyond the sequence: g = 7 * gStep
  };
  Recording rec;
  for (const Case& c : cases) {
    h.Gain = c.Gain;
    for (const FileFormat f : {FileFormat::OldVarnel, FileFormat::NewVarnel}) {
      const ClampIG ig = SweepIG(f, h, rec, c.k);
      EXPECT_DOUBLE_EQ(ig.G, c.G) << "k " << c.k << " Gain " << c.Gain;
      EXPECT_DOUBLE_EQ(ig.I, c.I) << "k " << c.k << " Gain " << c.Gain;
    }
  }
  rec.Gfile[2] = 5, rec.Ifile[2] = -30;
  EXPECT_EQ(SweepIG(FileFormat::Main, h, rec, 2).G, 5);
  EXPECT_EQ(SweepIG(FileFormat::Main, h, rec, 2).I, -30);
}

// Line j of the file holds 10 j + c in column c.
std::string ColumnText(int lines, int columns = 3) {
  std::string out;
  for (int j = 0; j < lines; ++j)
    for (int c = 1; c <= columns; ++c) out += fmt::format("{}{}", 10 * j + c, c < columns ? " " : "\r\n");
  return out;
}

struct ColumnFixture {
  TempDir dir;
  VarnelFiles files;
  VarnelHeader header;
  Recording rec;
  CollectingSink warnings;
  ColumnFixture(const std::string& volt, const std::string& curr) : files(FilesIn(dir, "")) {
    dir.Write("voltage.txt", volt);
    dir.Write("current.txt", curr);
    header.SampleRate = 10000;  // Hz
  }
  Status Read(int k, int skip) {  // as the read pipeline does: voltage, then current
    if (Status s = ReadColumnFile(files, header, 1, k, skip, rec, warnings); !s) return s;
    return ReadColumnFile(files, header, 2, k, skip, rec, warnings);
  }
};

// The decimation keeps lines 0, s, 2s, ... and dt is the time of the second kept line.
TEST(ReadColumnFile, KeepsEverySkipthLineAndItsTime) {
  struct Case {
    int skip, step;
    double dt;  // s
  };
  for (const Case c : {Case{30, 30, 0.003}, Case{0, 1, 0.0001}, Case{1, 1, 0.0001}}) {
    ColumnFixture f(ColumnText(100), ColumnText(100));
    ASSERT_TRUE(f.Read(2, c.skip)) << c.skip;
    std::vector<double> want;  // 2, 302, 602, 902 for skip 30
    for (int j = 0; j < 100; j += c.step) want.push_back(10 * j + 2);
    const SweepSlot& slot = f.rec.traces[2];
    EXPECT_EQ(slot.V, want) << c.skip;
    EXPECT_EQ(slot.Ireal, want) << c.skip;
    EXPECT_EQ(slot.nLast, static_cast<int>(want.size()) - 1) << c.skip;
    EXPECT_DOUBLE_EQ(f.rec.dt, c.dt) << c.skip;
    EXPECT_EQ(f.rec.nFiles, 3) << c.skip;
    EXPECT_EQ(f.warnings.size(), 0u) << c.skip;
  }
}

// Sweeps hold 900,001 samples: the read stops after line 900000, whatever follows.
TEST(ReadColumnFile, StopsAfterSample900000) {
  std::string text;
  for (int j = 0; j < 1'000'000; ++j) text += j == 900'000 ? "9\n" : j == 900'001 ? "5 5\n" : "1\n";
  struct Case {
    int skip, nLast;
  };
  for (const Case c : {Case{1, 900'000}, Case{2, 450'000}}) {
    ColumnFixture f(text, text);
    ASSERT_TRUE(f.Read(1, c.skip)) << c.skip;
    EXPECT_EQ(f.rec.traces[1].nLast, c.nLast) << c.skip;
    EXPECT_EQ(f.rec.traces[1].V.back(), 9) << c.skip;
    EXPECT_EQ(f.rec.nFiles, 1) << c.skip;  // line 900001 with its two numbers was not read
  }
}

// Voltage and current files of different lengths must not let an analysis read past the shorter plane.
TEST(ReadColumnFile, PlanesOfDifferentLengthCutTheSweepToTheShorter) {
  for (const bool shortVoltage : {true, false}) {
    ColumnFixture f(ColumnText(shortVoltage ? 3 : 5), ColumnText(shortVoltage ? 5 : 3));
    ASSERT_TRUE(f.Read(1, 1));
    EXPECT_EQ(f.rec.traces[1].nLast, 2) << shortVoltage;
    EXPECT_THAT(f.warnings.warnings, ElementsAre(HasSubstr("current.txt: holds"))) << shortVoltage;
    EXPECT_THAT(f.warnings[0], HasSubstr("sweep 1 is cut to the shorter")) << shortVoltage;
  }
}

// A line too short for the sweep is a missing value, not a reason to drop the sweep;
// an empty last line is no sample and must not make the sweep count 0.
TEST(ReadColumnFile, ShortLinesGiveZeroAndBlankLinesAreNoSamples) {
  const std::string text = "1 2 3\r\n4 5\r\n7 8 9\r\n10\r\n\r\n";
  ColumnFixture f(text, text);
  ASSERT_TRUE(f.Read(3, 1));
  EXPECT_THAT(f.rec.traces[3].V, ElementsAre(3, 0, 9, 0));
  EXPECT_EQ(f.rec.nFiles, 1);
  ASSERT_EQ(f.warnings.size(), 2u);  // one per file
  EXPECT_THAT(f.warnings[0],
              HasSubstr("voltage.txt: 2 lines hold fewer than 3 numbers, the first being line 2"));
}

// A damaged column file stops the read with its name and line, and leaves the slot as it was.
TEST(ReadColumnFile, FaultsNameTheFileAndLineAndKeepTheSlot) {
  struct Case {
    std::string volt;
    double SampleRate;  // Hz
    std::string message;
  };
  const Case cases[] = {
      {"1 2 3\r\n4 5,5 6\r\n", 1000, "voltage.txt: line 2, column 2: \"5,5\" is not a number"},
      {"1 2\r\n" + ColumnText(1, 51), 1000, "voltage.txt: line 2: holds more than 50 numbers"},
      {"", 1000, "voltage.txt: holds no number"},
      {"1\r\n2\r\n", 0, "parameters.txt: SampleRate: 0 Hz is not a sampling rate"},
  };
  for (const Case& c : cases) {
    ColumnFixture f(c.volt, "");
    f.header.SampleRate = c.SampleRate;
    f.rec.traces[2].V = {7};
    f.rec.traces[2].nLast = 0;
    const Status s = ReadColumnFile(f.files, f.header, 1, 2, 1, f.rec, f.warnings);
    ASSERT_FALSE(s) << c.message;
    EXPECT_THAT(s.error().What(), HasSubstr(c.message));
    EXPECT_THAT(f.rec.traces[2].V, ElementsAre(7)) << c.message;
    EXPECT_EQ(f.rec.traces[2].nLast, 0) << c.message;
  }
  ColumnFixture f("1\r\n", "1\r\n");
  f.files.CurrFile = (f.dir / "gone.txt").string();
  const Status missing = ReadColumnFile(f.files, f.header, 2, 1, 1, f.rec, f.warnings);
  ASSERT_FALSE(missing);
  EXPECT_THAT(missing.error().What(), HasSubstr("gone.txt: cannot open"));
}

}  // namespace
}  // namespace velmora
