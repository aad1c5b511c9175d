"""Named values for the arguments where a number means a choice.

Each is an :class:`enum.IntEnum`, so a member is the number itself: the
methods take a member or the plain number, and positional calls with
numbers keep working::

    sign.send_collection_data("A012", 1, attr_high=vexa.Colour.GREEN)
    sign.send_collection_data("A012", 1, 0, 2, 0)          # the same frame

The values are those SKYREL.h documents for each parameter.
"""

from __future__ import annotations

from enum import IntEnum
from typing import Union


class NetworkMode(IntEnum):
    """How a command reaches a controller on the network (``network_mode``);
    :class:`vexa.Controller` takes it, or its name, as ``transport``."""

    #: Datagrams to the controller's port 8800.
    UDP = 1
    #: A connection to the controller's port 8900.
    TCP = 2
    #: The connection the controller opened to this process's login server.
    LOGIN = 3


class Colour(IntEnum):
    """The colour of a text (``attr_high``, the high half of its attribute
    byte) and of a bar screen's characters (``colour``). Only the low two bits
    count, and 0 shows red too. Red is the one every sign can show."""

    RED = 1
    GREEN = 2
    #: Red and green lit together.
    YELLOW = 3


class ColourMode(IntEnum):
    """The colours a display or picture uses (``display_mode``,
    ``colour_mode``): one bit plane per colour."""

    RED = 0
    RED_GREEN = 1
    FULL = 2


class RelayAction(IntEnum):
    """What :meth:`vexa.Controller.relay_switch` does with a relay (``action``);
    any other number leaves the relay as it is."""

    ON = 1
    OFF = 2


class LineKind(IntEnum):
    """The kind of a line-up line (``line_kind``); any number other than 1
    and 2 is the plain kind."""

    PLAIN = 0
    FIRST = 1
    SECOND = 2


class SerialProtocol(IntEnum):
    """What goes out on the serial line (``serial_protocol``)."""

    #: The network frame, unchanged (any number other than 2 does the same).
    NETWORK_FRAME = 1
    #: The RS-485 bus frame that carries the bus address; a command without
    #: a bus form is then refused.
    RS485 = 2


class Level(IntEnum):
    """The level of a text or image group (``level_code``,
    ``level_selector``); any number other than 2 and 3 is level 1."""

    ONE = 1
    TWO = 2
    THREE = 3


class MaterialType(IntEnum):
    """The kind of material :meth:`vexa.ShowPageSet.gen_material` adds
    (``material_type``)."""

    INTERNAL_TEXT = 1
    COLLECTED_DATA = 2
    DATE_TIME = 3
    IMAGE_GROUP = 4
    LINE_UP = 5


class MaterialCommand(IntEnum):
    """The command of a piece of a multi-part text
    (:meth:`vexa.Controller.send_mul_material`, ``command_code``)."""

    INTERNAL_TEXT = 0x31
    COLLECTED_DATA = 0x65


class MultimediaCommand(IntEnum):
    """The command of the multimedia frames
    (:meth:`vexa.Controller.send_multimedia_buffer`, ``command_code``)."""

    #: Each frame carries the picture's place and size.
    PLACED = 0x78
    #: Each frame carries frame bytes 17 and 18 instead.
    PLAIN = 0x6C


class SoundPrefix(IntEnum):
    """The sound a spoken text starts with (``sound_no``)."""

    NONE = 0
    #: "sound101 " in front of the text.
    SOUND101 = 1
    #: "sound201 " in front of the text.
    SOUND201 = 2
    #: "sound301 " in front of the text.
    SOUND301 = 3


class VoiceMark(IntEnum):
    """The m tag in front of a spoken text (``m_tag``)."""

    NONE = 0
    #: "[m3] " in front of the text.
    M3 = 1
    #: "[m51] " in front of the text.
    M51 = 2


class ClockText(IntEnum):
    """What :func:`vexa.current_date_to_string` writes (``mode``); any
    number other than 0 gives the time."""

    #: The date, "YYYYMMDD".
    DATE = 0
    #: The time, "hh:mm:ss".
    TIME = 1


# The arguments that take a member of an enum or its number, as the
# methods annotate them.
ColourArg = Union[Colour, int]
ColourModeArg = Union[ColourMode, int]
LevelArg = Union[Level, int]

__all__ = [
    "ClockText",
    "Colour",
    "ColourMode",
    "Level",
    "LineKind",
    "MaterialCommand",
    "MaterialType",
    "MultimediaCommand",
    "NetworkMode",
    "RelayAction",
    "SerialProtocol",
    "SoundPrefix",
    "VoiceMark",
]
