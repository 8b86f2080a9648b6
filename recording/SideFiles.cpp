#include "recording/SideFiles.h"

#include <fmt/format.h>

#include <limits>

#include "recording/TextIO.h"

namespace velmora {

namespace {

// Lines of two or three numbers, or one time: 4 KiB is far beyond any. The
// sample and stimulus counts bound the files.
constexpr ReadLimits kSideFileLimits{4096, 0};

// Reads the numbers of a file of `want` columns per line, at most
// `maxLines` lines, calling take(row) for each line. A missing number is 0,
// with one warning for the file; more lines than `maxLines` are not read,
// with a warning. Returns an Error when a token is not a number.
template <class Take>
Status ReadRows(const std::filesystem::path& path, int want, int maxLines, std::string_view what,
                WarningSink& warnings, Take take) {
  const std::string file = path.string();
  auto reader = LineReader::Open(path, kSideFileLimits);
  if (!reader) return reader.error();
  std::string_view line;
  double row[3];
  long shortLines = 0, firstShort = 0;
  for (int n = 0; reader->Next(line); ++n) {
    if (n == maxLines) {
      warnings.Warn(fmt::format("{}: holds more than {} {}; the rest is not read", file, maxLines, what));
      break;
    }
    int c = 0;
    for (; c < want; ++c) {
      const std::string_view token = NextToken(line);
      if (token.empty()) break;
      const auto x = ParseReal(token);
      if (!x)
        return Error{file, reader->lineNumber(), fmt::format("column {}", c + 1),
                     fmt::format("{} is not a number", Quoted(token))};
      row[c] = *x;
    }
    if (c < want) {
      std::fill(row + c, row + want, 0.0);
      if (shortLines++ == 0) firstShort = reader->lineNumber();
    }
    take(row);
  }
  if (Status s = reader->status(); !s) return s;
  if (shortLines > 0)
    warnings.Warn(fmt::format("{}: {} lines hold fewer than {} numbers, the first being line {}; the missing ones "
                              "are taken as 0",
                              file, shortLines, want, firstShort));
  return Ok();
}

}  // namespace

Status ReadLfpFile(const std::filesystem::path& path, RawRecording& raw, WarningSink& warnings) {
  std::vector<double> lfp;
  if (Status s = ReadRows(path, 2, kMaxRawSamples, "samples", warnings,
                          [&](const double* row) { lfp.push_back(row[1]); });
      !s)
    return s;
  raw.LFPRaw = std::move(lfp);
  return Ok();
}

Result<int> ReadVCFile(const std::filesystem::path& path, RawRecording& raw, WarningSink& warnings) {
  std::vector<double> c1, c2, c3;
  if (Status s = ReadRows(path, 3, kMaxVCSamples, "lines", warnings,
                          [&](const double* row) { c1.push_back(row[0]), c2.push_back(row[1]), c3.push_back(row[2]); });
      !s)
    return s.error();
  raw.VCcol1 = std::move(c1), raw.VCcol2 = std::move(c2), raw.VCcol3 = std::move(c3);
  return static_cast<int>(raw.VCcol1.size()) - 1;
}

Result<std::vector<double>> ReadStimFile(const std::filesystem::path& path, WarningSink& warnings) {
  const std::string file = path.string();
  auto reader = LineReader::Open(path, kSideFileLimits);
  if (!reader) return reader.error();
  std::vector<double> times;
  std::string_view line;
  while (reader->Next(line)) {
    const std::string_view token = NextToken(line);
    if (token.empty()) continue;  // an empty file or line is no stimulus at time 0
    const auto x = ParseReal(token);
    if (!x) return Error{file, reader->lineNumber(), "", fmt::format("{} is not a time", Quoted(token))};
    if (static_cast<int>(times.size()) == kMaxStimuli) {
      warnings.Warn(fmt::format("{}: holds more than {} stimuli; the rest is not read", file, kMaxStimuli));
      break;
    }
    times.push_back(*x);
  }
  if (Status s = reader->status(); !s) return s.error();
  return times;
}

Status WriteStimFile(const std::filesystem::path& path, std::span<const double> times) {
  std::string out;
  for (const double t : times) out += Fixed(t, 9, 3) + "\r\n";
  return WriteFileAtomically(path, out);
}

double AlignToStimulus(double t, int& idx, const std::vector<double>& StimTimes) {
  const int N = static_cast<int>(StimTimes.size());
  // T(k), k = 1..N; past the last stimulus the next one lies at infinity.
  const auto T = [&](int k) { return k <= N ? StimTimes[k - 1] : std::numeric_limits<double>::infinity(); };
  const bool stays = idx >= 0 && idx <= N && (idx == 0 ? t < T(1) : T(idx) <= t && t < T(idx + 1));
  if (!stays) {
    if (idx < 0 || idx > N || t < T(1))
      idx = 0;
    else if (idx < N && t >= T(idx + 1))
      ++idx;
    else if (idx >= 1 && t < T(idx))
      --idx;
  }
  return idx > 0 && t > T(idx) ? t - T(idx) : 0;
}

}  // namespace velmora
