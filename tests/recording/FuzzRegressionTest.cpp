// Inputs the fuzz targets found faults with, run again through the same
// feeding code: each must now be read (or refused) without a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/Feed.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// Found from this file, so that the test needs no help from the build.
fs::path RegressionsDir() { return fs::path(__FILE__).parent_path().parent_path() / "regressions"; }

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A folder named for no target would never be run.
TEST(FuzzRegression, EveryFolderNamesATarget) {
  ASSERT_TRUE(fs::is_directory(RegressionsDir())) << RegressionsDir();
  for (const auto& entry : fs::directory_iterator(RegressionsDir())) {
    if (!entry.is_directory()) continue;
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(std::ranges::any_of(fuzz::kTargets, [&](const fuzz::Target& t) { return t.name == name; }))
        << name << " is no fuzz target";
  }
}

TEST(FuzzRegression, KeptInputsNoLongerCrash) {
  int fed = 0;
  for (const fuzz::Target& target : fuzz::kTargets) {
    const fs::path dir = RegressionsDir() / target.name;
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      SCOPED_TRACE(entry.path().string());
      testing::TempDir tmp;
      target.feed(tmp.path(), ReadBytes(entry.path()));
      ++fed;
    }
  }
  RecordProperty("inputs", fed);
}

}  // namespace
}  // namespace velmora
