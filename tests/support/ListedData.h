#pragma once
// A data directory's list of files read into a fresh session, and the
// eleven F-I result files read back: what the tests of whole runs share.

#include <filesystem>
#include <string>
#include <vector>

#include "session/Session.h"

namespace velmora::testing {

// The session of `dir` with its list of files read, nothing loaded.
Session ListedSession(const std::filesystem::path& dir);

// Every entry of the list: the selection of a run over all recordings.
std::vector<int> AllListed(const Session& session);

// The texts of the eleven result files in `dir`, in their order; empty for one missing.
std::vector<std::string> ResultFileTexts(const std::filesystem::path& dir);

}  // namespace velmora::testing
