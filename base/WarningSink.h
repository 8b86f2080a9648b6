#pragma once
// Where analyses report to the user: warnings (the warnings window, stderr)
// and short status texts (a status label, a progress line).

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class WarningSink {
 public:
  virtual ~WarningSink() = default;
  virtual void Warn(std::string_view message) = 0;
  virtual void Status(std::string_view /*text*/) {}
  // An item of a longer run (a recording, a sweep, a directory) begins:
  // `item` of `total`. What a person watching wants to see, where the
  // statuses are the steps within each item.
  virtual void Progress(int /*item*/, int /*total*/, std::string_view text) { Status(text); }
};

// Keeps every message; what tests and batch summaries read back.
class CollectingSink : public WarningSink {
 public:
  void Warn(std::string_view message) override { warnings.emplace_back(message); }
  void Status(std::string_view text) override { statuses.emplace_back(text); }
  std::size_t size() const { return warnings.size(); }
  const std::string& operator[](std::size_t i) const { return warnings[i]; }

  std::vector<std::string> warnings;
  std::vector<std::string> statuses;
};

// For callers that have nowhere to show warnings.
class NullSink : public WarningSink {
 public:
  void Warn(std::string_view) override {}
};

}  // namespace velmora
