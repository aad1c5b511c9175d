"""A hall described in one file (docs/hall.md): its signs, counters and
announcement, driven as one.

    with vexa.Hall("examples/hall.toml") as hall:
        for r in hall.call("A012", 3):
            print(r.sign, r.command, r.result, r.reason)

Each operation sends through the library to every sign it concerns at once
and returns one :class:`SignResult` per sign; a sign that does not answer
stops no other, so a failure of one sign is a result, not an exception.
"""

from __future__ import annotations

import ctypes
import os
from dataclasses import dataclass
from types import TracebackType
from typing import Optional

from . import _library
from ._library import PathText
from .errors import NotAccepted, VexaError

_ERROR_SIZE = 16384


@dataclass(frozen=True)
class SignResult:
    """What one sign made of one command.

    Attributes:
        sign: the sign's name in the hall file.
        command: ``"lineup"``, ``"data"``, ``"bar"``, ``"voice"``,
            ``"upload"`` or ``"clock"``.
        result: the library's result code, 0 accepted, 1 to 4 not.
        reason: the library's reason when ``result`` is not 0, else ``""``.
        ms: how long the command took, in milliseconds.
    """

    sign: str
    command: str
    result: int
    reason: str
    ms: int

    @property
    def accepted(self) -> bool:
        """True when the sign accepted the command."""
        return self.result == 0


class HallFileError(VexaError):
    """The hall file cannot be read or has mistakes.

    Attributes:
        mistakes: every mistake as ``"FILE:LINE:COLUMN: what is wrong"``.
        reason: the library's words, the mistakes one a line.
    """

    result = 1

    def __init__(self, mistakes: list[str]) -> None:
        text = "\n".join(mistakes)
        super().__init__(text or "the hall file cannot be opened", "", text)
        self.mistakes = mistakes


def _text(raw: Optional[bytes]) -> str:
    return raw.decode("utf-8", "backslashreplace") if raw else ""


class Hall:
    """An open hall file.

    Args:
        path: the hall file.

    Attributes:
        path: the hall file's path.

    Raises:
        HallFileError: when the file cannot be read or has mistakes (all of
            them are listed).
    """

    def __init__(self, path: PathText) -> None:
        self._handle: Optional[int] = None
        error = ctypes.create_string_buffer(_ERROR_SIZE)
        name = _library.path_bytes(path, "path")
        self.path: str = os.fsdecode(name)
        handle = _library.call("vexa_hall_open", name, error, _ERROR_SIZE)
        if handle <= 0:
            raise HallFileError(_text(error.value).splitlines())
        self._handle = handle

    def _results(self) -> list[SignResult]:
        handle = self._open()
        return [
            SignResult(
                sign=_text(_library.call("vexa_hall_result_sign", handle, i)),
                command=_text(_library.call("vexa_hall_result_command", handle, i)),
                result=_library.call("vexa_hall_result_code", handle, i),
                reason=_text(_library.call("vexa_hall_result_reason", handle, i)),
                ms=_library.call("vexa_hall_result_ms", handle, i),
            )
            for i in range(_library.call("vexa_hall_result_count", handle))
        ]

    def _open(self) -> int:
        if self._handle is None:
            raise ValueError("the hall is closed")
        return self._handle

    def _finish(self, result: int, what: str) -> list[SignResult]:
        """The results of the operation just made on this thread; an
        operation that failed before reaching any sign raises instead."""
        results = self._results()
        if result != 0 and not results:
            raise NotAccepted(_library.last_reason(), what)
        return results

    def call(self, ticket: str, counter: int) -> list[SignResult]:
        """Calls ``ticket`` to ``counter``: its line-up fields, then its data
        fields, then its bar screens, then the announcement on the signs that
        speak.

        Returns:
            One result per sign and step, in that order.

        Raises:
            NotAccepted: nothing was sent: the hall has no such counter, or
                the ticket has a character GBK cannot hold (``reason`` says
                which).
            TypeError, OverflowError: for an argument of the wrong type or
                out of range.
        """
        if not isinstance(ticket, str):
            raise TypeError(f"ticket: str expected, got {type(ticket).__name__}")
        handle = self._open()
        result = _library.call("vexa_hall_call", handle, ticket.encode("utf-8"), counter)
        return self._finish(result, f"call {ticket} to counter {counter}")

    def upload(self) -> list[SignResult]:
        """Uploads each networked sign's page set, one sign after another.

        Raises:
            NotAccepted: nothing was sent (``reason`` says why).
        """
        return self._finish(_library.call("vexa_hall_upload", self._open()), "upload")

    def clock(self) -> list[SignResult]:
        """Sets every sign's clock from the host's.

        Raises:
            NotAccepted: nothing was sent (``reason`` says why).
        """
        return self._finish(_library.call("vexa_hall_clock", self._open()), "clock")

    def serve_logins(self) -> None:
        """Starts the login server on the hall's login port, when a sign of
        the hall dials in.

        Raises:
            NotAccepted: the login server could not be started.
        """
        if _library.call("vexa_hall_serve_logins", self._open()) != 0:
            raise NotAccepted(_library.last_reason(), "serve_logins")

    def close(self) -> None:
        """Closes the hall; closing it again does nothing."""
        if self._handle is not None:
            _library.call("vexa_hall_close", self._handle)
            self._handle = None

    def __enter__(self) -> "Hall":
        return self

    def __exit__(
        self,
        kind: Optional[type[BaseException]],
        value: Optional[BaseException],
        trace: Optional[TracebackType],
    ) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:  # the library may be gone at interpreter exit
            pass

