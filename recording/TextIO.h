#pragma once
// Text in and out as the lab's files have it: numbers in the usual decimal
// notation separated by blanks, LF or CR LF on input, fixed w:d fields and
// CR LF on output.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/Errors.h"

namespace velmora {

// Reads a text file line by line in large blocks, so that files of millions
// of lines go at disk speed without a stream extraction per number.
class LineReader {
 public:
  static Result<LineReader> Open(const std::filesystem::path& path);

  // The next line without its LF or CR LF; false at the end of the file.
  bool Next(std::string_view& line);
  long lineNumber() const { return line_; }    // 1-based number of the line last returned
  std::uintmax_t fileSize() const { return size_; }
  // The bytes the lines returned so far came from (for an estimate of what is left).
  std::uintmax_t bytesConsumed() const { return consumed_; }
  bool readFailed() const { return failed_; }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  bool Fill();

  std::unique_ptr<std::FILE, Closer> file_;
  std::string buffer_;
  std::size_t begin_ = 0, end_ = 0;
  bool eof_ = false, failed_ = false;
  long line_ = 0;
  std::uintmax_t size_ = 0, consumed_ = 0;
};

// Cuts the next blank-separated token off the front of `rest`; empty at the end.
std::string_view NextToken(std::string_view& rest);

enum class Scan { Number, End, NotANumber };
// Reads the next blank-separated number off the front of `rest` in one pass
// (the hot path of trace reading). On NotANumber, `bad` is the token.
Scan NextReal(std::string_view& rest, double& x, std::string_view& bad);

// A whole token as a number: optional sign, digits, point, exponent. Rejects
// "0,05", "1.5x", "nan" and "inf", which the lab's programs never write.
std::optional<double> ParseReal(std::string_view token);
// A whole token as a 32-bit integer.
std::optional<long> ParseInteger(std::string_view token);

// Pascal's x:w:d: fixed point, d decimals, right-aligned in w characters,
// wider when the number does not fit. NaN and infinity are written as 0:
// the lab's other programs cannot read them back, and one such word would
// make a whole result file unreadable.
std::string Fixed(double x, int width, int decimals);

// Writes the whole content to a temporary file beside `path` and renames it
// over `path`, so that a failure midway leaves the old file as it was.
Status WriteFileAtomically(const std::filesystem::path& path, std::string_view content);

// Appends `text` to the existing file at `path` (creating it when
// `mustExist` is false). A write that fails midway (a full disk) is cut back
// to the old end, so that the file never ends in part of a record.
Status AppendWhole(const std::filesystem::path& path, std::string_view text, bool mustExist = true);

// The file's whole content, or an Error that names it.
Result<std::string> ReadWholeFile(const std::filesystem::path& path);

}  // namespace velmora
