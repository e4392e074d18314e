"""The component's enumerations as IntEnums, built from the values the
extension exports (one source: the C++ header), members also at module
level as in C++."""

import enum as _enum

from ._q7kcomm import _enumerations

__all__ = []
for _name, _members in _enumerations.items():
    _cls = _enum.IntEnum(_name, _members, module=__name__)
    globals()[_name] = _cls
    __all__.append(_name)
    for _member in _cls:
        globals()[_member.name] = _member
        __all__.append(_member.name)
del _name, _members, _cls, _member
