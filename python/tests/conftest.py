import os
import shutil
import subprocess

import pytest


@pytest.fixture(scope="session")
def cli():
    path = os.environ.get("VELMORA_CLI")
    if not path:
        pytest.skip("VELMORA_CLI names no velmora-cli to compare with (ctest sets it)")
    return path


def run_cli(cli, *args):
    """velmora-cli's standard output; its exit code must be 0."""
    return subprocess.run([cli, *map(str, args)], check=True, capture_output=True, text=True).stdout


@pytest.fixture(scope="session")
def example(tmp_path_factory, cli):
    """The example data set, as scripts/run writes it."""
    out = tmp_path_factory.mktemp("data") / "example"
    run_cli(cli, "synth", "--preset", "demo", "--out", out)
    return out


@pytest.fixture
def copy_of(example, tmp_path):
    """A fresh copy of one directory of the example, for runs that write into it."""
    def make(name, as_name=None):
        target = tmp_path / (as_name or name)
        shutil.copytree(example / name, target)
        return target
    return make
