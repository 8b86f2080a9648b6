#pragma once
// A fresh directory per test, removed afterwards, with helpers to write files.

#include <filesystem>
#include <string>
#include <string_view>

namespace velmora::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }
  // Writes `content` byte for byte and returns the file's path.
  std::filesystem::path Write(std::string_view name, std::string_view content) const;
  std::string Read(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace velmora::testing
