"""Loading libvexa-x86 and calling its C functions.

The library is loaded at the first call, from the first of these that works:

1. the path in the environment variable ``VEXA_LIBRARY``;
2. the installed package: ``libvexa-x86.so.1`` beside this module, then in
   the library directories of the Python installation's prefix (a virtual
   environment or an install prefix shared with the library);
3. the system's library path (``ld.so``: ``LD_LIBRARY_PATH``, the cache of
   ``ldconfig``, ``/usr/lib``...).

When none works, :class:`~vexa.errors.LibraryNotFound` lists every path
tried and why it failed.

Calls release the interpreter lock while the library works (ctypes does), so
commands to different controllers from several threads run at the same time.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import operator
import os
import sys
import sysconfig
import threading
from pathlib import Path
from typing import Any, Optional, Sequence, Union

from ._signatures import EXTRA_SIGNATURES, SIGNATURES
from .errors import LibraryNotFound, error_for

#: A text argument: ``str`` (encoded with the caller's encoding) or bytes.
Text = Union[str, bytes]
#: A file name: ``str``, bytes or a path object.
PathText = Union[str, bytes, os.PathLike]

SONAME = "libvexa-x86.so.1"

_INT_MIN, _INT_MAX = -(2**31), 2**31 - 1
_SHORT_MIN, _SHORT_MAX = -(2**15), 2**15 - 1

_CTYPES: dict[str, Any] = {
    "TEXT": ctypes.c_char_p,
    "INT": ctypes.c_int,
    "BOOL": ctypes.c_bool,
    "SHORT": ctypes.c_short,
    "VOID": None,
    # The out-parameters of vexa_image_content_buffer, passed by reference.
    "BITMAP_OUT": ctypes.POINTER(ctypes.POINTER(ctypes.c_ubyte)),
    "INT_OUT": ctypes.POINTER(ctypes.c_int),
    # A buffer the library writes a text into (ctypes.create_string_buffer).
    "BUFFER": ctypes.c_char_p,
}

# Every C function the package calls, each parameter as (kind, name).
_PARAMETERS: dict[str, list[tuple[str, str]]] = {
    name: [tuple(p.split(":")) for p in params.split()]  # type: ignore[misc]
    for name, (_, params) in {**SIGNATURES, **EXTRA_SIGNATURES}.items()
}

_lock = threading.Lock()
_library: Optional[ctypes.CDLL] = None
_path: Optional[str] = None


def _candidates() -> list[tuple[str, str]]:
    """``(label, what to load)`` in the order they are tried."""
    found: list[tuple[str, str]] = []
    env = os.environ.get("VEXA_LIBRARY")
    if env:
        found.append((f"VEXA_LIBRARY={env}", env))
    here = Path(__file__).resolve().parent
    found.append((str(here / SONAME), str(here / SONAME)))
    prefixes = []
    for prefix in (sys.prefix, sys.base_prefix):
        if prefix not in prefixes:
            prefixes.append(prefix)
    multiarch = sysconfig.get_config_var("MULTIARCH") or ""
    for prefix in prefixes:
        for sub in ("lib", f"lib/{multiarch}" if multiarch else "", "lib64"):
            if sub:
                path = str(Path(prefix) / sub / SONAME)
                found.append((path, path))
    found.append((f"{SONAME} (system library path)", SONAME))
    name = ctypes.util.find_library("vexa-x86")
    if name and name != SONAME:
        found.append((f"{name} (system library path)", name))
    return found


def _load() -> ctypes.CDLL:
    tried: list[tuple[str, str]] = []
    for label, target in _candidates():
        if os.sep in target and not os.path.exists(target):
            tried.append((label, "no such file"))
            continue
        try:
            library = ctypes.CDLL(target)
        except OSError as error:
            tried.append((label, str(error)))
            continue
        if not hasattr(library, "vexa_version"):
            tried.append((label, "has no C interface (vexa_version): an older library"))
            continue
        _declare(library)
        global _path
        _path = target
        return library
    raise LibraryNotFound(tried)


def _declare(library: ctypes.CDLL) -> None:
    for name, (returns, _) in {**SIGNATURES, **EXTRA_SIGNATURES}.items():
        function = getattr(library, name)
        function.restype = _CTYPES[returns]
        function.argtypes = [_CTYPES[kind] for kind, _ in _PARAMETERS[name]]


def library() -> ctypes.CDLL:
    """The loaded libvexa-x86, loading it on first use.

    Raises:
        LibraryNotFound: when no candidate path could be loaded.
    """
    global _library
    if _library is None:
        with _lock:
            if _library is None:
                _library = _load()
    return _library


def library_path() -> str:
    """What the library was loaded from (loading it first if needed)."""
    library()
    assert _path is not None
    return _path


# ---------------------------------------------------------------------------
def argument(kind: str, name: str, value: Any) -> Any:
    """One argument of a C function checked and converted for its parameter.

    Every value the package hands to the library passes here, because
    ctypes would silently keep only the low bits of an int that does not fit
    (``2**32`` would reach the library as 0). The rules, by the parameter's
    C type:

    - ``int`` and ``short``: any integer (``int``, ``bool`` or a type with
      ``__index__``) within the type's range: -2**31 to 2**31 - 1 for
      ``int``, -2**15 to 2**15 - 1 for ``short``;
    - ``bool``: ``True`` or ``False``, or the integers 1 and 0; any other
      number is refused rather than read as true, since it is far more
      likely an argument in the wrong place than a flag;
    - ``const char*``: bytes or ``None`` (the callers encode texts first).

    Raises:
        TypeError: for a value of another type (a float, ``None``, a str).
        OverflowError: for an integer outside the C type's range.
        ValueError: for an integer other than 0 or 1 given for a bool.
    """
    if kind == "TEXT":
        if value is not None and not isinstance(value, bytes):
            raise TypeError(f"{name}: bytes expected, got {type(value).__name__}")
        return value
    if kind in ("BITMAP_OUT", "INT_OUT", "BUFFER"):
        return value  # references and buffers made by the package itself
    try:
        number = operator.index(value)
    except TypeError:
        expected = "bool" if kind == "BOOL" else "int"
        raise TypeError(f"{name}: {expected} expected, got {type(value).__name__}") from None
    if kind == "BOOL":
        if number not in (0, 1):
            raise ValueError(f"{name}={number} is not a bool (True, False, 1 or 0)")
        return bool(number)
    low, high = (_SHORT_MIN, _SHORT_MAX) if kind == "SHORT" else (_INT_MIN, _INT_MAX)
    if not low <= number <= high:
        raise OverflowError(f"{name}={number} does not fit a C {kind.lower()} ({low} to {high})")
    return number


def prepare(function: str, args: Sequence[Any]) -> tuple[Any, ...]:
    """Checks and converts the arguments of a C function with :func:`argument`.

    Raises:
        TypeError, OverflowError, ValueError: for an argument the C function
            cannot take (see :func:`argument`).
    """
    params = _PARAMETERS[function]
    if len(params) != len(args):
        raise TypeError(f"{function} takes {len(params)} arguments, {len(args)} given")
    return tuple(argument(kind, name, value) for (kind, name), value in zip(params, args))


def call_prepared(function: str, args: tuple[Any, ...]) -> Any:
    """Calls a C function with arguments :func:`prepare` gave."""
    return getattr(library(), function)(*args)


def call(function: str, *args: Any) -> Any:
    """Calls a C function, its arguments checked, and returns what it returns.

    Raises:
        TypeError, OverflowError, ValueError: for an argument the C function
            cannot take, before it is called.
    """
    return call_prepared(function, prepare(function, args))


def call_text(function: str, *args: Any, encoding: str = "ascii") -> str:
    """Calls a C function that returns a text, and decodes it (``""`` for a
    null pointer)."""
    raw: Optional[bytes] = call(function, *args)
    return raw.decode(encoding, "backslashreplace") if raw else ""


def last_reason() -> str:
    """The calling thread's reason for its last result other than 0, ``""``
    before any."""
    return call_text("vexa_last_reason", encoding="utf-8")


def check_result(result: int, call_text: str) -> None:
    """Raises the exception for a result code other than 0, with the reason.

    Must run on the thread that made the call, right after it, so that the
    reason read is that call's (a result 0 leaves an earlier reason in
    place, so it is read only for the others).
    """
    if result != 0:
        error = error_for(result, last_reason(), call_text)
        if error is not None:
            raise error


def run(function: str, *args: Any, call_text: str = "") -> None:
    """Calls a command; ``None`` when accepted, else raises.

    Raises:
        NotAccepted, NoReply, ControllerRefused: for results 1 to 4.
        TypeError, OverflowError, ValueError: for an argument the C function
            cannot take, before anything is sent.
    """
    check_result(call(function, *args), call_text or function)


# ---------------------------------------------------------------------------
def text_bytes(value: Text, encoding: str, what: str = "text") -> bytes:
    """A text argument as the bytes the library copies into the frame.

    ``str`` is encoded with ``encoding``; ``bytes`` (and ``bytearray``,
    ``memoryview``) pass unchanged.

    Raises:
        TypeError: for anything else.
        ValueError: for a NUL byte, which would end the text early (and for a
            character the encoding has no bytes for).
    """
    if isinstance(value, str):
        data = value.encode(encoding)
    elif isinstance(value, (bytes, bytearray, memoryview)):
        data = bytes(value)
    else:
        raise TypeError(f"{what}: str or bytes expected, got {type(value).__name__}")
    if b"\0" in data:
        raise ValueError(f"{what} holds a NUL byte, which would end it early")
    return data


def path_bytes(value: PathText, what: str = "file") -> bytes:
    """A file name as the bytes the library opens (the file system's encoding)."""
    try:
        data = os.fsencode(value)
    except TypeError:
        raise TypeError(
            f"{what}: str, bytes or path expected, got {type(value).__name__}"
        ) from None
    if b"\0" in data:
        raise ValueError(f"{what} holds a NUL byte")
    return data


def ascii_bytes(value: str, what: str) -> bytes:
    """An address or time text, which the library reads as ASCII."""
    if isinstance(value, bytes):
        data = value
    elif isinstance(value, str):
        try:
            data = value.encode("ascii")
        except UnicodeEncodeError:
            raise ValueError(f"{what} {value!r} is not ASCII") from None
    else:
        raise TypeError(f"{what}: str expected, got {type(value).__name__}")
    if b"\0" in data:
        raise ValueError(f"{what} holds a NUL byte")
    return data

