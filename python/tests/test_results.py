# The module's promise: a script gets the numbers velmora-cli writes, to the
# bit, whichever way its sweeps came in.

import json
import re
import shutil
import warnings

import numpy as np
import pytest

import velmora
from conftest import run_cli

MAIN_FORMAT = ["steps", "grid", "grid_table", "waves", "fc_calibration", "fc_estimation"]
RESULT_FILES = ["out_nu.dat", "out_Vav.dat", "out_WidthAP.dat", "out_Vpeak.dat", "out_g_I_i_all.dat", "out_VAHP.dat",
                "out_VT.dat", "out_AdaptRatio.dat", "out_Rate.dat", "out_VAHPfast.dat", "out_all_Rheobase.dat"]


def assert_same_table(table, expected, context):
    for column, values in expected.items():
        assert table[column].tolist() == values, f"{context}: {column}"


# A second path to the spike table that drifted from the program's read
# (another filter, sample or time base) would give other numbers here.
@pytest.mark.parametrize("directory", MAIN_FORMAT)
def test_spike_table_of_every_example_sweep_equals_the_cli(cli, example, directory):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", velmora.VelmoraWarning)  # firing-clamp sweeps: no detection, as the CLI says
        recording = velmora.open(example / directory)
        tables = [velmora.detect_spikes(sweep) for sweep in recording]
    assert len(recording) > 0
    for sweep, table in zip(recording, tables):
        printed = json.loads(run_cli(cli, "spikes", sweep.name, "--json"))
        expected = {c: [s[c] for s in printed["spikes"]] for c in table}
        assert_same_table(table, expected, sweep.name)


# Samples handed in from elsewhere (another loader, Neo) must be analysed as
# the same samples read from a file, not approximately so.
def test_sweep_from_arrays_gives_the_spikes_of_the_file(example):
    for sweep in velmora.open(example / "steps"):
        from_arrays = velmora.Sweep(sweep.v, sweep.dt, i_command=sweep.i_command, t_on=sweep.t_on,
                                    t_off=sweep.t_off)
        expected = {c: a.tolist() for c, a in velmora.detect_spikes(sweep).items()}
        assert_same_table(velmora.detect_spikes(from_arrays), expected, sweep.name)


class Quantity:
    """What the Neo helper reads of a quantities array."""
    def __init__(self, magnitude, units, sampling_period=None):
        self.magnitude, self.units, self.sampling_period = np.asarray(magnitude), units, sampling_period


def test_neo_signal_is_converted_to_the_units_of_a_sweep(example):
    sweep = velmora.open(example / "steps")[5]
    in_mv = velmora.from_neo(Quantity(sweep.v, "mV", Quantity(sweep.dt, "ms")), t_on=sweep.t_on, t_off=sweep.t_off)
    expected = {c: a.tolist() for c, a in velmora.detect_spikes(sweep).items()}
    assert_same_table(velmora.detect_spikes(in_mv), expected, "mV")
    # Volts and seconds, two channels: the column asked for, scaled.
    both = np.stack([sweep.v / 1000, np.zeros(len(sweep))], axis=1)
    in_v = velmora.from_neo(Quantity(both, "V", Quantity(sweep.dt / 1000, "s")),
                            i_command=Quantity(np.stack([sweep.i_command / 1000] * 2, axis=1), "nA"))
    assert np.allclose(in_v.v, sweep.v) and np.allclose(in_v.i_command, sweep.i_command)
    assert in_v.dt == pytest.approx(sweep.dt)
    with pytest.raises(ValueError, match="'degC'"):
        velmora.from_neo(Quantity(sweep.v, "degC", Quantity(1, "ms")))


# The eleven files are read by other programs of the lab: a module that
# wrote them otherwise than the program would corrupt their tables.
@pytest.mark.parametrize("directory, options", [("steps", []), ("cell.gs1", ["--format", "new"]),
                                                ("cell_gst", ["--format", "old"])])
def test_fi_writes_the_eleven_files_of_the_cli_byte_for_byte(cli, copy_of, tmp_path, directory, options):
    by_cli, by_python = copy_of(directory, "cli"), copy_of(directory, "python")
    printed = run_cli(cli, "fi", by_cli, *options)
    table = velmora.fi(by_python, directory=by_python)
    for name in RESULT_FILES:
        assert (by_python / name).read_bytes() == (by_cli / name).read_bytes(), name
    rows = [line.split() for line in printed.splitlines()[1:]]
    assert table["nSpikes"].tolist() == [int(r[3]) for r in rows]
    assert [f"{x:.2f}" for x in table["Iclamp"]] == [r[2] for r in rows]


# The sweeps a script holds run through the program's own F-I pass: the
# result files must be those of the directory the sweeps were read from.
def test_fi_of_opened_sweeps_writes_what_the_directory_run_writes(cli, copy_of, tmp_path):
    by_cli, data = copy_of("steps", "cli"), copy_of("steps", "data")
    run_cli(cli, "fi", by_cli)
    recording = velmora.open(data)
    shutil.rmtree(data)  # read once: nothing is read again
    velmora.fi(recording, directory=tmp_path)
    for name in RESULT_FILES:
        assert (tmp_path / name).read_bytes() == (by_cli / name).read_bytes(), name


# Calibration and estimation write files the next run reads back: a byte
# of difference would move every later estimate.
def test_firing_clamp_calibration_and_estimation_equal_the_cli(cli, copy_of):
    printed = run_cli(cli, "fc", copy_of("fc_calibration", "cal_cli"), "--calibrate")
    cal = copy_of("fc_calibration", "cal_python")
    calibrated = velmora.fc_calibrate(cal)
    calibration = "I_G_VT_dV_subV_PulseV_PulseDur.dat"
    assert (cal / calibration).read_bytes() == (cal.parent / "cal_cli" / calibration).read_bytes()
    rows = [line.split() for line in printed.splitlines()[1:]]
    assert [(f["nPulses"], f["nFlaws"]) for f in calibrated] == [(int(r[1]), int(r[2])) for r in rows]
    assert all(len(f["pulses"]["PulseV"]) == f["nPulses"] for f in calibrated)

    by_cli, by_python = copy_of("fc_estimation", "est_cli"), copy_of("fc_estimation", "est_python")
    for target in (by_cli, by_python):
        shutil.copy(cal / calibration, target)
    printed = run_cli(cli, "fc", by_cli, "--estimate")
    [estimated] = velmora.fc_estimate(by_python)
    for name in ["TrueAndEstimated_I_G.dat", "True_I_G(t).dat", "Equations.txt"]:
        assert (by_python / name).read_bytes() == (by_cli / name).read_bytes(), name
    e = estimated["estimate"]
    line = (f"pulses {e['first']}..{e['last']}): mean Iest {e['meanIest']:.2f} pA (command {e['meanI']:.2f}), "
            f"mean Gest {e['meanGest']:.3f} nS (command {e['meanG']:.3f}); RMS error {e['rmsI']:.2f} pA, "
            f"{e['rmsG']:.3f} nS")
    assert line in printed
    assert len(estimated["pulses"]["Iest"]) == estimated["nPulses"]


# An ABF sweep is analysed as its samples would be in the main format: the
# model cell's steps written both ways must give the same clamps and spikes.
def test_abf_sweeps_read_as_the_same_steps_in_the_main_format(cli, tmp_path):
    run_cli(cli, "synth", "--abf", "--out", tmp_path)
    main, abf = velmora.open(tmp_path), velmora.open(tmp_path / "steps.abf")
    assert len(abf) == len(main) == 8
    for a, m in zip(abf, main):
        assert (a.dt, a.t_on, a.t_off, a.i_clamp) == (m.dt, m.t_on, m.t_off, m.i_clamp)
        # The ABF keeps the sample at time 0, which the main format's reader drops; int16 codes.
        assert np.allclose(a.v[1:], m.v, atol=0.002)
        assert np.allclose(a.i_command[1:], m.i_command)
        assert len(velmora.detect_spikes(a)["tAP"]) == len(velmora.detect_spikes(m)["tAP"])


def read_csv(path):
    rows = [line.split(",") for line in path.read_text().splitlines()[1:]]
    return [float(r[0]) for r in rows], [float(r[1]) for r in rows]


def test_statistics_equal_the_cli(cli, example, tmp_path):
    trace = example / "steps" / "steps05_trace5_Err.cc"
    printed = run_cli(cli, "stats", trace, "--from", 200, "--to", 700, "--bins", 40, "--min", -75, "--max", -45,
                      "--histogram-csv", tmp_path / "h.csv", "--correlation-csv", tmp_path / "c.csv")
    [sweep] = velmora.open(trace)
    result = velmora.statistics(sweep, start=200, end=700, bins=40, lower=-75, upper=-45)
    lines = dict(line.split(None, 1) if "=" not in line else line.split("=") for line in printed.splitlines())
    assert int(lines["samples"]) == result["samples"]
    assert float(lines["Mean "]) == round(result["mean"], 2)
    assert float(lines["Dispersion "]) == round(result["dispersion"], 2)
    assert lines["tau,"].split()[-1] == f"{result['tau'] * 1000:.3f}"
    for csv, (x, y) in (("h.csv", result["histogram"].values()), ("c.csv", result["correlation"].values())):
        assert read_csv(tmp_path / csv) == (x.tolist(), y.tolist()), csv


def test_synth_writes_what_the_cli_writes(cli, tmp_path):
    run_cli(cli, "synth", "--protocol", "grid", "--duration", 300, "--seed", 3, "--out", tmp_path / "cli")
    sweeps = velmora.synth(tmp_path / "python", protocol="grid", duration=300, seed=3)
    written = sorted(p.name for p in (tmp_path / "cli").iterdir())
    assert written == sorted(p.name for p in (tmp_path / "python").iterdir())
    for name in written:
        assert (tmp_path / "python" / name).read_bytes() == (tmp_path / "cli" / name).read_bytes(), name
    truth = json.loads((tmp_path / "cli" / "GroundTruth.json").read_text())["sweeps"]
    assert [np.round(s["spikeTimes"], 4).tolist() for s in sweeps] == [t["spikeTimes"] for t in truth]  # as filed
