"""Times velmora.detect_spikes on a sweep of 900,001 samples and sets it
beside the C++ benchmark of the same call (BM_DetectSpikes in
bench/bench_spikes.cpp): the same sweep, 45 s at 20 kHz with 100 action
potentials on -65 mV and 0.1 mV of noise (drawn by NumPy here), the design
defaults of the spike settings, no filter.

    PYTHONPATH=build/python python3 python/bench/detect_spikes_timing.py build/bench/velmora_bench
"""

import json
import statistics
import subprocess
import sys
import time

import numpy as np

import velmora

DT = 5e-5  # s
SAMPLES = 900_001


def sweep_with_spikes():
    rng = np.random.default_rng(7)
    v = -65 + rng.normal(0, 0.1, SAMPLES)
    for k in range(100):
        peak = 0.5 + 0.44 * k  # s
        i = np.arange(int((peak - 0.005) / DT), int((peak + 0.05) / DT))
        s = (i * DT - peak) * 1000  # ms from the peak
        bump = np.where(s < 0, 95 * np.exp(-s * s / 0.18), 95 * np.exp(-s * s / 0.8))
        bump -= np.where(s > 0, 8 * (1 - np.exp(-s / 0.5)) * np.exp(-s / 10), 0)
        v[i] += bump
    return velmora.Sweep(v, DT * 1000, t_on=400, t_off=45000)


def python_ms(repeats=100):
    """Wall-clock and processor time of one call, ms: medians."""
    sweep = sweep_with_spikes()
    settings = velmora.Settings.default()
    settings.fi.Scale_of_curvature = 2  # SpikeSettings' own default, which the benchmark takes
    settings.fi.Filter = False
    assert len(velmora.detect_spikes(sweep, settings)["tAP"]) == 100
    wall, cpu = [], []
    for _ in range(repeats):
        start, start_cpu = time.perf_counter(), time.process_time()
        velmora.detect_spikes(sweep, settings)
        wall.append((time.perf_counter() - start) * 1000)
        cpu.append((time.process_time() - start_cpu) * 1000)
    return statistics.median(wall), statistics.median(cpu)


def cpp_ms(bench):
    out = subprocess.run([bench, "--benchmark_filter=BM_DetectSpikes$", "--benchmark_repetitions=5",
                          "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    runs = json.loads(out)["benchmarks"]
    [median] = [r for r in runs if r.get("aggregate_name") == "median"]
    assert median["time_unit"] == "ms"
    return median["real_time"], median["cpu_time"]


if __name__ == "__main__":
    py = python_ms()
    print(f"Python  detect_spikes:   {py[0]:.3f} ms wall, {py[1]:.3f} ms processor (medians of 100 calls)")
    if len(sys.argv) > 1:
        cpp = cpp_ms(sys.argv[1])
        print(f"C++     BM_DetectSpikes: {cpp[0]:.3f} ms wall, {cpp[1]:.3f} ms processor (medians of 5 repetitions)")
        print(f"Python against C++: {100 * (py[0] / cpp[0] - 1):+.1f} % wall, {100 * (py[1] / cpp[1] - 1):+.1f} % "
              "processor")
