#include "recording/TextIO.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <system_error>
#include <utility>

namespace velmora {

namespace fs = std::filesystem;

namespace {
constexpr std::size_t kBlock = 1 << 20;
constexpr std::string_view kLockFileName = ".velmora.lock";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string SystemMessage(int err) { return std::generic_category().message(err); }

Error FileError(const fs::path& path, std::string message) { return Error{path.string(), 0, "", std::move(message)}; }

std::string_view KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a pipe";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

// Writes all of `text`; 0 or the errno of the write that failed.
int WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

// ---- the data directories held by this process

struct HeldDir {
  fs::path dir;  // canonical
  int fd = -1;   // of the lock file; -1 in a directory that cannot hold one
  int count = 0;
};

std::mutex& HeldMutex() {
  static std::mutex m;
  return m;
}

std::vector<HeldDir>& Held() {
  static std::vector<HeldDir> held;
  return held;
}

bool Inside(const fs::path& path, const fs::path& dir) {
  const fs::path rel = path.lexically_relative(dir);
  return !rel.empty() && *rel.begin() != "..";
}

// The checks every write makes before it touches `path`: inside the held
// directories (when any is held), and not a link or a special file, which
// would send the content elsewhere or block.
Status CheckWriteTarget(const fs::path& path, std::string_view notDone) {
  {
    const std::lock_guard lock(HeldMutex());
    if (!Held().empty()) {
      std::error_code ec;
      const fs::path name = path.filename();
      const fs::path parent = fs::weakly_canonical(fs::absolute(path, ec).parent_path(), ec);
      const bool inside = !ec && name != "." && name != ".." &&
                          std::any_of(Held().begin(), Held().end(),
                                      [&](const HeldDir& h) { return Inside(parent / name, h.dir); });
      if (!inside)
        return FileError(path, fmt::format("lies outside the data directory {}; {}", Held().back().dir.string(),
                                           notDone));
    }
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return Ok();  // not there yet
  if (S_ISLNK(st.st_mode))
    return FileError(path, fmt::format("is a symbolic link; {} (a write never follows one)", notDone));
  if (!S_ISREG(st.st_mode))
    return FileError(path, fmt::format("is {}, not a regular file; {}", KindOf(st.st_mode), notDone));
  return Ok();
}

std::string FreshSuffix() {
  static std::atomic<unsigned> counter{0};
  const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  return fmt::format(".tmp-velmora-{}-{:x}-{}", ::getpid(), now & 0xFFFFFF, counter++);
}

}  // namespace

// ---- reading

Result<OpenedFile> OpenRegularFile(const fs::path& path, std::uintmax_t maxSize) {
  // Non-blocking, so that opening a pipe returns at once and can be refused.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return FileError(path, "cannot open: " + SystemMessage(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return FileError(path, fmt::format("is {}, not a regular file; not read", KindOf(st.st_mode)));
  }
  const auto size = static_cast<std::uintmax_t>(st.st_size);
  if (maxSize > 0 && size > maxSize) {
    ::close(fd);
    return FileError(path, fmt::format("is {} bytes, more than such a file holds ({} at most); not read", size,
                                       maxSize));
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  OpenedFile opened{FilePtr(::fdopen(fd, "rb")), size};
  if (!opened.file) {
    const int err = errno;
    ::close(fd);
    return FileError(path, "cannot open: " + SystemMessage(err));
  }
  return opened;
}

Result<LineReader> LineReader::Open(const fs::path& path, const ReadLimits& limits) {
  auto opened = OpenRegularFile(path, limits.maxSize);
  if (!opened) return opened.error();
  LineReader r;
  r.path_ = path.string();
  r.limits_ = limits;
  r.file_ = std::move(opened->file);
  // A small file gets a small buffer: lists and side files are opened often.
  r.buffer_.resize(static_cast<std::size_t>(std::clamp<std::uintmax_t>(opened->size + 1, 4096, kBlock)));
  return r;
}

Status LineReader::status() const {
  if (error_) return *error_;
  return Ok();
}

bool LineReader::Stop(std::string message) {
  error_ = Error{path_, line_ + 1, "", std::move(message)};
  begin_ = end_ = 0;
  eof_ = true;
  return false;
}

bool LineReader::Fill() {
  if (eof_) return false;
  if (begin_ > 0) {  // keep the partial line at the front
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // a long line, within maxLine
  const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_.get());
  if (got == 0) {
    eof_ = true;
    if (std::ferror(file_.get())) return Stop("read error");
    return false;
  }
  end_ += got;
  read_ += got;
  // The file grew while it was read.
  if (limits_.maxSize > 0 && read_ > limits_.maxSize)
    return Stop(fmt::format("the file grows beyond {} bytes, more than such a file holds; not read", limits_.maxSize));
  return true;
}

bool LineReader::Next(std::string_view& line) {
  if (error_) return false;
  const auto tooLong = [&] {
    return Stop(fmt::format("longer than {} bytes, more than a line of such a file holds; not read", limits_.maxLine));
  };
  std::size_t scanFrom = begin_;
  for (;;) {
    const void* nl = std::memchr(buffer_.data() + scanFrom, '\n', end_ - scanFrom);
    if (nl) {
      const std::size_t pos = static_cast<const char*>(nl) - buffer_.data();
      std::size_t stop = pos;
      if (stop > begin_ && buffer_[stop - 1] == '\r') --stop;
      if (stop - begin_ > limits_.maxLine) return tooLong();
      line = std::string_view(buffer_.data() + begin_, stop - begin_);
      begin_ = pos + 1;
      ++line_;
      return true;
    }
    const std::size_t scanned = end_ - begin_;
    if (scanned > limits_.maxLine + 1) return tooLong();  // + 1: a CR may come before the LF
    if (!Fill()) break;
    scanFrom = begin_ + scanned;
  }
  if (error_ || begin_ == end_) return false;
  // The last line has no line end.
  std::size_t stop = end_;
  if (buffer_[stop - 1] == '\r') --stop;
  if (stop - begin_ > limits_.maxLine) return tooLong();
  line = std::string_view(buffer_.data() + begin_, stop - begin_);
  begin_ = end_;
  ++line_;
  return true;
}

Result<std::vector<std::string>> ReadLines(const fs::path& path, const ReadLimits& limits) {
  auto reader = LineReader::Open(path, limits);
  if (!reader) return reader.error();
  std::vector<std::string> lines;
  std::string_view line;
  while (reader->Next(line)) lines.emplace_back(line);
  if (Status s = reader->status(); !s) return s.error();
  return lines;
}

Result<std::string> ReadWholeFile(const fs::path& path) {
  auto opened = OpenRegularFile(path);
  if (!opened) return opened.error();
  std::string content;
  char block[1 << 16];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, opened->file.get())) > 0) content.append(block, got);
  if (std::ferror(opened->file.get())) return FileError(path, "read error");
  return content;
}

// ---- numbers

std::string_view NextToken(std::string_view& rest) {
  std::size_t i = 0;
  while (i < rest.size() && IsBlank(rest[i])) ++i;
  std::size_t j = i;
  while (j < rest.size() && !IsBlank(rest[j])) ++j;
  const std::string_view token = rest.substr(i, j - i);
  rest.remove_prefix(j);
  return token;
}

namespace {
bool StartsNumber(std::string_view s) {
  if (s.empty()) return false;
  const char c = s.front() == '-' && s.size() > 1 ? s[1] : s.front();
  return std::isdigit(static_cast<unsigned char>(c)) || c == '.';  // not nan, inf
}
}  // namespace

Scan NextReal(std::string_view& rest, double& x, std::string_view& bad) {
  std::size_t i = 0;
  while (i < rest.size() && IsBlank(rest[i])) ++i;
  if (i == rest.size()) {
    rest = {};
    return Scan::End;
  }
  std::string_view s = rest.substr(i);
  if (s.front() == '+') s.remove_prefix(1);
  if (StartsNumber(s)) {
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), x);
    const std::size_t used = static_cast<std::size_t>(end - s.data());
    if (ec == std::errc() && (used == s.size() || IsBlank(s[used]))) {
      rest = s.substr(used);
      return Scan::Number;
    }
  }
  rest.remove_prefix(i);
  bad = NextToken(rest);
  return Scan::NotANumber;
}

std::optional<double> ParseReal(std::string_view token) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  if (!StartsNumber(token)) return std::nullopt;
  double x = 0;
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), x);
  if (ec != std::errc() || end != token.data() + token.size()) return std::nullopt;
  return x;
}

std::optional<long> ParseInteger(std::string_view token) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  if (token.empty()) return std::nullopt;
  std::int32_t x = 0;
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), x);
  if (ec != std::errc() || end != token.data() + token.size()) return std::nullopt;
  return x;
}

std::string Fixed(double x, int width, int decimals) {
  // An exact tie (0.125 to two decimals) rounds away from zero, as the lab's
  // other programs write it; the library would round it to even.
  // A tie is a dyadic fraction m / 2^(decimals+1): only then is the exact
  // expansion looked at (a 5 right after the last kept decimal, nothing beyond).
  if (!std::isfinite(x)) x = 0;
  const double scaled = std::ldexp(x, decimals + 1);
  if (decimals >= 0 && decimals < 30 && scaled == std::trunc(scaled)) {
    const std::string exact = fmt::format("{:.{}f}", x, decimals + 21);
    const std::string_view tail = std::string_view(exact).substr(exact.size() - 21);
    if (tail.front() == '5' && tail.find_first_not_of('0', 1) == std::string_view::npos)
      x = std::nextafter(x, x > 0 ? HUGE_VAL : -HUGE_VAL);
  }
  return fmt::format("{:{}.{}f}", x, width, decimals);
}

// ---- writing

Result<PendingFile> PendingFile::Create(const fs::path& path) {
  if (Status s = CheckWriteTarget(path, "not replaced"); !s) return s.error();
  PendingFile f;
  f.path_ = path;
  // A fresh name, created exclusively: whatever lies under an old one stays untouched.
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path temp = path;
    temp += FreshSuffix();
    f.fd_ = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (f.fd_ >= 0) {
      f.temp_ = std::move(temp);
      return f;
    }
    if (errno != EEXIST) break;
  }
  return FileError(path, "cannot write: " + SystemMessage(errno));
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : path_(std::move(other.path_)), temp_(std::exchange(other.temp_, {})), fd_(std::exchange(other.fd_, -1)) {}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
  if (this != &other) {
    Discard();
    path_ = std::move(other.path_);
    temp_ = std::exchange(other.temp_, {});
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

PendingFile::~PendingFile() { Discard(); }

void PendingFile::Discard() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

Status PendingFile::Write(std::string_view text) {
  if (fd_ < 0) return FileError(path_, "cannot write: the file is closed");
  if (const int err = WriteAll(fd_, text); err != 0) {
    Discard();
    return FileError(path_, "cannot write: " + SystemMessage(err));
  }
  return Ok();
}

Status PendingFile::Commit() {
  if (fd_ < 0) return FileError(path_, "cannot write: the file is closed");
  const int closed = ::close(std::exchange(fd_, -1));
  if (closed != 0) {
    const int err = errno;
    Discard();
    return FileError(path_, "cannot write: " + SystemMessage(err));
  }
  // rename replaces a link at `path` itself, never what it points to.
  if (::rename(temp_.c_str(), path_.c_str()) != 0) {
    const int err = errno;
    Discard();
    return FileError(path_, "cannot replace: " + SystemMessage(err));
  }
  temp_.clear();
  return Ok();
}

Status WriteFileAtomically(const fs::path& path, std::string_view content) {
  auto file = PendingFile::Create(path);
  if (!file) return file.error();
  if (Status s = file->Write(content); !s) return s;
  return file->Commit();
}

Result<AppendFile> AppendFile::Open(const fs::path& path, bool create) {
  if (Status s = CheckWriteTarget(path, "not written"); !s) return s.error();
  // O_NONBLOCK: a pipe planted after the check must not block the open.
  const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0);
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    if (errno == ELOOP) return FileError(path, "is a symbolic link; not written (a write never follows one)");
    if (errno == ENOENT) return FileError(path, "cannot be appended to: " + SystemMessage(errno));
    return FileError(path, "cannot open: " + SystemMessage(errno));
  }
  AppendFile f;
  f.path_ = path;
  f.fd_ = fd;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    return FileError(path, fmt::format("is {}, not a regular file; not written", KindOf(st.st_mode)));
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  f.sizeAtOpen_ = static_cast<std::uintmax_t>(st.st_size);
  return f;
}

AppendFile::AppendFile(AppendFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), sizeAtOpen_(other.sizeAtOpen_) {}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
    sizeAtOpen_ = other.sizeAtOpen_;
  }
  return *this;
}

AppendFile::~AppendFile() {
  if (fd_ >= 0) ::close(fd_);
}

Status AppendFile::Append(std::string_view text) {
  if (const int err = WriteAll(fd_, text); err != 0) return FileError(path_, "cannot write: " + SystemMessage(err));
  return Ok();
}

Status AppendFile::CutBack() {
  if (::ftruncate(fd_, static_cast<off_t>(sizeAtOpen_)) != 0)
    return FileError(path_, "cannot be cut back to its size before: " + SystemMessage(errno));
  return Ok();
}

Status AppendWhole(const fs::path& path, std::string_view text, bool mustExist) {
  auto file = AppendFile::Open(path, !mustExist);
  if (!file) return file.error();
  if (Status s = file->Append(text); !s) {
    (void)file->CutBack();
    return s;
  }
  return Ok();
}

// ---- data directory locks

Result<DataDirLock> DataDirLock::Acquire(const fs::path& dir, WarningSink& warnings) {
  std::error_code ec;
  const fs::path canonical = fs::canonical(dir, ec);
  if (ec) return FileError(dir, "cannot be locked: " + ec.message());
  DataDirLock lock;
  lock.dir_ = canonical;
  const std::lock_guard guard(HeldMutex());
  std::vector<HeldDir>& held = Held();
  const auto it = std::find_if(held.begin(), held.end(), [&](const HeldDir& h) { return h.dir == canonical; });
  if (it != held.end()) {
    ++it->count;
    return lock;
  }
  const fs::path lockFile = canonical / kLockFileName;
  int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) {
    // A directory that cannot take a lock file (read-only) cannot take results either: the writes
    // will say so; until then it is held without a lock.
    if (errno != EACCES && errno != EROFS && errno != EPERM)
      return FileError(lockFile, "cannot lock the data directory: " + SystemMessage(errno));
  } else {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return FileError(lockFile, "is not a regular file; cannot lock the data directory");
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      warnings.Status(fmt::format("{}: another action writes here; waiting for it to end", canonical.string()));
      int r;
      while ((r = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
      }
      if (r != 0) {
        const int err = errno;
        ::close(fd);
        return FileError(lockFile, "cannot lock the data directory: " + SystemMessage(err));
      }
    }
  }
  held.push_back({canonical, fd, 1});
  return lock;
}

DataDirLock::DataDirLock(DataDirLock&& other) noexcept : dir_(std::exchange(other.dir_, {})) {}

DataDirLock& DataDirLock::operator=(DataDirLock&& other) noexcept {
  if (this != &other) {
    Release();
    dir_ = std::exchange(other.dir_, {});
  }
  return *this;
}

DataDirLock::~DataDirLock() { Release(); }

void DataDirLock::Release() {
  if (dir_.empty()) return;
  const std::lock_guard guard(HeldMutex());
  std::vector<HeldDir>& held = Held();
  const auto it = std::find_if(held.begin(), held.end(), [&](const HeldDir& h) { return h.dir == dir_; });
  if (it != held.end() && --it->count == 0) {
    if (it->fd >= 0) ::close(it->fd);  // releases the flock
    held.erase(it);
  }
  dir_.clear();
}

}  // namespace velmora
