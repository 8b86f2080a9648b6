#include "recording/ListOfFiles.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recording/ParameterFile.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::ParameterFileText;
using testing::TempDir;

// A parameter file whose Duration (field 1) is `duration`; every other field 1 or text.
std::string ParameterText(double duration) {
  return ParameterFileText(kRequiredParameterFields, [&](int n) -> std::string {
    if (n == 1) return fmt::format("{}", duration);
    return KindOfField(n) == FieldKind::Text ? "text" : "1";
  });
}

// The recorder may end the list on a trace line; that entry must still be listed.
TEST(ReadListOfFiles, OddLastLineIsAPairWithAnEmptySecondLine) {
  for (const std::string eol : {"\r\n", "\n"}) {
    SCOPED_TRACE(eol == "\n" ? "LF" : "CR LF");
    TempDir data, home;
    data.Write("ListOfFiles", "a_trace1_Err.cc" + eol + "a.par" + eol + "b_trace2_Err.cc" + eol + "b.par" +
                                  eol + "c_trace3_Err.cc");
    Recording rec;
    CollectingSink warnings;
    auto list = ReadListOfFiles(data.path(), home.path(), rec, warnings);
    ASSERT_TRUE(list) << list.error().What();
    ASSERT_EQ(list->size(), 3u);
    EXPECT_EQ((*list)[1].trace, "b_trace2_Err.cc");
    EXPECT_EQ((*list)[1].second, "b.par");
    EXPECT_EQ((*list)[2].trace, "c_trace3_Err.cc");
    EXPECT_EQ((*list)[2].second, "");
    EXPECT_EQ(rec.nListed, 3);
    EXPECT_EQ(warnings.size(), 0u);
    EXPECT_EQ(home.Read("PreviousDir.txt"), data.path().string() + "\r\n");
    EXPECT_EQ(PreviousDir(home.path()), data.path().string());
  }
}

// The last second name is the parameter file of the data directory; a damaged one
// is the user's to know about, but must not hide the list.
TEST(ReadListOfFiles, LastSecondNameIsReadAsParameterFileAndItsFaultIsAWarning) {
  TempDir data, home;
  data.Write("a.par", ParameterText(111));
  data.Write("b.par", ParameterText(250.5));
  data.Write("broken.par", "label 1\r\n12,5\r\n");
  struct Case {
    std::string last;
    double Duration;
    std::string warning;
  };
  const Case cases[] = {{"b.par", 250.5, ""},
                        {(data / "a.par").string(), 111, ""},
                        {"broken.par", 0, "broken.par: line 2, field 1: \"12,5\" is not a number"}};
  for (const Case& c : cases) {
    data.Write("ListOfFiles", "x_trace1_Err.cc\r\nbroken.par\r\ny_trace2_Err.cc\r\n" + c.last + "\r\n");
    Recording rec;
    CollectingSink warnings;
    auto list = ReadListOfFiles(data.path(), home.path(), rec, warnings);
    ASSERT_TRUE(list) << c.last;
    EXPECT_EQ(list->size(), 2u) << c.last;
    EXPECT_DOUBLE_EQ(rec.par.Duration, c.Duration) << c.last;
    if (c.warning.empty()) {
      EXPECT_EQ(warnings.size(), 0u) << c.last;
    } else {
      ASSERT_EQ(warnings.size(), 1u) << c.last;
      EXPECT_THAT(warnings[0], HasSubstr(c.warning)) << c.last;
    }
  }
}

// A directory without a list must not overwrite the remembered directory nor keep the old count.
TEST(ReadListOfFiles, AbsentListIsEmptyAndLeavesPreviousDirAlone) {
  TempDir data, home;
  home.Write("PreviousDir.txt", "/data/earlier\r\n");
  Recording rec;
  rec.nListed = 7;
  NullSink warnings;
  auto list = ReadListOfFiles(data.path(), home.path(), rec, warnings);
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->empty());
  EXPECT_EQ(rec.nListed, 0);
  EXPECT_EQ(PreviousDir(home.path()), "/data/earlier");
  EXPECT_EQ(PreviousDir(data.path()), "");
}

// Entries 2 and 5 are lines 3, 4, 9 and 10. An absolute name inside the data
// directory is still its file; a file already gone still loses its line.
TEST(DeleteSelectedRecordings, RemovesTheLinesAndFilesOfTheSelectedEntries) {
  TempDir data;
  std::string list;
  for (int n = 1; n <= 6; ++n) {
    data.Write(fmt::format("t{}.cc", n), "x");
    if (n != 2) data.Write(fmt::format("t{}.par", n), "x");
    const std::string par = n == 5 ? (data / "t5.par").string() : fmt::format("t{}.par", n);
    list += fmt::format("t{}.cc\r\n{}\r\n", n, par);
  }
  data.Write("ListOfFiles", list);
  CollectingSink warnings;
  ASSERT_TRUE(DeleteSelectedRecordings(data.path(), {1, 4, 4}, warnings));
  EXPECT_EQ(data.Read("ListOfFiles"),
            "t1.cc\r\nt1.par\r\nt3.cc\r\nt3.par\r\nt4.cc\r\nt4.par\r\nt6.cc\r\nt6.par\r\n");
  for (int n = 1; n <= 6; ++n) {
    const bool kept = n != 2 && n != 5;
    EXPECT_EQ(fs::exists(data / fmt::format("t{}.cc", n)), kept) << n;
    EXPECT_EQ(fs::exists(data / fmt::format("t{}.par", n)), kept) << n;
  }
  EXPECT_EQ(warnings.size(), 0u);
}

// The list is plain text: a name leading out of the data directory must not
// delete a file there. Its lines go; the file stays and the user is told.
TEST(DeleteSelectedRecordings, NeverDeletesOutsideTheDataDirectory) {
  TempDir outer;
  const fs::path data = outer / "data";
  fs::create_directories(data / "sub");
  outer.Write("victim.txt", "keep me");
  fs::create_symlink(outer / "victim.txt", data / "link.txt");
  const std::string names[] = {"../victim.txt", (outer / "victim.txt").string(), "sub/../../victim.txt",
                               "link.txt", "."};
  for (const std::string& name : names) {
    outer.Write("data/inside.cc", "x");
    outer.Write("data/ListOfFiles", "inside.cc\r\n" + name + "\r\nother.cc\r\nother.par\r\n");
    CollectingSink warnings;
    ASSERT_TRUE(DeleteSelectedRecordings(data, {0}, warnings)) << name;
    EXPECT_EQ(outer.Read("victim.txt"), "keep me") << name;
    EXPECT_TRUE(fs::exists(data)) << name;
    EXPECT_FALSE(fs::exists(data / "inside.cc")) << name;
    EXPECT_EQ(outer.Read("data/ListOfFiles"), "other.cc\r\nother.par\r\n") << name;
    ASSERT_EQ(warnings.size(), 1u) << name;
    EXPECT_THAT(warnings[0],
                HasSubstr("ListOfFiles: \"" + name + "\" lies outside the data directory; not deleted"))
        << name;
  }
}

}  // namespace
}  // namespace velmora
