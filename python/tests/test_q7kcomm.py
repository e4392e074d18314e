import concurrent.futures
import contextlib
import enum
import os
import pickle
import select
import socket
import threading
import tty

import pytest

import q7kcomm

RECORDS = [q7kcomm.Q7K_TEST_PARAMS, q7kcomm.Q7K_INIT_PARAMS,
           q7kcomm.Q7K_RUNTM_PARAMS, q7kcomm.Q7K_TEST_DATA,
           q7kcomm.Q7K_THERMAL_DATA, q7kcomm.Q7K_RAW_DATA]


@pytest.mark.parametrize("record", RECORDS)
def test_record_fields_round_trip(record):
    values = {name: i + 1 for i, name in enumerate(record._fields)}
    r = record(**values)
    assert {n: getattr(r, n) for n in record._fields} == values
    assert pickle.loads(pickle.dumps(r)) == r
    assert record() != r
    assert repr(r).startswith(record.__name__ + "(" + record._fields[0] + "=1")


def test_enumerations_are_int_enums_with_the_header_values():
    assert issubclass(q7kcomm.SIMUL_MODE, enum.IntEnum)
    assert q7kcomm.SIMUL_MODE.SIMUL_CAL == 6
    assert q7kcomm.NR_NOCHANGE == -1
    assert q7kcomm.MODE_LATCH2.ML2_GST_GAR_RED_BLUE == 52
    assert q7kcomm.WATTS_RANGE.WR_30MW == 14


def test_raw_layer_returns_out_values_and_fills_records_in_place():
    comm = q7kcomm.Q7kComm()
    assert comm.Version == "1.00.15"
    assert q7kcomm.__version__.split(".") == ["1", "0", "15"]
    assert comm.Float2Ints(1.5) == (0, 16320)
    assert comm.Ints2Float(0, 16320) == 1.5
    comm.SimulMode = q7kcomm.SIMUL_EXC
    comm.SimulFast = 1
    assert comm.OpenPort(1, q7kcomm.BPS_115200) == 0
    data = q7kcomm.Q7K_THERMAL_DATA()
    comm.ReadThermalData(data)
    assert data != q7kcomm.Q7K_THERMAL_DATA()
    comm.release()
    with pytest.raises(ValueError):
        comm.Version


def test_simulated_test_session_returns_a_settled_result():
    with q7kcomm.open(simulate="exc") as inst:
        polls = []
        result = inst.run_test(kv=10, circuit="gnd-rb", interval=0,
                               on_poll=lambda r: polls.append(r.polls))
    assert polls == list(range(1, result.polls + 1))
    assert result.kv > 9 and result.units["kv"] == "kV"
    assert not result.params.Ranging and not result.params.VoltageSettling
    for none in ("none", q7kcomm.SIMUL_NONE):  # not the real COM1
        pytest.raises(ValueError, q7kcomm.open, simulate=none)


@pytest.mark.parametrize("cls", [q7kcomm.Error, q7kcomm.PortNotFound,
                                 q7kcomm.NoResponse, q7kcomm.InstrumentError,
                                 q7kcomm.EepromVerifyError])
def test_errors_pickle(cls):
    e = pickle.loads(pickle.dumps(cls(133, "texto", 0x80004005)))
    assert (type(e), e.code, e.message, e.hresult) == (cls, 133, "texto",
                                                        0x80004005)


NO_RESPONSE = {"en": "No Response from Q7300, Check Connections",
               "es": "No hay Respuesta del Q7300, Verifique las Conexiones"}


@pytest.mark.parametrize("language", ["en", "es"])
@pytest.mark.parametrize("fault, call, cls, code", [
    ("silence", lambda i: i.app_info(), q7kcomm.NoResponse, 133),
    ("nak=5", lambda i: i.app_info(), q7kcomm.InstrumentError, 5),
    ("nak=14", lambda i: i.app_info(), q7kcomm.InstrumentError, -1),
    ("checksum", lambda i: i.app_info(), q7kcomm.Error, 138),
    (None, lambda i: i.eeprom[0, 0].write(100, 7), q7kcomm.EepromVerifyError,
     152),
    (None, lambda i: i.comm.get_CalResistor(9), q7kcomm.InvalidArgument, 0),
])
def test_failures_raise_their_class_and_code(emulator, language, fault, call,
                                             cls, code):
    args = ["--fault", fault] if fault else ["--bad-board", "0,0"]
    with q7kcomm.open(emulator(*args), language=language) as inst:
        if not fault:  # a refusal left in the record is not what fails
            pytest.raises(q7kcomm.InstrumentError, inst.comm.DeleteApp, 99)
        with pytest.raises(cls) as raised:
            call(inst)
    assert raised.value.code == code
    if code == 133:
        assert isinstance(raised.value, TimeoutError)
        assert NO_RESPONSE[language] in raised.value.message


@pytest.mark.parametrize("device, cls, code", [
    ("/dev/q7k-no-such-device", q7kcomm.PortNotFound, 298),
    ("busy", q7kcomm.PortInUse, 299),
    ("refused", q7kcomm.PortNotFound, 298),
])
def test_opening_fails_with_the_port_error(emulator, device, cls, code):
    path = emulator()
    # Bound, never listening: connections to it are refused.
    with socket.socket() as closed:
        closed.bind(("127.0.0.1", 0))
        refused = "rfc2217://127.0.0.1:%d" % closed.getsockname()[1]
        with q7kcomm.open(path) as first:
            with pytest.raises(cls) as raised:
                q7kcomm.open({"busy": path, "refused": refused}.get(device,
                                                                    device))
            assert first.app_info().name
    assert raised.value.code == code and raised.value.message


@pytest.mark.parametrize("scheme", ["rfc2217", "socket"])
def test_a_test_runs_over_a_network_port(emulator, scheme):
    url = emulator("--listen", scheme + "://127.0.0.1:0")
    assert url.startswith(scheme + "://127.0.0.1:")
    with q7kcomm.open(url) as inst:
        result = inst.run_test(kv=10, circuit="gnd-rb", interval=0)
    assert result.kv > 9 and result.polls > 0


def test_progress_sees_every_step_of_a_download(emulator, firmware,
                                                 monkeypatch):
    # Two at once: each sees its own steps, and neither finds the image's
    # relative path moved by the other. setup opens the port anew in the
    # image's directory: the recording still goes here.
    monkeypatch.setenv("Q7K_RECORD", "rig.pcapng")

    def download(line):
        steps = []
        with q7kcomm.open(line) as inst:
            assert inst.download(firmware, lambda *s: steps.append(s)) < 16
            inst.setup(firmware)
        return steps

    lines = [emulator("--boot-loader") for _ in range(2)]
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        for steps in pool.map(download, lines):
            total = steps[-1][1]
            assert total > 0 and steps[-1][0] == total
            assert [d for d, _ in steps] == sorted(d for d, _ in steps)
            assert len({d for d, _ in steps}) > total // 2
    assert not list(firmware.parent.glob("*.pcapng"))


def test_exception_in_a_callback_surfaces_and_abandons_the_download(
        emulator, firmware):
    calls = []

    def progress(done, total):
        calls.append(done)
        raise KeyError("stop")

    with q7kcomm.open(emulator("--boot-loader")) as inst:
        with pytest.raises(KeyError, match="stop"):
            inst.download(firmware, progress=progress)
        assert len(calls) == 1
        # Every block was sent; the instrument has nothing left to program.
        with pytest.raises(q7kcomm.InstrumentError):
            inst.comm.DownloadComplete(60)


def _fds_and_threads():
    return [len(os.listdir(f"/proc/self/{d}")) for d in ("fd", "task")]


@pytest.mark.parametrize("cycles, simulate", [(1000, True), (1000, False)])
def test_open_close_cycles_leak_nothing(emulator, cycles, simulate):
    port = None if simulate else emulator()
    kwargs = {"simulate": "exc"} if simulate else {}

    def cycle(fail):
        with q7kcomm.open(port, **kwargs) as inst:
            inst.comm.ReadAppInfo()
            if fail:
                raise RuntimeError

    cycle(False)
    before = _fds_and_threads()
    for i in range(cycles):
        with (pytest.raises(RuntimeError) if i % 2
              else contextlib.nullcontext()):
            cycle(i % 2)
    assert _fds_and_threads() == before


def test_blocking_calls_let_go_of_the_gil_and_pumps_take_it():
    comm = q7kcomm.Q7kComm()
    comm.SimulMode = q7kcomm.SIMUL_EXC
    comm.OpenPort(1, q7kcomm.BPS_115200)
    inside, done = threading.Event(), []

    def wait():
        comm.TimerDelay(1000, 1)
        done.append(True)

    q7kcomm.set_message_pump(inside.set)
    worker = threading.Thread(target=wait)
    worker.start()
    try:
        assert inside.wait(10)  # the pump ran on the worker, in the call
        assert not done  # and this thread runs while that call waits
        comm.release()  # waits for the call, which keeps the object alive
        worker.join()
    finally:
        q7kcomm.set_message_pump(None)
    assert done


def test_a_waiting_call_lets_a_python_thread_answer_it(emulator):
    """The reply comes only through this thread's relay between the call's
    line and the instrument's: a call that kept the GIL while it waits
    would starve the relay and run into its time-out."""
    master, slave = os.openpty()
    line = os.open(emulator(), os.O_RDWR | os.O_NOCTTY)
    tty.setraw(line)
    stop_r, stop_w = os.pipe()
    relay = {master: line, line: master}
    got = []
    try:
        with q7kcomm.open(os.ttyname(slave)) as inst:
            def call():
                try:
                    got.append(inst.app_info().name)
                except Exception as e:
                    got.append(e)
                finally:
                    os.write(stop_w, b".")

            worker = threading.Thread(target=call)
            worker.start()
            while True:
                ready, _, _ = select.select([master, line, stop_r], [], [])
                if stop_r in ready:
                    break
                for fd in ready:
                    os.write(relay[fd], os.read(fd, 4096))
            worker.join()
    finally:
        for fd in (master, slave, line, stop_r, stop_w):
            os.close(fd)
    assert isinstance(got[0], str) and got[0]
