"""Fixtures: the virtual instrument on a pseudo-terminal, and a firmware
image to download."""

import os
import pathlib
import subprocess

import pytest


@pytest.fixture
def emulator():
    """emulator(*args) starts q7k-emulator and returns its line's path;
    every one started is stopped after the test."""
    started = []

    def start(*args):
        proc = subprocess.Popen([os.environ["Q7K_EMULATOR"], *args],
                                stdout=subprocess.PIPE, text=True)
        started.append(proc)
        return proc.stdout.readline().strip()

    yield start
    for proc in started:
        proc.terminate()
        proc.wait()
        proc.stdout.close()


@pytest.fixture
def firmware(tmp_path, monkeypatch):
    """A valid firmware image fw/Q7I.X0 (no real program), named relative
    to the test's own temp dir."""
    monkeypatch.chdir(tmp_path)
    os.mkdir("fw")
    subprocess.run([os.environ["Q7K_TOOL"], "flash", "sample", "fw"],
                   check=True, stdout=subprocess.DEVNULL)
    return pathlib.Path("fw", "Q7I.X0")
