# How the module behaves as a Python module: views instead of copies,
# errors and warnings where Python looks for them, settings from the one
# table of fields, Ctrl-C between sweeps.

import _thread
import fcntl
import gc
import os
import subprocess
import sys
import threading
import time
import warnings
from pathlib import Path

import numpy as np
import pytest

import velmora
from conftest import run_cli


def rewrite_line(path, index, text):
    lines = path.read_bytes().split(b"\r\n")
    lines[index] = text.encode()
    path.write_bytes(b"\r\n".join(lines))


# A copy per access would double the memory of a long sweep and let a
# script's array drift from what the analyses read.
def test_arrays_are_views_of_the_sweep_that_keep_it_alive(example):
    sweep = velmora.open(example / "steps")[4]
    for name in ("v", "i_measured", "i_command"):
        a = getattr(sweep, name)
        assert a.base is sweep, name
        assert a.ctypes.data == getattr(sweep, name).ctypes.data, name
        assert not a.flags.writeable, name
    v = velmora.open(example / "steps")[4].v
    gc.collect()
    assert np.array_equal(v, sweep.v)
    with pytest.raises(ValueError):
        v[0] = 0


# A message without the file and line leaves the user to search a data
# directory by hand; the module's must be the CLI's, with the parts apart.
@pytest.mark.parametrize("damaged, index, text, field", [
    ("steps04_trace4_Err.cc", 4, "  0.2  -6x.5  0  0  0  0", "column 2"),
    ("steps04.par", 5, "0,05", "field 3")])
def test_errors_name_file_line_and_field_as_the_cli_does(cli, copy_of, damaged, index, text, field):
    data = copy_of("steps")
    rewrite_line(data / damaged, index, text)
    trace = data / "steps04_trace4_Err.cc"
    with pytest.raises(velmora.Error) as caught:
        velmora.open(trace)
    e = caught.value
    assert (e.file, e.line, e.field) == (str(data / damaged), index + 1, field)
    failed = subprocess.run([cli, "info", trace], capture_output=True, text=True)
    assert failed.stderr.strip() == f"error: {e}"
    with pytest.raises(velmora.Error) as caught:
        velmora.open(data / "no_such_trace.cc")
    assert caught.value.file.endswith("no_such_trace.cc") and "no such trace file" in str(caught.value)


def test_warnings_reach_the_warnings_module(copy_of):
    trace = copy_of("steps") / "steps04_trace4_Err.cc"
    rewrite_line(trace, 6, "      0.300  -66.1943")
    with pytest.warns(velmora.VelmoraWarning, match="line 7 holds 2 of 6 columns"):
        velmora.open(trace)
    with warnings.catch_warnings():
        warnings.simplefilter("error", velmora.VelmoraWarning)
        with pytest.raises(velmora.VelmoraWarning):
            velmora.open(trace)


# Settings kept apart from the table would drift from the program's
# defaults and limits; the CLI lists the table's.
def test_settings_have_the_defaults_and_limits_of_the_field_table(cli):
    listed = {}
    for command in ("fi", "fc"):
        for line in run_cli(cli, command, "--help").splitlines():
            words = line.split()
            if len(words) >= 2 and words[0] in {f["name"] for f in velmora.Settings.FIELDS}:
                listed[words[0]] = float(words[1])
    settings = velmora.Settings()
    names = set(settings.fi) | set(settings.fc)
    assert names == set(listed)
    for name in names:
        assert float(settings[name]) == listed[name], name
    assert settings.fi.TimeWindow == 50 and settings.fi.Filter is True
    assert velmora.Settings.default().fi.V_min == -35 and velmora.Settings.adjusted().fi.V_min == -15
    settings.fc.C1_C = 0.5
    assert settings["c1/c"] == 0.5
    with pytest.raises(ValueError, match="TimeWindow must lie within 0..1000000 ms"):
        settings.fi.TimeWindow = -1
    assert settings.fi.TimeWindow == 50
    with pytest.raises(AttributeError):
        settings.fi.C1_C  # a firing-clamp field: not of the F-I group
    settings.fi.TimeWindow = 20
    assert velmora.detect_spikes(velmora.Sweep(np.full(100, -65.0), 0.05), settings)["tAP"].size == 0


# A long run must stop at Ctrl-C without leaving half a sweep in the
# result files: what was filed before stays, whole.
def test_ctrl_c_stops_a_run_between_sweeps(example, tmp_path):
    sweeps = list(velmora.open(example / "steps"))
    velmora.fi(sweeps, directory=tmp_path, rewrite=True)
    filed = (tmp_path / "out_nu.dat").read_bytes()
    # Ctrl-C while the run waits for the directory that another action
    # holds, with the interpreter lock released: it stops before sweep 1.
    other = open(tmp_path / ".velmora.lock", "a")
    fcntl.flock(other, fcntl.LOCK_EX)

    def press_ctrl_c_and_let_go():
        time.sleep(0.5)
        _thread.interrupt_main()
        other.close()

    presser = threading.Thread(target=press_ctrl_c_and_let_go)
    presser.start()
    with pytest.raises(KeyboardInterrupt):
        velmora.fi(sweeps, directory=tmp_path)
    presser.join()
    assert (tmp_path / "out_nu.dat").read_bytes() == filed
    # Ctrl-C while a warning of the third sweep's read is shown: the two before are filed.
    sweeps.insert(2, velmora.Sweep([-65.0], 0.05, name="one sample, which the filter warns of"))
    with warnings.catch_warnings():
        warnings.simplefilter("always")
        warnings.showwarning = lambda *args, **kwargs: _thread.interrupt_main()
        with pytest.raises(KeyboardInterrupt):
            velmora.fi(sweeps, directory=tmp_path, rewrite=True)
    assert (tmp_path / "out_nu.dat").read_bytes() == b"\r\n".join(filed.split(b"\r\n")[:3]) + b"\r\n"


def test_example_script_draws_its_pictures(example, tmp_path):
    script = Path(__file__).parents[1] / "examples" / "spikes_and_fi.py"
    subprocess.run([sys.executable, script, example, tmp_path], check=True, capture_output=True,
                   env=dict(os.environ, MPLBACKEND="Agg"))
    for picture in ("sweep_spikes.png", "fi_curve.png"):
        assert (tmp_path / picture).stat().st_size > 10000, picture
