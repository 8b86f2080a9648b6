#include "recording/TextIO.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace velmora {

namespace {
constexpr std::size_t kBlock = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string SystemMessage(int err) { return std::generic_category().message(err); }
}  // namespace

Result<LineReader> LineReader::Open(const std::filesystem::path& path) {
  LineReader r;
  r.file_.reset(std::fopen(path.c_str(), "rb"));
  if (!r.file_) return Error{path.string(), 0, "", "cannot open: " + SystemMessage(errno)};
  std::error_code ec;
  r.size_ = std::filesystem::file_size(path, ec);
  if (ec) r.size_ = 0;
  // A small file gets a small buffer: lists and side files are opened often.
  r.buffer_.resize(static_cast<std::size_t>(std::clamp<std::uintmax_t>(r.size_ + 1, 4096, kBlock)));
  return r;
}

bool LineReader::Fill() {
  if (eof_) return false;
  if (begin_ > 0) {  // keep the partial line at the front
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // a very long line
  const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_.get());
  if (got == 0) {
    eof_ = true;
    failed_ = std::ferror(file_.get()) != 0;
    return false;
  }
  end_ += got;
  return true;
}

bool LineReader::Next(std::string_view& line) {
  std::size_t scanFrom = begin_;
  for (;;) {
    const void* nl = std::memchr(buffer_.data() + scanFrom, '\n', end_ - scanFrom);
    if (nl) {
      const std::size_t pos = static_cast<const char*>(nl) - buffer_.data();
      std::size_t stop = pos;
      if (stop > begin_ && buffer_[stop - 1] == '\r') --stop;
      line = std::string_view(buffer_.data() + begin_, stop - begin_);
      consumed_ += pos + 1 - begin_;
      begin_ = pos + 1;
      ++line_;
      return true;
    }
    const std::size_t scanned = end_ - begin_;
    if (!Fill()) break;
    scanFrom = begin_ + scanned;
  }
  if (begin_ == end_) return false;
  // The last line has no line end.
  std::size_t stop = end_;
  if (buffer_[stop - 1] == '\r') --stop;
  line = std::string_view(buffer_.data() + begin_, stop - begin_);
  consumed_ += end_ - begin_;
  begin_ = end_;
  ++line_;
  return true;
}

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

Status WriteFileAtomically(const std::filesystem::path& path, std::string_view content) {
  std::filesystem::path temp = path;
  temp += ".tmp-velmora";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return Error{path.string(), 0, "", "cannot write: " + SystemMessage(errno)};
  const bool written = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  const int writeErr = errno;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    const int err = written ? errno : writeErr;
    std::filesystem::remove(temp);
    return Error{path.string(), 0, "", "cannot write: " + SystemMessage(err)};
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::filesystem::remove(temp);
    return Error{path.string(), 0, "", "cannot replace: " + ec.message()};
  }
  return Ok();
}

Status AppendWhole(const std::filesystem::path& path, std::string_view text, bool mustExist) {
  std::error_code ec;
  const std::uintmax_t before = std::filesystem::file_size(path, ec);
  if (ec && mustExist) return Error{path.string(), 0, "", "cannot be appended to: " + ec.message()};
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return Error{path.string(), 0, "", "cannot open: " + SystemMessage(errno)};
  const bool written = text.empty() || std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const int writeErr = errno;
  const bool closed = std::fclose(f) == 0;
  if (written && closed) return Ok();
  const int err = written ? errno : writeErr;
  std::filesystem::resize_file(path, ec ? 0 : before, ec);
  return Error{path.string(), 0, "", "cannot write: " + SystemMessage(err)};
}

Result<std::string> ReadWholeFile(const std::filesystem::path& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return Error{path.string(), 0, "", "cannot open: " + SystemMessage(errno)};
  std::string content;
  char block[1 << 16];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, f)) > 0) content.append(block, got);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return Error{path.string(), 0, "", "read error"};
  return content;
}

}  // namespace velmora
