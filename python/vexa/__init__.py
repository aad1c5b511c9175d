"""vexa: the LED sign controllers of queue-calling halls, from Python.

A Pythonic face over libvexa-x86's C interface (vexa.h), through ctypes and
nothing beyond the standard library::

    import vexa

    sign = vexa.Controller("192.0.2.10")              # UDP; or transport="tcp", "login"
    with vexa.settings(receive_time_out=500, re_send_times=2):
        sign.play_show_page(1)
        sign.send_line_up("A012", slot_no=3, line_kind=vexa.LineKind.FIRST,
                          unit_address=1, bracketed=False)
        sign.send_collection_data("A012", data_index=1, attr_high=vexa.Colour.GREEN)
    try:
        sign.set_bright(10, 1)
    except vexa.NoReply as error:
        print(error.reason)                           # nothing came back, and why

    bus = vexa.SerialBus(port_number=1, serial_protocol=vexa.SerialProtocol.RS485,
                         device_address="5")          # COM1
    bus.play_show_page(1)

    with vexa.Hall("hall.toml") as hall:              # a whole hall in one file
        results = hall.call("A012", 3)                # one vexa.SignResult per sign

Arguments that the library's documentation tells a value to pass when
unsure have that value as their default, and numbers that mean a choice
have an :class:`enum.IntEnum` (:class:`Colour`, :class:`ColourMode`,
:class:`NetworkMode`, ...); plain numbers and positional calls work as well.
:mod:`vexa.aio` has the same classes for :mod:`asyncio`.

Commands return ``None`` when the controller accepts them and raise
:class:`NotAccepted`, :class:`NoReply` or :class:`ControllerRefused` when it
does not, each with the library's ``reason`` in words. An argument the C
function cannot take raises ``TypeError``, ``OverflowError`` (an integer
outside the C ``int`` or ``short``) or ``ValueError`` before anything is
sent. Texts are ``str`` (encoded as GBK unless an object is given another
encoding) or ``bytes``.

The library is found through the environment variable ``VEXA_LIBRARY``, then
the installed package, then the system's library path (see
:func:`library_path`).

Threads follow the library's rules: network commands run concurrently from
any number of threads; settings, the serial port, the multi-part texts and
image groups and the show-page model are shared by the whole process (see
:mod:`vexa.commands`, :mod:`vexa.settings` and :mod:`vexa.pages`).
"""

from __future__ import annotations

from ._library import library_path
from ._version import __version__
from .commands import TRANSPORTS, Controller, SerialBus
from .enums import (
    ClockText,
    Colour,
    ColourMode,
    Level,
    LineKind,
    MaterialCommand,
    MaterialType,
    MultimediaCommand,
    NetworkMode,
    RelayAction,
    SerialProtocol,
    SoundPrefix,
    VoiceMark,
)
from .errors import ControllerRefused, LibraryNotFound, NoReply, NotAccepted, VexaError
from .hall import Hall, HallFileError, SignResult
from .pages import ShowPageSet
from .service import (
    close_com,
    close_server,
    current_date_to_string,
    get_move_style,
    image_content_buffer,
    last_reason,
    logged_in,
    open_server,
    result_text,
    version,
    write_log,
    write_log_thread,
)
from .settings import Settings, SettingsChange, current_settings, settings

__all__ = [
    "TRANSPORTS",
    "__version__",
    "ClockText",
    "Colour",
    "ColourMode",
    "Controller",
    "ControllerRefused",
    "Hall",
    "HallFileError",
    "Level",
    "LibraryNotFound",
    "LineKind",
    "MaterialCommand",
    "MaterialType",
    "MultimediaCommand",
    "NetworkMode",
    "NoReply",
    "NotAccepted",
    "RelayAction",
    "SerialBus",
    "SerialProtocol",
    "Settings",
    "SettingsChange",
    "ShowPageSet",
    "SignResult",
    "SoundPrefix",
    "VexaError",
    "VoiceMark",
    "close_com",
    "close_server",
    "current_date_to_string",
    "current_settings",
    "get_move_style",
    "image_content_buffer",
    "last_reason",
    "library_path",
    "logged_in",
    "open_server",
    "result_text",
    "settings",
    "version",
    "write_log",
    "write_log_thread",
]
