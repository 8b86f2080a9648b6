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
#include <vector>

#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

// What a reader takes from one file at most. A longer line or a larger file
// ends the read with an Error that says which limit was reached: a damaged
// file, or a link to a device, must cost neither all memory nor all time.
struct ReadLimits {
  std::size_t maxLine = 0;     // bytes of one line without its line end
  std::uintmax_t maxSize = 0;  // bytes of the whole file; 0: the reader's own record count bounds it
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct OpenedFile {
  FilePtr file;
  std::uintmax_t size = 0;  // bytes when opened
};

// Opens `path` for reading when it is a regular file or a link to one. A
// pipe would block the read for ever, a device never ends, a directory
// holds no lines: each is an Error naming the path and what it is, and so
// is a file larger than `maxSize` (0: any size).
Result<OpenedFile> OpenRegularFile(const std::filesystem::path& path, std::uintmax_t maxSize = 0);

// Reads a text file line by line in large blocks, so that files of millions
// of lines go at disk speed without a stream extraction per number.
class LineReader {
 public:
  static Result<LineReader> Open(const std::filesystem::path& path, const ReadLimits& limits);

  // The next line without its LF or CR LF; false at the end of the file, and
  // when the read failed or reached a limit (see status()).
  bool Next(std::string_view& line);
  long lineNumber() const { return line_; }  // 1-based number of the line last returned
  // Ok, or why the lines ended before the end of the file.
  Status status() const;

 private:
  bool Fill();
  bool Stop(std::string message);

  std::string path_;
  ReadLimits limits_;
  FilePtr file_;
  std::string buffer_;
  std::size_t begin_ = 0, end_ = 0;
  std::uintmax_t read_ = 0;  // bytes read from the file so far
  bool eof_ = false;
  long line_ = 0;
  std::optional<Error> error_;
};

// Every line of a small file (a list, a parameter file, a header).
Result<std::vector<std::string>> ReadLines(const std::filesystem::path& path, const ReadLimits& limits);

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

// A file written under a fresh name beside `path` and renamed over it, so
// that a failure midway leaves the old file as it was. The temporary file
// is created exclusively and never through a link: a link planted under its
// name cannot send the content elsewhere. `path` itself must not be a link
// or a special file, and must lie inside the data directories held (see
// DataDirLock).
class PendingFile {
 public:
  static Result<PendingFile> Create(const std::filesystem::path& path);
  PendingFile(PendingFile&& other) noexcept;
  PendingFile& operator=(PendingFile&& other) noexcept;
  ~PendingFile();  // removes the temporary file unless committed

  Status Write(std::string_view text);
  Status Commit();  // closes and renames over `path`

 private:
  PendingFile() = default;
  void Discard();

  std::filesystem::path path_, temp_;
  int fd_ = -1;
};

// A PendingFile with the whole content.
Status WriteFileAtomically(const std::filesystem::path& path, std::string_view content);

// A regular file opened for appending, never through a link, inside the
// data directories held. It remembers its size at opening, so that the
// records of a failed action can be taken back.
class AppendFile {
 public:
  static Result<AppendFile> Open(const std::filesystem::path& path, bool create);
  AppendFile(AppendFile&& other) noexcept;
  AppendFile& operator=(AppendFile&& other) noexcept;
  ~AppendFile();

  // Writes `text` whole, or returns an Error naming the file (and what got
  // written stays until CutBack).
  Status Append(std::string_view text);
  // Back to the size at opening.
  Status CutBack();
  const std::filesystem::path& path() const { return path_; }

 private:
  AppendFile() = default;

  std::filesystem::path path_;
  int fd_ = -1;
  std::uintmax_t sizeAtOpen_ = 0;
};

// Appends `text` to the existing file at `path` (creating it when
// `mustExist` is false). A write that fails midway (a full disk) is cut back
// to the old end, so that the file never ends in part of a record.
Status AppendWhole(const std::filesystem::path& path, std::string_view text, bool mustExist = true);

// The file's whole content, or an Error that names it.
Result<std::string> ReadWholeFile(const std::filesystem::path& path);

// An action's hold on a data directory. It is an advisory lock (flock on
// the file ".velmora.lock" in the directory), so that two actions writing
// into one directory run one after the other; and while any directory is
// held, PendingFile and AppendFile write only inside a held one, so that a
// name taken from a file ("../x_trace1_Err.FC") cannot lead a write out.
// Acquired again by the same process, the hold is counted, not taken twice.
class DataDirLock {
 public:
  // Waits while another process holds the directory, saying so through `warnings`.
  static Result<DataDirLock> Acquire(const std::filesystem::path& dir, WarningSink& warnings);
  DataDirLock(DataDirLock&& other) noexcept;
  DataDirLock& operator=(DataDirLock&& other) noexcept;
  ~DataDirLock();

 private:
  DataDirLock() = default;
  void Release();

  std::filesystem::path dir_;  // canonical; empty when released or moved from
};

}  // namespace velmora
