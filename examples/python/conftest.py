"""A pytest fixture for a rig's own tests: the virtual instrument on a
pseudo-terminal, opened as a q7kcomm instrument.

    def test_power_factor(instrument):
        assert instrument.run_test(kv=10).power_factor < 5

Set Q7K_EMULATOR to the q7k-emulator program when it is not on PATH;
extra emulator options go in Q7K_EMULATOR_ARGS ("--tan-delta 0.01")."""

import os
import shlex
import subprocess

import pytest

import q7kcomm


@pytest.fixture
def virtual_instrument():
    """The path of a fresh virtual instrument's line."""
    program = os.environ.get("Q7K_EMULATOR", "q7k-emulator")
    args = shlex.split(os.environ.get("Q7K_EMULATOR_ARGS", ""))
    proc = subprocess.Popen([program, *args], stdout=subprocess.PIPE,
                            text=True)
    try:
        yield proc.stdout.readline().strip()
    finally:
        proc.terminate()
        proc.wait()
        proc.stdout.close()


@pytest.fixture
def instrument(virtual_instrument):
    with q7kcomm.open(virtual_instrument) as inst:
        yield inst
