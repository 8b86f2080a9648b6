"""Times velmora.detect_spikes on a sweep of 900,001 samples and sets it
beside the C++ benchmark of the same call (BM_DetectSpikes in
bench/bench_spikes.cpp): the same sweep, 45 s at 20 kHz with 100 action
potentials on -65 mV and 0.1 mV of noise (drawn by NumPy here), the design
defaults of the spike settings, no filter.

    PYTHONPATH=build/python python3 python/bench/detect_spikes_timing.py build/bench/velmora_bench

The benchmark of a build without VELMORA_BUILD_PYTHON, whose core is not
compiled as position-independent code, is the fairer C++ figure.
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


def settings():
    s = velmora.Settings.default()
    s.fi.Scale_of_curvature = 2  # SpikeSettings' own default, which the benchmark takes
    s.fi.Filter = False
    return s


def python_ms(sweep, repeats=200):
    """Processor time of one call, ms: the least and the median. On a machine
    that others share, the least is what the call itself costs."""
    s = settings()
    times = []
    for _ in range(repeats):
        start = time.process_time()
        velmora.detect_spikes(sweep, s)
        times.append((time.process_time() - start) * 1000)
    return min(times), statistics.median(times)


def cpp_ms(bench):
    out = subprocess.run([bench, "--benchmark_filter=BM_DetectSpikes$", "--benchmark_repetitions=20",
                          "--benchmark_report_aggregates_only=false", "--benchmark_format=json"],
                         check=True, capture_output=True, text=True).stdout
    runs = [r for r in json.loads(out)["benchmarks"] if r.get("run_type") == "iteration"]
    assert all(r["time_unit"] == "ms" for r in runs)
    times = [r["cpu_time"] for r in runs]
    return min(times), statistics.median(times)


if __name__ == "__main__":
    sweep = sweep_with_spikes()
    assert len(velmora.detect_spikes(sweep, settings())["tAP"]) == 100
    py = python_ms(sweep)
    # What the module adds to any call: a sweep of ten samples costs nothing else.
    overhead = python_ms(velmora.Sweep(np.full(10, -65.0), DT * 1000))
    print(f"Python  detect_spikes:   least {py[0]:.3f} ms, median {py[1]:.3f} ms (processor time, 200 calls)")
    print(f"        the same call on 10 samples: least {overhead[0] * 1000:.1f} us, median {overhead[1] * 1000:.1f} us")
    if len(sys.argv) > 1:
        cpp = cpp_ms(sys.argv[1])
        print(f"C++     BM_DetectSpikes: least {cpp[0]:.3f} ms, median {cpp[1]:.3f} ms "
              "(processor time, 20 repetitions)")
        print(f"Python against C++: {100 * (py[0] / cpp[0] - 1):+.1f} % (least), {100 * (py[1] / cpp[1] - 1):+.1f} % "
              "(median)")
