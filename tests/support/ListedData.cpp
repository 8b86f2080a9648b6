#include "support/ListedData.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <numeric>

#include "recording/ListOfFiles.h"
#include "spikes/ResultFiles.h"

namespace velmora::testing {

Session ListedSession(const std::filesystem::path& dir) {
  Session session;
  session.dataDir = dir;
  NullSink warnings;
  auto listed = ReadListOfFiles(dir, dir, session.rec, warnings);
  EXPECT_TRUE(listed) << dir;
  if (listed) session.listed = *listed;
  return session;
}

std::vector<int> AllListed(const Session& session) {
  std::vector<int> all(session.listed.size());
  std::iota(all.begin(), all.end(), 0);
  return all;
}

std::vector<std::string> ResultFileTexts(const std::filesystem::path& dir) {
  std::vector<std::string> texts;
  for (std::string_view name : kResultFileNames) {
    std::ifstream in(dir / name, std::ios::binary);
    texts.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return texts;
}

}  // namespace velmora::testing
