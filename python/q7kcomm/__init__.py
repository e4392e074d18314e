"""q7kcomm: the Q7300 insulation test set's communications component.

Two layers:

* ``q7kcomm.Q7kComm`` and the records (``Q7K_TEST_PARAMS`` ...): the
  component's four interfaces one to one, methods and properties under
  their own names.  A failed call raises :class:`q7kcomm.Error`.
* :func:`q7kcomm.open`: an instrument as a context manager, with test
  sessions, firmware setup, the flash directory, board EEPROMs and the
  calibration survey::

      with q7kcomm.open(simulate="exc", language="es") as inst:
          result = inst.run_test(kv=10, circuit="gnd-rb")
          print(result.power_factor, result.units["power_factor"])

Blocking calls let go of the GIL; Ctrl-C takes effect when the call
returns (at most the reply time-out).
"""

from . import _q7kcomm
from ._q7kcomm import (__version__, Q7kComm, Q7K_TEST_PARAMS,
                       Q7K_INIT_PARAMS, Q7K_RUNTM_PARAMS, Q7K_TEST_DATA,
                       Q7K_THERMAL_DATA, Q7K_RAW_DATA, SetSerialPortPath,
                       ResolveSerialPortPath, SetAnsiCodePage, GetAnsiCodePage,
                       set_message_pump)
from ._enums import *  # noqa: F401,F403 - the component's enumerations
from ._enums import __all__ as _enum_names
from ._errors import (Error, InvalidArgument, PortNotFound, PortInUse,
                      NoResponse, InstrumentError, EepromVerifyError,
                      ApplicationFileError, NotSettled)
from ._instrument import (open, Instrument, TestResult, AppIdentity, Board,
                          CalStatus)

__all__ = [
    "Q7kComm", "Q7K_TEST_PARAMS", "Q7K_INIT_PARAMS", "Q7K_RUNTM_PARAMS",
    "Q7K_TEST_DATA", "Q7K_THERMAL_DATA", "Q7K_RAW_DATA", "SetSerialPortPath",
    "ResolveSerialPortPath", "SetAnsiCodePage", "GetAnsiCodePage",
    "set_message_pump", "Error", "InvalidArgument", "PortNotFound",
    "PortInUse", "NoResponse", "InstrumentError", "EepromVerifyError",
    "ApplicationFileError", "NotSettled", "open", "Instrument", "TestResult",
    "AppIdentity", "Board", "CalStatus",
] + list(_enum_names)
