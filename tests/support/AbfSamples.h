#pragma once
// The real ABF recordings kept beside the source tree (never in it): tests
// that read them skip, saying why, where a clone has no such folder.

#include <gtest/gtest.h>

#include <filesystem>

namespace velmora::testing {

inline const std::filesystem::path kAbfSamples =
    std::filesystem::path(VELMORA_SOURCE_DIR) / ".." / "shared" / "abf-samples";

// A fixture whose tests need the samples.
class WithAbfSamples : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(kAbfSamples))
      GTEST_SKIP() << "sample recordings absent: " << kAbfSamples
                   << " (they are kept beside the source tree, not in it)";
  }
};

}  // namespace velmora::testing
