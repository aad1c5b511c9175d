"""The library's services beside the commands: the login server, the log
writer, the serial port, bitmaps of image files and a few texts."""

from __future__ import annotations

import ctypes

from typing import Union

from . import _library
from ._library import PathText, Text
from .enums import ClockText, ColourModeArg


def version() -> str:
    """The version of the loaded library, "MAJOR.MINOR.PATCH"."""
    return _library.call_text("vexa_version")


def result_text(result: int) -> str:
    """A result code of the library in words ("accepted" for 0, "unknown
    result code" for a number other than 0 to 4).

    Raises:
        TypeError: when ``result`` is not an integer.
        OverflowError: when it does not fit a C int.
    """
    return _library.call_text("vexa_result_text", result)


def last_reason() -> str:
    """Why the calling thread's last call with a result other than 0 ended
    as it did (``""`` before any): the reason the exception of a command
    carries (:class:`~vexa.errors.NotAccepted`, :class:`~vexa.errors.NoReply`,
    :class:`~vexa.errors.ControllerRefused`)."""
    return _library.last_reason()


def open_server(port: int) -> None:
    """Starts the login server on ``port``, on a thread of its own, for the
    rest of the process: controllers that dial in are greeted with the clock
    and can then be reached with ``Controller(address, transport="login")``.

    Raises:
        NotAccepted: when no thread could be started. A port in use is not
            reported: the server then ends quietly.
        TypeError, OverflowError: when ``port`` is not an integer or does not
            fit a C int.
    """
    _library.run("vexa_open_server", port, call_text=f"open_server on port {port}")


def logged_in(ip: str) -> bool:
    """Whether a controller from address ``ip`` has dialled in to the login
    server and answered its greeting, so that ``Controller(ip,
    transport="login")`` reaches it."""
    return bool(_library.call("vexa_logged_in", _library.ascii_bytes(ip, "ip")))


def close_server() -> None:
    """Has no effect: the login server runs until the process ends."""
    _library.call("vexa_close_server")


def close_com() -> None:
    """Closes the process's serial port; the next serial command opens it again."""
    _library.call("vexa_close_com")


def write_log(title: Text, message: Text, *, encoding: str = "gbk") -> None:
    """Appends a titled entry to ``vd_logs/Vocadis<YYYYMMDD>.log`` under the
    working directory (failures to write are silent, as in the library)."""
    _library.call(
        "vexa_write_log",
        _library.text_bytes(title, encoding, "title"),
        _library.text_bytes(message, encoding, "message"),
    )


def write_log_thread(title: Text, message: Text, *, encoding: str = "gbk") -> None:
    """:func:`write_log` on a thread of the library's own; returns at once."""
    _library.call(
        "vexa_write_log_thread",
        _library.text_bytes(title, encoding, "title"),
        _library.text_bytes(message, encoding, "message"),
    )


def current_date_to_string(mode: Union[ClockText, int]) -> str:
    """The local date "YYYYMMDD" (``mode`` :attr:`~vexa.ClockText.DATE`, 0) or
    time "hh:mm:ss" (:attr:`~vexa.ClockText.TIME` or any other ``mode``), as
    the library's log writer stamps them.

    Raises:
        TypeError: when ``mode`` is not an integer (``None`` included).
        OverflowError: when it does not fit a C int.
    """
    return _library.call_text("vexa_current_date_to_string", mode)


def get_move_style(move_style: int) -> int:
    """The code a bar screen expects for a move style (0 to 8): 1 and 2 swap,
    3 and 4 swap, the others stay; 0 for a style outside 0 to 8.

    Raises:
        TypeError, OverflowError: when ``move_style`` is not an integer or
            does not fit a C int.
    """
    return int(_library.call("vexa_get_move_style", move_style))


def image_content_buffer(
    source: PathText, colour_mode: ColourModeArg, width: int, height: int
) -> bytes:
    """The controller's bitmap of a BMP or PNG file scaled to ``width`` x ``height``.

    The bitmap holds ``colour_mode`` (a :class:`~vexa.ColourMode`) + 1 bit
    planes (red, green, blue), each
    rows top to bottom, eight pixels a byte, most significant bit first; a
    pixel's bit is set when its channel is at least 128.

    Raises:
        NotAccepted: when the file cannot be read or the size or colour mode
            is out of range.
        TypeError, OverflowError: when a number is not an integer or does
            not fit a C int.
    """
    bitmap = ctypes.POINTER(ctypes.c_ubyte)()
    length = ctypes.c_int(0)
    result = _library.call(
        "vexa_image_content_buffer",
        _library.path_bytes(source, "source"),
        colour_mode,
        width,
        height,
        ctypes.byref(bitmap),
        ctypes.byref(length),
    )
    _library.check_result(result, "image_content_buffer")
    # Copied at once: the library reuses its buffer at the thread's next image.
    return ctypes.string_at(bitmap, length.value)
