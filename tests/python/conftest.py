"""Where the built package, programs and samples are: the environment that ctest sets."""
import os
import subprocess

import pytest

BUILD = os.environ.get("SPLICETRC_BUILD", "build/release")
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SAMPLES = os.path.join(ROOT, "examples")


def program(name):
    return os.path.join(BUILD, name)


def run(*args, cwd=None):
    """Runs a program of the build; its output and status."""
    result = subprocess.run([program(args[0])] + list(args[1:]), cwd=cwd, text=True,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, errors="replace")
    return result.returncode, result.stdout


@pytest.fixture
def generated(tmp_path):
    """Makes a capture with trcgen: generated(name, *options) -> path."""
    def make(name, *options):
        path = str(tmp_path / name)
        status, out = run("tools/trcgen", "-out", path, *options)
        assert status == 0, out
        return path
    return make
