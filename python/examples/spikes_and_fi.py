"""Opens the example's current steps, detects the spikes of every sweep,
and draws one sweep with its spikes and the F-I curve into PNG files.

    velmora-cli synth --preset demo --out example
    PYTHONPATH=build/python python3 python/examples/spikes_and_fi.py example pictures
"""

import os
import sys

import matplotlib

matplotlib.use("Agg")  # PNG files, no display needed
import matplotlib.pyplot as plt

import velmora


def main(example, out):
    os.makedirs(out, exist_ok=True)
    recording = velmora.open(os.path.join(example, "steps"))
    tables = [velmora.detect_spikes(sweep) for sweep in recording]

    # The sweep with the most spikes, its peaks and thresholds marked.
    k = max(range(len(recording)), key=lambda i: len(tables[i]["tAP"]))
    sweep, spikes = recording[k], tables[k]
    fig, ax = plt.subplots(figsize=(10, 4))
    ax.plot(sweep.t, sweep.v, lw=0.6, label="V")
    # tAP and tVT count from the first analysed sample, in s.
    ax.plot(spikes["tAP"] * 1000 + sweep.t0, spikes["Vpeak"], "rv", label="Vpeak")
    ax.plot(spikes["tVT"] * 1000 + sweep.t0, spikes["VT"], "m.", label="VT")
    ax.axvspan(sweep.t_on, sweep.t_off, color="0.93", zorder=0, label="stimulus")
    ax.set(xlabel="ms", ylabel="mV", title=f"{os.path.basename(sweep.name)}: {len(spikes['tAP'])} spikes")
    ax.legend(loc="upper right")
    fig.savefig(os.path.join(out, "sweep_spikes.png"), dpi=120)

    # The F-I curve as the program computes it: spike rate over the stimulus.
    fi = velmora.fi(recording)
    rate = fi["nSpikes"] / [(s.t_off - s.t_on) / 1000 for s in recording]
    fig, ax = plt.subplots(figsize=(5, 4))
    ax.plot(fi["Iclamp"], rate, "o-", label="mean rate")
    ax.plot(fi["Iclamp"], fi["nuLast"], "s--", label="nu_Last")
    ax.set(xlabel="I, pA", ylabel="Hz", title="F-I curve")
    ax.legend()
    fig.savefig(os.path.join(out, "fi_curve.png"), dpi=120)
    print(f"pictures in {out}")


if __name__ == "__main__":
    main(*sys.argv[1:3])
