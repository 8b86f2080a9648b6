// Reading a recording of 9,000,000 samples: the text and the binary trace,
// and the peak memory of one text recording loaded into slot 1.

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "recording/ParameterFile.h"
#include "recording/TraceFile.h"
#include "session/Session.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
constexpr int kSamples = 9'000'000;

const fs::path& BenchDir() {
  static const fs::path dir = [] {
    auto d = fs::temp_directory_path() / "velmora-bench-readers";
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

void WriteParameters(const fs::path& dir) {
  RecordingParameters par;
  par.Duration = kSamples * 0.05, par.nPar = kSamples, par.dtPar = 0.05, par.TimeFactor = 1;
  par.tStimStart = 100, par.tStimEnd = 400000;
  (void)WriteParameterFile(dir / "big.par", par);
}

// Lines as the recorder writes them: time, V, Icom, Ireal and two more values.
const fs::path& TextTrace() {
  static const fs::path path = [] {
    const fs::path p = BenchDir() / "big_trace1_Err.cc";
    WriteParameters(BenchDir());
    if (fs::exists(p)) return p;
    std::FILE* f = std::fopen(p.c_str(), "wb");
    fmt::memory_buffer buf;
    for (int i = 0; i < kSamples; ++i) {
      const double t = i * 0.05;
      fmt::format_to(std::back_inserter(buf), "{:.2f} {:.3f} {:.2f} {:.2f} 0 0\r\n", t,
                     -65 + 10 * std::sin(t * 0.01), 100.0 * (i % 1000 > 500), 98.5 + (i % 7) * 0.25);
      if (buf.size() > (1 << 20)) std::fwrite(buf.data(), 1, buf.size(), f), buf.clear();
    }
    std::fwrite(buf.data(), 1, buf.size(), f);
    std::fclose(f);
    return p;
  }();
  return path;
}

const fs::path& BinaryTrace() {
  static const fs::path path = [] {
    const fs::path p = BenchDir() / "bigb_trace1_Err.cc_b";
    fs::copy_file(BenchDir() / "big.par", BenchDir() / "bigb.par", fs::copy_options::overwrite_existing);
    if (fs::exists(p)) return p;
    std::FILE* f = std::fopen(p.c_str(), "wb");
    const double dtPar = 0.05;
    std::fwrite(&dtPar, sizeof dtPar, 1, f);
    char header[256] = {};
    std::fwrite(header, 1, sizeof header, f);
    const double scaleOffset[6] = {0.01, 0.1, 0.1, -65, 0, 0};
    std::fwrite(scaleOffset, sizeof(double), 6, f);
    std::vector<std::int16_t> block(3 * 65536);
    for (int k = 0; k < kSamples; k += 65536) {
      const int n = std::min(65536, kSamples - k);
      for (int i = 0; i < 3 * n; ++i) block[i] = static_cast<std::int16_t>((k + i) % 2000 - 1000);
      std::fwrite(block.data(), 2, 3 * static_cast<std::size_t>(n), f);
    }
    std::fclose(f);
    return p;
  }();
  return path;
}

long PeakResidentKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Runs first, before any other benchmark has grown the heap: the peak after
// loading is what one recording costs.
void BM_PeakMemoryOfOneTextRecording(benchmark::State& state) {
  const fs::path& trace = TextTrace();
  const long before = PeakResidentKiB();
  for (auto _ : state) {
    Session session;
    NullSink warnings;
    LoadSettings settings;
    if (!LoadSweepFiles(session.rec, trace, warnings) || !LoadSweep(session.rec, 1, settings, warnings))
      state.SkipWithError("load failed");
    const double rawMiB = 4.0 * kSamples * sizeof(double) / (1 << 20);
    const double slotMiB = 3.0 * kMaxSweepSamples * sizeof(double) / (1 << 20);
    state.counters["raw_plus_slot_MiB"] = rawMiB + slotMiB;
  }
  state.counters["peak_rss_MiB"] = PeakResidentKiB() / 1024.0;
  state.counters["rss_before_MiB"] = before / 1024.0;
}
BENCHMARK(BM_PeakMemoryOfOneTextRecording)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ReadTextTrace(benchmark::State& state) {
  const fs::path& trace = TextTrace();
  Recording rec;
  NullSink warnings;
  for (auto _ : state) {
    if (!ReadTrace(rec, trace, warnings)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(rec.raw.VRaw.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(trace)));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(rec.raw.nRaw + 1));
}
BENCHMARK(BM_ReadTextTrace)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ReadBinaryTrace(benchmark::State& state) {
  const fs::path& trace = BinaryTrace();
  fs::path name = trace;
  name.replace_extension(".cc");  // the reader appends "_b" itself
  Recording rec;
  rec.par.TimeFactor = 1;
  NullSink warnings;
  for (auto _ : state) {
    if (!ReadTrace(rec, name, warnings)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(rec.raw.VRaw.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(trace)));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(rec.raw.nRaw + 1));
}
BENCHMARK(BM_ReadBinaryTrace)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace velmora
