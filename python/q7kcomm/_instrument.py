"""The Pythonic layer: one instrument behind a context manager.

It drives the component the way the ``q7k`` tool does, through the same
public interfaces, and turns every failure into an exception.
"""

from __future__ import annotations

import contextlib
import dataclasses
import functools
import os
import re
import threading
from typing import Callable, List, Optional, Tuple, Union

from . import _q7kcomm
from ._enums import (Q7K_BPS, Q7K_LANGUAGE, SIMUL_MODE, TYPE_OF_TEST,
                     CIRC_DESC, FILTER_TYPE, CAL_INDEX, MODE_LATCH2)
from ._errors import Error, NotSettled
from ._q7kcomm import (Q7kComm, Q7K_TEST_PARAMS, Q7K_INIT_PARAMS,
                       Q7K_RUNTM_PARAMS, Q7K_TEST_DATA, Q7K_THERMAL_DATA)

_LANGUAGES = {"en": 0, "es": 1, "pt": 2, "fr": 3}
_TEST_TYPES = {"pf": 0, "xref": 1, "xref-gst": 2, "leak": 3, "exc": 4}
_CIRCUITS = {"gnd-rb": 0, "gar-rb": 1, "gar-r": 2, "gar-b": 3,
             "ust-rb": 4, "ust-r": 5, "ust-b": 6}
_FILTERS = {"fast": 0, "slow": 1, "averaged": 2}
_LATCHES = {0: MODE_LATCH2.ML2_GST_GND_RED_BLUE,
            1: MODE_LATCH2.ML2_GST_GAR_RED_BLUE,
            2: MODE_LATCH2.ML2_GST_GAR_RED, 3: MODE_LATCH2.ML2_GST_GAR_BLUE,
            4: MODE_LATCH2.ML2_UST_RED_BLUE, 5: MODE_LATCH2.ML2_UST_RED,
            6: MODE_LATCH2.ML2_UST_BLUE}
# The backplane blocks are judged against the others: they come last.
_SURVEY_ORDER = (CAL_INDEX.GUARD_CAL, CAL_INDEX.MAIN_REF_CAL,
                 CAL_INDEX.FIELD_REF_CAL, CAL_INDEX.MODESWITCH_CAL,
                 CAL_INDEX.BP_FACTORY_CAL, CAL_INDEX.BP_FIELD_CAL)
_WATCHDOG_RESET = 20


def _choice(value, names, enum, what):
    if isinstance(value, str):
        try:
            return enum(names[value.lower()])
        except KeyError:
            raise ValueError(f"unknown {what} {value!r}; one of "
                             f"{', '.join(names)}") from None
    return enum(value)


def _own_errors(method):
    """The component keeps an error until it is cleared, and files a later
    one under the first one's code: each operation starts with a clear
    record, so what it raises is its own failure."""
    @functools.wraps(method)
    def run(self, *args, **kwargs):
        self._live().ClearError()
        return method(self, *args, **kwargs)
    return run


# --- Progress: one process-wide view, each thread its own callback ---------

_progress = threading.local()


def _on_progress(position, lower, upper, bar, message, label, title):
    callback = getattr(_progress, "callback", None)
    if callback is not None and bar:
        callback(position - lower, upper - lower)


_q7kcomm.set_progress_hook(_on_progress)


@contextlib.contextmanager
def _progress_to(callback):
    previous = getattr(_progress, "callback", None)
    _progress.callback = callback
    try:
        yield
    finally:
        _progress.callback = previous


# The component reads image files from the current directory, which is the
# process's: calls that need one take turns.
_cwd_lock = threading.Lock()


@contextlib.contextmanager
def _in_directory_of(path):
    with _cwd_lock:
        # Only now is a relative path where the caller named it: until its
        # turn came, another call may have been in its image's directory.
        if not os.access(path, os.R_OK):
            raise FileNotFoundError(path)
        # A port created there would take a relative recording name
        # against the image's directory instead of the caller's.
        record = os.environ.get("Q7K_RECORD")
        if record and not os.path.isabs(record):
            os.environ["Q7K_RECORD"] = os.path.abspath(record)
        previous = os.getcwd()
        os.chdir(os.path.dirname(path) or ".")
        try:
            yield
        finally:
            os.chdir(previous)


# Devices named by path get a port number of their own for as long as they
# are open, so instruments on several threads do not share a mapping.
_port_lock = threading.Lock()
_ports_in_use = set()
_FIRST_MAPPED_PORT = 100


def _take_port():
    with _port_lock:
        port = _FIRST_MAPPED_PORT
        while port in _ports_in_use:
            port += 1
        _ports_in_use.add(port)
        return port


def _give_back_port(port):
    _q7kcomm.SetSerialPortPath(port, "")
    with _port_lock:
        _ports_in_use.discard(port)


# --- Results ---------------------------------------------------------------

@dataclasses.dataclass
class TestResult:
    """What a test measured, in SI units (see ``units``), with the
    records it came from."""

    params: Q7K_TEST_PARAMS
    data: Q7K_TEST_DATA
    thermal: Q7K_THERMAL_DATA
    polls: int

    units = {"kv": "kV", "current": "A", "watts": "W", "power_factor": "%",
             "dissipation_factor": "", "frequency": "Hz",
             "parallel_capacitance": "F", "series_capacitance": "F",
             "parallel_resistance": "ohm", "series_resistance": "ohm",
             "ambient_temperature": "C", "humidity": "%"}

    kv = property(lambda self: self.data.KVoltMeas)
    current = property(lambda self: self.data.Amperes)
    watts = property(lambda self: self.data.Watts)
    power_factor = property(lambda self: self.data.PowerFactor)
    dissipation_factor = property(lambda self: self.data.TangentDelta)
    frequency = property(lambda self: self.data.FrequencyMeas)
    parallel_capacitance = property(lambda self: self.data.ParallelCap)
    series_capacitance = property(lambda self: self.data.SeriesCap)
    parallel_resistance = property(lambda self: self.data.ParallelRes)
    series_resistance = property(lambda self: self.data.SeriesRes)
    ambient_temperature = property(lambda self: self.thermal.ExtTemperature)
    humidity = property(lambda self: self.thermal.ExtHumidity)

    def as_dict(self) -> dict:
        """The values by name, in the units of ``units``."""
        return {name: getattr(self, name) for name in self.units}

    def __str__(self):
        return "\n".join(f"{name:22} {value:14.6g} {self.units[name]}"
                         for name, value in self.as_dict().items())


@dataclasses.dataclass(frozen=True)
class AppIdentity:
    """An application: the running one, an image file's or a flash entry's."""
    name: str
    date: str
    time: str
    version: str
    description: str


@dataclasses.dataclass(frozen=True)
class CalStatus:
    """One calibration block's verdict (``calibration_status``)."""
    block: CAL_INDEX
    valid: bool
    checksum_ok: bool
    factors: int
    valid_factors: int
    serial: int
    serial_mismatch: bool
    done: int
    done_disagrees: bool
    date: str


class Board:
    """One board's EEPROM image, read whole, with its header decoded.

    ``words`` are the 256 words as read; ``sum`` their 16-bit sum (0 for a
    consistent board).  ``write`` changes the board with the component's
    safe update: written, read back, and the checksum committed.
    """

    def __init__(self, comm: Q7kComm, slot: int, subslot: int):
        self._comm = comm
        self.slot, self.subslot = slot, subslot
        comm.ReadContents(slot, subslot)
        self.sum = comm.Checksum
        self.words = [comm.get_ValInt(i) for i in range(256)]
        self.signature = self.words[0]
        self.write_count = self.words[1]
        self.part_number = comm.get_ValChars(3, 12)
        self.revision = comm.get_ValChars(9, 4)
        self.name = comm.get_ValChars(11, 32)
        self.serial = comm.get_ValLong(27)
        self.mnemonic = comm.get_ValChars(29, 8)
        self.date = comm.get_ValDate(33)

    def _live(self):
        return self._comm

    @property
    def consistent(self) -> bool:
        return self.sum == 0

    def __repr__(self):
        return (f"Board(slot={self.slot}, subslot={self.subslot}, "
                f"name={self.name!r}, part_number={self.part_number!r}, "
                f"serial={self.serial}, sum={self.sum})")

    @_own_errors
    def write(self, location: int, value: Union[int, float]) -> None:
        """Writes a word (int) or a float (two words) at location, safely;
        raises EepromVerifyError when it does not read back."""
        if isinstance(value, float):
            self._comm.SafeWriteFloat(self.slot, self.subslot, location, value)
        else:
            self._comm.SafeWriteInt(self.slot, self.subslot, location, value)


class _Eeprom:
    def __init__(self, comm):
        self._comm = comm

    def _live(self):
        return self._comm

    @_own_errors
    def __getitem__(self, key: Tuple[int, int]) -> Board:
        slot, subslot = key
        return Board(self._comm, slot, subslot)


class Instrument:
    """One instrument on one port (or simulated); use :func:`open`."""

    def __init__(self, comm, port, mapped_port):
        self.comm = comm
        self.port = port
        self._mapped = mapped_port
        self.bps = Q7K_BPS.BPS_115200
        self.eeprom = _Eeprom(comm)

    # -- lifetime
    def close(self) -> None:
        """Closes the port and releases the component object."""
        if self.comm is None:
            return
        try:
            self.comm.release()
        finally:
            if self._mapped:
                _give_back_port(self.port)
            self.comm = None

    def __enter__(self) -> Instrument:
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def _live(self) -> Q7kComm:
        if self.comm is None:
            raise ValueError("the instrument is closed")
        return self.comm

    # -- identity
    @_own_errors
    def app_info(self) -> AppIdentity:
        """The application the instrument runs."""
        self.comm.ReadAppInfo()
        return self._app_identity()

    def _app_identity(self):
        c = self.comm
        return AppIdentity(c.AppName, c.AppDate, c.AppTime, c.AppVersion,
                           c.AppDescription)

    # -- tests
    @_own_errors
    def run_test(self, kv: float = 10.0,
                 circuit: Union[str, CIRC_DESC] = "gnd-rb", polls: int = 40,
                 *, type: Union[str, TYPE_OF_TEST] = "pf",
                 frequency: float = 60.0,
                 filter: Union[str, FILTER_TYPE] = "fast",
                 extended: bool = False, interval: float = 0.25,
                 on_poll: Optional[Callable[[TestResult], None]] = None
                 ) -> TestResult:
        """Runs one test: parameters, start, result polls while the
        instrument ranges or the voltage settles, then stop.

        kv: test voltage in kV (up to 12); circuit: "gnd-rb", "gar-rb",
        "gar-r", "gar-b", "ust-rb", "ust-r", "ust-b" or a CIRC_DESC;
        polls: how many polls before giving up (NotSettled); type: "pf",
        "xref", "xref-gst", "leak", "exc" or a TYPE_OF_TEST; interval:
        seconds between polls; on_poll(result) after every poll.
        The test is stopped whatever happens once it has started.
        """
        c = self.comm
        test_type = _choice(type, _TEST_TYPES, TYPE_OF_TEST, "test type")
        circ = _choice(circuit, _CIRCUITS, CIRC_DESC, "circuit")
        filt = _choice(filter, _FILTERS, FILTER_TYPE, "filter")
        external = test_type in (TYPE_OF_TEST.EXT_REF_TEST,
                                 TYPE_OF_TEST.EXT_REF_GST)
        c.ReadAppInfo()
        c.InitTestParams(Q7K_INIT_PARAMS(
            LineType=0, VoltageSource=0, BeeperEnable=-1, StrobeEnforce=-1,
            SafetySwitchEnforce=-1, LVInsertEnforce=-1, MaxVolts=12,
            XfmrMaxTempTime=3600, XfmrTemp=35.0))
        c.UpdateRuntimeParams(Q7K_RUNTM_PARAMS(
            ModeLatch2=_LATCHES[circ], ReferenceType=4 if external else 0,
            AcDcTest=0, EnableVoltCorrect=1, TestPhase=0,
            TestVoltage=int(kv * 1000), CurrentRange=0, Frequency=frequency,
            SamplesToAvg=10))
        p = Q7K_TEST_PARAMS(
            KVolt=kv, KVoltMax=kv, KVoltStep=kv / 4, AdjustWatts=-1,
            ExtendedResults=-1 if extended else 0, TypeOfCal=0,
            TypeOfTest=test_type, NormRevStatus=-1, NormRevEnable=-1,
            NormRevPrevious=0, CircDesc=circ,
            BaseFreq=0 if frequency < 55 else 1, DisplayMode=0, CapModel=1,
            IndModel=0, FilterType=filt, WattsRange=0, TestPhase=0,
            Frequency=frequency, SamplesToAvg=10)
        c.CalcWattsAdjustment(p)
        c.StartQ7kTest(p)
        result = TestResult(p, Q7K_TEST_DATA(), Q7K_THERMAL_DATA(), 0)
        stopped = False
        try:
            while True:
                if result.polls > 0 and interval > 0:
                    c.TimerDelay(int(interval * 1000), 1)
                if extended:
                    c.RequestTestResults(p)
                    c.ReceiveTestResults(p, result.data, result.thermal)
                else:
                    c.FullRequestTestResults(p, result.data, result.thermal)
                result.polls += 1
                if on_poll is not None:
                    on_poll(result)
                if not (p.Ranging or p.VoltageSettling):
                    break
                if result.polls >= polls:
                    raise NotSettled(0, f"no settled result after "
                                        f"{result.polls} polls")
            c.AdjustTestData(p, result.data)
            stopped = True
            c.StopQ7kTest()
        finally:
            if not stopped:
                # The voltage must not stay on; the first failure is raised.
                with contextlib.suppress(Error):
                    c.StopQ7kTest()
        return result

    # -- firmware
    @_own_errors
    def setup(self, firmware: Union[str, os.PathLike] = "Q7I.X0",
              progress: Optional[Callable[[int, int], None]] = None,
              timeout: int = 60, reboot: bool = False
              ) -> Tuple[AppIdentity, AppIdentity]:
        """The firmware check: brings the instrument to the firmware image
        (restarting the boot loader, downloading and programming it when
        needed), then opens the port.  progress(done, total) sees every
        step of a download.  Returns (image, running) AppIdentity."""
        firmware = os.fspath(firmware)
        name = os.path.basename(firmware)
        if name != "Q7I.X0":
            raise ValueError(f"the firmware image must be named Q7I.X0, "
                             f"not {name!r}")
        c = self.comm
        with _in_directory_of(firmware), _progress_to(progress):
            c.ReadDiskAppInfo("Q7I")
            image = self._app_identity()
            if reboot:
                c.RequireReboot = 1
            c.ClosePort()
            # SetupComm does nothing while an error is recorded.
            c.ClearError()
            self._setup_comm(timeout)
            running = self.app_info()
        return image, running

    def _setup_comm(self, timeout):
        c = self.comm
        try:
            c.SetupComm(self.port, self.bps, timeout)
        except Error as error:
            if error.code != _WATCHDOG_RESET:
                raise
            # The next setup runs the power-on sequence and leaves the port
            # closed; the check itself needs the error cleared first.
            c.SetupComm(self.port, self.bps, timeout)
            c.ClearError()
            c.SetupComm(self.port, self.bps, timeout)
        if not c.IsPortOpen():
            raise Error(c.ErrorCode, c.ErrorMsg or "the port setup failed")

    @_own_errors
    def download(self, image: Union[str, os.PathLike],
                 progress: Optional[Callable[[int, int], None]] = None,
                 timeout: int = 60, run: bool = False) -> int:
        """Programs an image file "<name>.X0" into the flash: boot loader
        restarted when it does not run, the image announced, sent (every
        block reported to progress(done, total)), programmed and found in
        the directory.  Returns its entry number; run=True starts it.
        When the download fails, or progress raises (it is not called
        again, and the exception is raised once the image is sent), the
        instrument is told to abandon it: nothing is programmed."""
        image = os.fspath(image)
        name = os.path.basename(image)
        stem, dot, ext = name.partition(".")
        if not stem or ext != "X0" or len(name) > 15:
            raise ValueError(f"an image file is named <name>.X0 with at most "
                             f"15 characters, not {name!r}")
        c = self.comm
        with _in_directory_of(image), _progress_to(progress):
            c.ReadDiskAppInfo(stem)
            disk = self._app_identity()
            if not self.app_info().name.startswith("POSTLOAD"):
                c.RestartBootLoader(self.port, self.bps, timeout)
            c.FillAppParams(name)
            c.SendAppParams()
            try:
                c.DownloadApp(name)
                c.DownloadComplete(timeout)
            except BaseException:
                # A progress callback cannot stop DownloadApp, only end the
                # download once it returns: the instrument abandons what it
                # was sent instead of programming it later.
                with contextlib.suppress(Error):
                    c.AbortDownload()
                raise
        entry = c.SearchForApp(disk.name, disk.date, disk.time, disk.version)
        if entry == 0:
            raise Error(0, "the programmed image is not in the flash "
                           "directory")
        if run:
            c.ExecuteApp(entry)
        return entry

    @property
    @_own_errors
    def flash(self) -> List[AppIdentity]:
        """The applications in the instrument's flash, entry 1 first."""
        c = self.comm
        c.ReadFlashDirectory()
        entries = []
        for slot in range(c.FlashDirCount):
            c.ReadFlashDirInfo(slot)
            entries.append(self._app_identity())
        return entries

    # -- calibration
    @_own_errors
    def calibration_status(self) -> List[CalStatus]:
        """Every calibration block judged against the instrument's own
        "calibration done" flags, in the order the checks depend on."""
        c = self.comm
        c.ReadCalInfo()
        survey = []
        for block in _SURVEY_ORDER:
            c.CheckCalStatus(block, c.get_CalDone(block))
            survey.append(CalStatus(
                block, c.get_CalStatus(block) != 0,
                c.get_ChecksumStatus(block) != 0, c.get_CalNumFactors(block),
                c.get_CalValidFactors(block), c.get_CalSerialNumber(block),
                c.get_CalSerialNumError(block) != 0, c.get_CalDone(block),
                c.get_CalStatusError(block) != 0, c.get_CalDate(block)))
        return survey

    @_own_errors
    def thermal(self) -> Q7K_THERMAL_DATA:
        """The temperatures and thermal state now."""
        data = Q7K_THERMAL_DATA()
        self.comm.ReadThermalData(data)
        return data


_COM = re.compile(r"^COM(\d+)$", re.IGNORECASE)


def open(port: Union[str, os.PathLike, None] = None, *,
         simulate: Union[str, SIMUL_MODE, None] = None,
         language: Union[str, Q7K_LANGUAGE] = "en",
         bps: Q7K_BPS = Q7K_BPS.BPS_115200, fast: bool = True,
         trace: bool = False) -> Instrument:
    """Opens an instrument; use it as a context manager.

    port: "COM3" (port 3, mapped as the component maps it: Q7K_COM3 or
    /dev/ttyS2), a device path ("/dev/ttyUSB0", a pseudo-terminal) or a
    network port ("rfc2217://host:port", "socket://host:port").
    simulate: a SIMUL_MODE or its name ("exc", "clip", "xref", "leak",
    "bht", "cal") for the built-in instrument instead of a port; fast runs
    it without waits and noise.  language: "en", "es", "pt", "fr" or a
    Q7K_LANGUAGE, for the texts of errors.

    Raises PortNotFound, PortInUse or another Error when the port cannot
    be opened.
    """
    if (port is None) == (simulate is None):
        raise ValueError("give a port or simulate=..., not both")
    comm = Q7kComm()
    mapped = False
    number = 1
    try:
        comm.Language = _choice(language, _LANGUAGES, Q7K_LANGUAGE,
                                "language")
        comm.EnableTrace = 1 if trace else 0
        if simulate is not None:
            names = {m.name[6:].lower(): m.value for m in SIMUL_MODE if m}
            mode = _choice(simulate, names, SIMUL_MODE, "simulation")
            if not mode:
                # Without a mode the port would be the real COM1.
                raise ValueError("simulate= takes a simulation mode; a real "
                                 "instrument is opened by its port")
            comm.SimulMode = mode
            comm.SimulFast = 1 if fast else 0
        else:
            match = _COM.match(str(port))
            if match:
                number = int(match.group(1))
            else:
                number = _take_port()
                mapped = True
                _q7kcomm.SetSerialPortPath(number, os.fspath(port))
        inst = Instrument(comm, number, mapped)
        inst.bps = Q7K_BPS(bps)
        comm.OpenPort(number, inst.bps)
        return inst
    except BaseException:
        comm.release()
        if mapped:
            _give_back_port(number)
        raise
