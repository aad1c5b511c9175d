"""The exceptions of the package: a command that is not accepted raises one.

A command returns ``None`` when the controller accepted it. Otherwise the
library's result code becomes an exception, carrying the library's reason
for it in words (``reason``, also part of the message):

- 1: :class:`NotAccepted`: an address that is not dotted IPv4, a text too
  long for a frame, a serial port that cannot be opened, a reply that was
  not understood;
- 2: :class:`NoReply`: time-out, receive error, connection closed, no
  controller logged in from the address;
- 3 and 4: :class:`ControllerRefused`, with the controller's status 2 or 3.

All of them derive from :class:`VexaError`. An argument the C function
cannot take raises ``TypeError``, ``OverflowError`` (an integer outside the
C type) or ``ValueError`` instead, before anything is sent.
"""

from __future__ import annotations


class VexaError(Exception):
    """Base of the errors raised for a command the controller did not accept.

    Attributes:
        result: the library's result code, 1 to 4.
        reason: why, in the library's words (``""`` when it gave none).
        call: what was called, e.g. ``"play_show_page to 192.0.2.10 over udp"``.
    """

    result: int = 0

    def __init__(self, message: str, call: str = "", reason: str = "") -> None:
        super().__init__(f"{call}: {message}" if call else message)
        self.call = call
        self.reason = reason


class NotAccepted(VexaError):
    """Result 1: not accepted, or nothing was sent."""

    result = 1

    def __init__(self, reason: str, call: str = "") -> None:
        super().__init__(reason or "not accepted or nothing sent", call, reason)


class NoReply(VexaError):
    """Result 2: nothing received (time-out, receive error, connection closed,
    no controller logged in from the address)."""

    result = 2

    def __init__(self, reason: str = "", call: str = "") -> None:
        super().__init__(
            reason or "no reply: time-out, receive error or connection closed", call, reason
        )


class ControllerRefused(VexaError):
    """Results 3 and 4: the controller answered with status 2 or 3.

    Attributes:
        status: the controller's status, 2 or 3.
    """

    def __init__(self, status: int, reason: str = "", call: str = "") -> None:
        super().__init__(
            reason or f'refused by the controller with status "{status}"', call, reason
        )
        self.status = status
        self.result = status + 1


class LibraryNotFound(OSError):
    """libvexa-x86 could not be loaded; the message lists every path tried.

    Attributes:
        tried: ``(path, why)`` for each place looked at, in order.
    """

    def __init__(self, tried: list[tuple[str, str]]) -> None:
        lines = "\n".join(f"  {path}: {why}" for path, why in tried)
        super().__init__(
            "libvexa-x86 could not be loaded; tried, in order:\n"
            f"{lines}\n"
            "Set VEXA_LIBRARY to the path of libvexa-x86.so.1, or install the library."
        )
        self.tried = tried


def error_for(result: int, reason: str, call: str = "") -> VexaError | None:
    """The exception for a result code, or ``None`` for 0 (accepted).

    Args:
        result: a result code of the library.
        reason: the library's reason for it (:func:`vexa.last_reason` read
            right after the call), carried by the exception.
        call: what was called, for the message.
    """
    if result == 0:
        return None
    if result == 1:
        return NotAccepted(reason, call)
    if result == 2:
        return NoReply(reason, call)
    if result in (3, 4):
        return ControllerRefused(result - 1, reason, call)
    message = f"unknown result code {result}" + (f": {reason}" if reason else "")
    error = VexaError(message, call, reason)
    error.result = result
    return error
