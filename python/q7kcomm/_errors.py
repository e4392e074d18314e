"""The exceptions a failed call raises.

Every failure is a :class:`Error` carrying the component's error code
(``ErrorCode``), its text in the object's language and the method's
HRESULT.  The subclasses are the failures a script handles differently.
Instances pickle, so they cross ``multiprocessing``.
"""

E_FAIL = 0x80004005
E_INVALIDARG = 0x80070057


class Error(Exception):
    """A call of the component failed."""

    def __init__(self, code=0, message="", hresult=E_FAIL):
        self.code = int(code)
        self.message = str(message)
        self.hresult = int(hresult) & 0xFFFFFFFF
        super().__init__(self.code, self.message, self.hresult)

    def __str__(self):
        text = self.message or "the call failed"
        return f"{text} (code {self.code}, HRESULT 0x{self.hresult:08X})"

    def __reduce__(self):
        return (type(self), (self.code, self.message, self.hresult))


class InvalidArgument(Error, ValueError):
    """An argument outside what the method takes (E_INVALIDARG)."""


class PortNotFound(Error):
    """The serial device does not exist (code 298)."""


class PortInUse(Error):
    """The serial device is open elsewhere (code 299)."""


class NoResponse(Error, TimeoutError):
    """The instrument did not answer within the reply time-out (code 133)."""


class InstrumentError(Error):
    """The instrument refused the request (codes 1 to 65: its error number
    or what the error's detail says; -1 when neither names it)."""


class EepromVerifyError(Error):
    """A safe EEPROM write did not read back, or the board's checksum is
    not 0 afterwards (code 152)."""


class ApplicationFileError(Error):
    """A firmware image file or its flash copy is unusable (codes 81 to 86)."""


_BY_CODE = {298: PortNotFound, 299: PortInUse, 133: NoResponse,
            152: EepromVerifyError}


def error_class(code, hresult=E_FAIL):
    """The exception class for an error code and HRESULT."""
    if hresult & 0xFFFFFFFF == E_INVALIDARG:
        return InvalidArgument
    if code in _BY_CODE:
        return _BY_CODE[code]
    # -1 is a refusal the component has no closer name for.
    if code == -1 or 1 <= code <= 65:
        return InstrumentError
    if 81 <= code <= 86:
        return ApplicationFileError
    return Error


def error_for(code, message, hresult):
    """The exception for a failed call (the extension raises these)."""
    return error_class(code, hresult)(code, message, hresult)


class NotSettled(Error):
    """A test's results were still ranging or settling after the last poll
    allowed (no component code: 0)."""
