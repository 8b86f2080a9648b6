#include "recording/SideFiles.h"

#include <fmt/format.h>

#include <limits>

#include "recording/TextIO.h"

namespace velmora {

namespace {

// Reads up to `want` numbers of each line into `row`; a missing one is 0.
// Returns false (and sets `error`) when a token is not a number.
bool ReadRow(const std::string& file, const LineReader& reader, std::string_view line, double* row, int want,
             Error& error) {
  for (int c = 0; c < want; ++c) {
    const std::string_view token = NextToken(line);
    if (token.empty()) {
      std::fill(row + c, row + want, 0.0);
      return true;
    }
    const auto x = ParseReal(token);
    if (!x) {
      error = Error{file, reader.lineNumber(), fmt::format("column {}", c + 1),
                    fmt::format("\"{}\" is not a number", token)};
      return false;
    }
    row[c] = *x;
  }
  return true;
}

}  // namespace

Status ReadLfpFile(const std::filesystem::path& path, RawRecording& raw, WarningSink& warnings) {
  const std::string file = path.string();
  auto reader = LineReader::Open(path);
  if (!reader) return reader.error();
  std::vector<double> lfp;
  std::string_view line;
  double row[2];
  Error error;
  while (reader->Next(line)) {
    if (static_cast<int>(lfp.size()) == kMaxRawSamples) {
      warnings.Warn(fmt::format("{}: holds more than {} samples; the rest is not read", file, kMaxRawSamples));
      break;
    }
    if (!ReadRow(file, *reader, line, row, 2, error)) return error;
    lfp.push_back(row[1]);
  }
  if (reader->readFailed()) return Error{file, reader->lineNumber(), "", "read error"};
  raw.LFPRaw = std::move(lfp);
  return Ok();
}

Result<int> ReadVCFile(const std::filesystem::path& path, RawRecording& raw, WarningSink& warnings) {
  const std::string file = path.string();
  auto reader = LineReader::Open(path);
  if (!reader) return reader.error();
  std::vector<double> c1, c2, c3;
  std::string_view line;
  double row[3];
  Error error;
  while (reader->Next(line)) {
    if (static_cast<int>(c1.size()) == kMaxVCSamples) {
      warnings.Warn(fmt::format("{}: holds more than {} lines; the rest is not read", file, kMaxVCSamples));
      break;
    }
    if (!ReadRow(file, *reader, line, row, 3, error)) return error;
    c1.push_back(row[0]), c2.push_back(row[1]), c3.push_back(row[2]);
  }
  if (reader->readFailed()) return Error{file, reader->lineNumber(), "", "read error"};
  raw.VCcol1 = std::move(c1), raw.VCcol2 = std::move(c2), raw.VCcol3 = std::move(c3);
  return static_cast<int>(raw.VCcol1.size()) - 1;
}

Result<std::vector<double>> ReadStimFile(const std::filesystem::path& path, WarningSink& warnings) {
  const std::string file = path.string();
  auto reader = LineReader::Open(path);
  if (!reader) return reader.error();
  std::vector<double> times;
  std::string_view line;
  while (reader->Next(line)) {
    const std::string_view token = NextToken(line);
    if (token.empty()) continue;  // an empty file or line is no stimulus at time 0
    const auto x = ParseReal(token);
    if (!x) return Error{file, reader->lineNumber(), "", fmt::format("\"{}\" is not a time", token)};
    if (static_cast<int>(times.size()) == kMaxStimuli) {
      warnings.Warn(fmt::format("{}: holds more than {} stimuli; the rest is not read", file, kMaxStimuli));
      break;
    }
    times.push_back(*x);
  }
  if (reader->readFailed()) return Error{file, reader->lineNumber(), "", "read error"};
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
