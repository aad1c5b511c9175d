"""Controllers on the network and on a serial line, with a method per command.

:class:`Controller` reaches one controller by its IPv4 address;
:class:`SerialBus` reaches the controllers on the process's serial port. The
methods are the library's commands named in snake case without their
``_Net``/``_Com`` suffix (``PlayShowPage_Net`` is
:meth:`Controller.play_show_page`), taking the same arguments in the same
order, less the address and network mode (or the serial arguments), which the
object holds.

A method returns ``None`` when the controller accepted the command and
raises otherwise: :class:`~vexa.errors.NotAccepted` (with the library's
reason), :class:`~vexa.errors.NoReply` or
:class:`~vexa.errors.ControllerRefused`. An argument the C function cannot
take raises before anything is sent: ``TypeError`` for a value of the wrong
type (a float or ``None`` for a number, a number for a text),
``OverflowError`` for an integer outside the C parameter's type (``int``:
-2**31 to 2**31 - 1; ``short``: -2**15 to 2**15 - 1), ``ValueError`` for a
text with a NUL byte or a bool parameter given a number other than 1 or 0.
Bool parameters take ``True``/``False`` or 1/0: a 2 there is far more likely
an argument in the wrong place than a flag.

Texts are ``str``, encoded with the object's encoding (GBK unless given),
or ``bytes``, sent unchanged. File names are encoded as the file system
wants them.

Threads: the objects hold nothing that changes, so one object may be used
from several threads. Network commands run concurrently; serial commands run
one at a time (one serial port per process); multi-part texts and image
groups share one buffer in the process: one sequence at a time, belonging to
the thread that sent its piece or image 1.
"""

from __future__ import annotations

import codecs
from typing import TYPE_CHECKING, Any, Sequence, Union

from . import _library
from ._library import PathText, Text
from .enums import (
    Colour,
    ColourArg,
    ColourModeArg,
    LevelArg,
    LineKind,
    MaterialCommand,
    MultimediaCommand,
    NetworkMode,
    RelayAction,
    SerialProtocol,
    SoundPrefix,
    VoiceMark,
)

if TYPE_CHECKING:
    from .pages import ShowPageSet

#: Network modes by transport name.
TRANSPORTS = {"udp": 1, "tcp": 2, "login": 3}

# The values a caller need not give: what SKYREL.h tells to pass when unsure.
_RED = Colour.RED


class _Commands:
    """The commands that have the same arguments on the network and the serial
    line; subclasses say where the command goes."""

    _suffix = ""
    encoding = "gbk"

    def _where(self) -> tuple[Any, ...]:
        raise NotImplementedError

    def _describe(self) -> str:
        raise NotImplementedError

    def _route(self) -> tuple[Any, ...]:
        """The leading arguments of the senders that take either route:
        transport (1 network, 2 serial), network mode, address, serial
        protocol, port, baud rate and bus address."""
        raise NotImplementedError

    def _text(self, text: Text, what: str = "text") -> bytes:
        return _library.text_bytes(text, self.encoding, what)

    def _send(self, command: str, *args: Any) -> None:
        _library.run(
            f"vexa_{command}{self._suffix}", *args, call_text=f"{command} {self._describe()}"
        )

    # -- play control, brightness, relays ----------------------------------
    def play_show_page(self, page_no: int) -> None:
        """Makes the sign play show page ``page_no`` (0 to 255)."""
        self._send("play_show_page", *self._where(), page_no)

    def start_play(self) -> None:
        """Makes the sign start playing its show pages."""
        self._send("start_play", *self._where())

    def stop_play(self) -> None:
        """Makes the sign stop playing its show pages."""
        self._send("stop_play", *self._where())

    def relay_switch(self, relay_no: int, action: Union[RelayAction, int]) -> None:
        """Switches relay ``relay_no`` (1 to 8) on (``action``
        :attr:`~vexa.RelayAction.ON`, 1) or off (:attr:`~vexa.RelayAction.OFF`,
        2); another action leaves the relay as it is."""
        self._send("relay_switch", *self._where(), relay_no, action)

    def relay_delay(self, relay_no: int, delay: int) -> None:
        """Closes relay ``relay_no`` (1 to 8) for ``delay`` (1 to 16) time units."""
        self._send("relay_delay", *self._where(), relay_no, delay)

    def set_bright(self, value1: int, value2: int) -> None:
        """Sets the sign's brightness (two values, 0 to 255)."""
        self._send("set_bright", *self._where(), value1, value2)

    # -- clock ---------------------------------------------------------------
    def time_check(self) -> None:
        """Sets the controller's clock to the host's local time."""
        self._send("time_check", *self._where())

    def send_date_time(
        self,
        material_id: int,
        display_mode: ColourModeArg,
        dt_field4_high: int = 1,
        dt_field4_low: int = 1,
        dt_field5_high: int = 1,
        dt_field5_low: int = 1,
        dt_field6: int = 0,
        dt_field0: int = 1,
        dt_field1: int = 3,
        dt_top_bit: int = 1,
        dt_field2: int = 0,
        dt_field3: int = 0,
        style3: int = 0,
        extra_byte: int = 0,
    ) -> None:
        """Shows the running date and time in an area of the sign.

        ``material_id`` numbers the display on the controller; ``display_mode``
        is the :class:`~vexa.ColourMode`; the ``dt_...`` values are the
        controller's date-time options (see ``SendDateTime_Net`` in SKYREL.h
        for the bits each keeps), by default the demonstration program's set;
        ``style3`` and ``extra_byte`` are bytes of the block head (0 unless
        the controller's manual says otherwise).
        """
        self._send(
            "send_date_time", *self._where(), material_id, display_mode, dt_field4_high,
            dt_field4_low, dt_field5_high, dt_field5_low, dt_field6, dt_field0, dt_field1,
            dt_top_bit, dt_field2, dt_field3, style3, extra_byte,
        )

    # -- texts ---------------------------------------------------------------
    def send_collection_data(
        self,
        text: Text,
        data_index: int,
        text_style: int = 0,
        attr_high: ColourArg = _RED,
        attr_low: int = 0,
    ) -> None:
        """Fills collected-data field ``data_index`` (0 to 255) with a short text.

        ``text_style`` (0 to 15) goes into both halves of the style byte;
        ``attr_high`` (the text's :class:`~vexa.Colour`) and ``attr_low`` (0 to
        15 each) make the attribute byte.
        """
        self._send(
            "send_collection_data", self._text(text), *self._where(), data_index, text_style,
            attr_high, attr_low,
        )

    def send_internal_text(
        self,
        text: Text,
        area_width: int,
        area_height: int,
        material_id: int,
        display_mode: ColourModeArg,
        style1: int = 0,
        style2: int = 0,
        style3: int = 0,
        text_style: int = 0,
        attr_high: ColourArg = _RED,
        attr_low: int = 0,
        level_code: LevelArg = 1,
        primary_flag: bool = True,
        extra_byte: int = 0,
    ) -> None:
        """Shows a text in an area of ``area_width`` x ``area_height`` pixels.

        ``material_id`` numbers the text on the controller; ``display_mode``
        is the :class:`~vexa.ColourMode`; ``style1`` to ``style3``,
        ``text_style`` and ``extra_byte`` are bytes of the block head;
        ``attr_high`` (the :class:`~vexa.Colour`) and ``attr_low`` (0 to 15)
        make the attribute byte; ``level_code`` a :class:`~vexa.Level`;
        ``primary_flag`` marks the text primary.
        """
        self._send(
            "send_internal_text", self._text(text), *self._where(), area_width, area_height,
            material_id, display_mode, style1, style2, style3, text_style, attr_high,
            attr_low, level_code, primary_flag, extra_byte,
        )

    def send_mul_collection_data(
        self,
        text: Text,
        data_index: int,
        display_mode: ColourModeArg = 0,
        text_style: int = 0,
        attr_high: ColourArg = _RED,
        attr_low: int = 0,
        index: int = 1,
        count: int = 1,
    ) -> None:
        """Piece ``index`` of ``count`` of a multi-part collected-data text
        (by default piece 1 of 1, sent at once).

        Pieces 1 to ``count`` - 1 are gathered; piece ``count`` sends them all
        in one frame. One such sequence at a time in the process; it belongs
        to the thread that sent piece 1. ``display_mode`` is not sent.
        """
        self._send(
            "send_mul_collection_data", self._text(text), *self._where(), data_index,
            display_mode, text_style, attr_high, attr_low, index, count,
        )

    def send_mul_internal_text(
        self,
        text: Text,
        area_width: int,
        area_height: int,
        material_id: int,
        display_mode: ColourModeArg,
        style1: int = 0,
        style2: int = 0,
        style3: int = 0,
        text_style: int = 0,
        attr_high: ColourArg = _RED,
        attr_low: int = 0,
        level_code: LevelArg = 1,
        primary_flag: bool = True,
        extra_byte: int = 0,
        index: int = 1,
        count: int = 1,
    ) -> None:
        """Piece ``index`` of ``count`` of a multi-part internal text (by
        default piece 1 of 1, sent at once).

        The arguments before ``index`` are those of :meth:`send_internal_text`.
        Pieces 1 to ``count`` - 1 are gathered; piece ``count`` sends them all
        in one frame (at most 2048 bytes gathered).
        """
        self._send(
            "send_mul_internal_text", self._text(text), *self._where(), area_width,
            area_height, material_id, display_mode, style1, style2, style3, text_style,
            attr_high, attr_low, level_code, primary_flag, extra_byte, index, count,
        )

    def send_line_up(
        self,
        text: Text,
        slot_no: int,
        line_kind: Union[LineKind, int],
        unit_address: int,
        bracketed: bool,
    ) -> None:
        """Shows the ticket or queue line being called in line-up slot ``slot_no``.

        ``line_kind`` is a :class:`~vexa.LineKind` (1 or 2 the first or
        second kind of line, other values the plain kind); ``unit_address``
        addresses the line-up unit; ``bracketed`` wraps the text in the
        record's start and end marks.
        """
        self._send(
            "send_line_up", self._text(text), *self._where(), slot_no, line_kind,
            unit_address, bracketed,
        )

    # -- images --------------------------------------------------------------
    def send_image_group(
        self,
        source: PathText,
        width: int,
        height: int,
        material_id: int,
        display_mode: ColourModeArg,
        style1: int = 0,
        style2: int = 0,
        style3: int = 0,
        level_code: LevelArg = 1,
        primary_flag: bool = True,
        index: int = 1,
        count: int = 1,
    ) -> None:
        """Image ``index`` of ``count`` of an image group, read from a BMP or PNG
        file (by default a group of one image, sent at once).

        Each image is scaled to ``width`` x ``height``; images 1 to ``count`` - 1
        are gathered, image ``count`` sends the group. One image group at a
        time in the process; it belongs to the thread that sent image 1.
        """
        self._send(
            "send_image_group", _library.path_bytes(source, "source"), *self._where(), width,
            height, material_id, display_mode, style1, style2, style3, level_code,
            primary_flag, index, count,
        )

    def play_image_group(
        self,
        mode_select: int,
        group_no: int,
        byte5: int = 0,
        word6: int = 0,
        word8: int = 0,
        byte10: int = 0,
        byte11: int = 0,
        byte12: int = 0,
        byte2_clear: bool = True,
        high_mode_bits: bool = False,
    ) -> None:
        """Makes the sign play image group ``group_no`` (0 to 255).

        The other values are the controller's play options, named by the
        payload byte they fill (see ``PlayImageGroup_Net`` in SKYREL.h); the
        defaults are the values to pass unless the controller's manual says
        otherwise.
        """
        self._send(
            "play_image_group", *self._where(), mode_select, group_no, byte5, word6, word8,
            byte10, byte11, byte12, byte2_clear, high_mode_bits,
        )

    # -- the senders behind the multi-part and image-group commands ---------
    def send_mul_material(
        self,
        text: Text,
        command_code: Union[MaterialCommand, int],
        material_id: int,
        spare_value: int,
        display_mode: ColourModeArg,
        area_width: int,
        area_height: int,
        style1: int = 0,
        style2: int = 0,
        style3: int = 0,
        text_style: int = 0,
        attr_high: ColourArg = _RED,
        attr_low: int = 0,
        level_code: LevelArg = 1,
        primary_flag: bool = True,
        extra_byte: int = 0,
        index: int = 1,
        count: int = 1,
    ) -> None:
        """One piece of a multi-part text with its command code given: a
        :class:`~vexa.MaterialCommand`, 0x31 internal text or 0x65 collected
        data (``material_id`` is then the data field); the multi-part sender
        behind :meth:`send_mul_internal_text`. The gathered pieces go out in
        one frame; ``spare_value`` is not sent."""
        _library.run(
            "vexa_send_mul_material", *self._route(), self._text(text), command_code,
            material_id, spare_value, display_mode, area_width, area_height, style1, style2,
            style3, text_style, attr_high, attr_low, level_code, primary_flag, extra_byte,
            index, count,
            call_text=f"send_mul_material {self._describe()}",
        )

    def send_image_group_buffer(
        self,
        source: PathText,
        width: int,
        height: int,
        material_id: int,
        display_mode: ColourModeArg,
        style1: int = 0,
        style2: int = 0,
        style3: int = 0,
        level_code: LevelArg = 1,
        primary_flag: bool = True,
        index: int = 1,
        count: int = 1,
    ) -> None:
        """The image-group upload behind :meth:`send_image_group` (the same
        arguments, the same frames)."""
        _library.run(
            "vexa_send_image_group_buffer", *self._route(), _library.path_bytes(source, "source"),
            width, height, material_id, display_mode, style1, style2, style3, level_code,
            primary_flag, index, count,
            call_text=f"send_image_group_buffer {self._describe()}",
        )


class Controller(_Commands):
    """One controller on the network, reached by its dotted IPv4 address.

    Args:
        ip: the controller's IPv4 address, e.g. ``"192.0.2.10"``.
        transport: the network mode, by name or as a :class:`~vexa.NetworkMode`
            (or its number):
            ``"udp"`` (datagrams to port 8800, the default), ``"tcp"`` (a
            connection to port 8900) or ``"login"`` (the connection the
            controller opened to this process's login server, see
            :func:`vexa.open_server`).
        encoding: how ``str`` texts become bytes (default GBK).

    Attributes:
        ip: the address given.
        transport: the network mode's name, ``"udp"``, ``"tcp"`` or ``"login"``.

    Example::

        sign = vexa.Controller("192.0.2.10")
        sign.play_show_page(1)
        sign.send_line_up("A012", slot_no=3, line_kind=vexa.LineKind.FIRST,
                          unit_address=1, bracketed=False)
    """

    _suffix = "_net"

    def __init__(
        self, ip: str, transport: Union[str, NetworkMode, int] = "udp", *, encoding: str = "gbk"
    ) -> None:
        name = transport
        if isinstance(transport, int) and not isinstance(transport, bool):
            if transport not in set(NetworkMode):
                raise ValueError(f"network mode {transport} is not 1 (udp), 2 (tcp) or 3 (login)")
            name = NetworkMode(transport).name.lower()
        if not isinstance(name, str) or name not in TRANSPORTS:
            raise ValueError(f"transport {transport!r} is not one of {', '.join(TRANSPORTS)}")
        codecs.lookup(encoding)  # an unknown encoding fails here, not at the first text
        self.ip = ip
        self.transport: str = name
        self.encoding = encoding
        self._ip = _library.ascii_bytes(ip, "ip")
        self._mode = TRANSPORTS[name]

    def __repr__(self) -> str:
        return f"Controller({self.ip!r}, transport={self.transport!r})"

    def _where(self) -> tuple[Any, ...]:
        return (self._ip, self._mode)

    def _describe(self) -> str:
        return f"to {self.ip} over {self.transport}"

    def _route(self) -> tuple[Any, ...]:
        return (1, self._mode, self._ip, 1, 1, 9600, b"0")

    def send_coordinate_text(
        self,
        text: Text,
        x: int,
        y: int,
        text_style: int = 0,
        attr_high: ColourArg = _RED,
        attr_low: int = 0,
    ) -> None:
        """Shows a text with its top left corner at pixel (``x``, ``y``), in
        the :class:`~vexa.Colour` ``attr_high``."""
        self._send(
            "send_coordinate_text", self._text(text), *self._where(), x, y, text_style,
            attr_high, attr_low,
        )

    def send_internal_text_custom(
        self,
        text: Text,
        area_width: int,
        area_height: int,
        material_id: int,
        display_mode: ColourModeArg,
        style1: int = 0,
        style2: int = 0,
        style3: int = 0,
        text_style: int = 0,
        attr_high: ColourArg = _RED,
        attr_low: int = 0,
        level_code: LevelArg = 1,
        primary_code: int = 1,
    ) -> None:
        """:meth:`send_internal_text` with the primary mark as a number (1:
        primary) and the header byte 0."""
        _library.run(
            "vexa_send_internal_text_net_custom", self._text(text), *self._where(), area_width,
            area_height, material_id, display_mode, style1, style2, style3, text_style,
            attr_high, attr_low, level_code, primary_code,
            call_text=f"send_internal_text_custom {self._describe()}",
        )

    def play_voice(self, text: Text, sub_code: int = 0) -> None:
        """Makes the controller speak a text; ``sub_code`` (0 to 255) goes into the frame."""
        self._send("play_voice", self._text(text), self._ip, None, self._mode, sub_code)

    def play_voice2(
        self,
        text: Text,
        sub_code: int = 0,
        v_tag: int = -1,
        sound_no: Union[SoundPrefix, int] = SoundPrefix.NONE,
        m_tag: Union[VoiceMark, int] = VoiceMark.NONE,
    ) -> None:
        """Makes the controller speak a text with voice tags in front of it.

        ``v_tag`` 0 or more adds "[vN]" (negative: none); ``sound_no`` a
        :class:`~vexa.SoundPrefix` (1 to 3 add "sound101 ", "sound201 " or
        "sound301 "); ``m_tag`` a :class:`~vexa.VoiceMark` (1 adds "[m3] ",
        2 "[m51] "). By default no tag is added.
        """
        self._send(
            "play_voice2", self._text(text), self._ip, None, self._mode, sub_code, v_tag,
            sound_no, m_tag,
        )

    def send_line_up_content(
        self,
        text: Text,
        slot_no: int,
        line_kind: Union[LineKind, int],
        unit_address: int,
        bracketed: bool,
    ) -> None:
        """The same as :meth:`send_line_up`."""
        _library.run(
            "vexa_send_line_up_content", self._text(text), *self._where(), slot_no, line_kind,
            unit_address, bracketed, call_text=f"send_line_up_content {self._describe()}",
        )

    def send_line_up2(
        self,
        text: Text,
        slot_no: int,
        line_kind: Union[LineKind, int],
        unit_address: int,
        bracketed: bool,
        page_chars: int,
    ) -> None:
        """Shows only the last page of ``page_chars`` two-byte characters of a
        longer line-up text, never splitting a two-byte character."""
        self._send(
            "send_line_up2", self._text(text), *self._where(), slot_no, line_kind,
            unit_address, bracketed, page_chars,
        )

    def send_multimedia(
        self,
        source: PathText,
        form78: bool,
        horizontal: int,
        vertical: int,
        width: int,
        height: int,
        colour_mode: ColourModeArg,
        byte17_flag: int = 0,
        byte18_value: int = 0,
    ) -> None:
        """Uploads one picture as multimedia frames of 960 bitmap bytes.

        ``form78`` sends command 0x78 with the position (``horizontal``,
        ``vertical``) and size; otherwise command 0x6C with ``byte17_flag`` and
        ``byte18_value``. The picture is scaled to ``width`` x ``height``.
        """
        _library.run(
            "vexa_send_multimedia_net", _library.path_bytes(source, "source"), *self._where(),
            form78, horizontal, vertical, width, height, colour_mode, byte17_flag,
            byte18_value, call_text=f"send_multimedia {self._describe()}",
        )

    def send_multimedia_buffer(
        self,
        source: PathText,
        command_code: Union[MultimediaCommand, int],
        horizontal: int,
        vertical: int,
        width: int,
        height: int,
        colour_mode: ColourModeArg,
        byte17_flag: int = 0,
        byte18_value: int = 0,
    ) -> None:
        """:meth:`send_multimedia` with the command code given, a
        :class:`~vexa.MultimediaCommand` (0x78 or 0x6C)."""
        _library.run(
            "vexa_send_multimedia_buffer", _library.path_bytes(source, "source"),
            *self._where(), command_code, horizontal, vertical, width, height, colour_mode,
            byte17_flag, byte18_value, call_text=f"send_multimedia_buffer {self._describe()}",
        )

    def send_template_data(self, pages: "ShowPageSet") -> None:
        """Uploads a set of show pages to this controller (see
        :meth:`vexa.ShowPageSet.upload`).

        Raises:
            TypeError: when ``pages`` is not a :class:`~vexa.ShowPageSet`.
        """
        from .pages import ShowPageSet  # pages imports this module

        if not isinstance(pages, ShowPageSet):
            raise TypeError(
                f"send_template_data: a vexa.ShowPageSet expected, got {type(pages).__name__}"
            )
        pages.upload(self)


class SerialBus(_Commands):
    """The controllers on the process's serial port.

    Args:
        port_number: n of the device file ``COM<n>`` in the process's working
            directory (link it to the real device: ``ln -s /dev/ttyUSB0 COM1``).
        baud_rate: compared with the open port's; another value (or port)
            reopens the port. The line always runs at 9600 baud, 8N1.
        serial_protocol: a :class:`~vexa.SerialProtocol`: 2 (``RS485``, the
            default) sends the RS-485 bus frame that carries
            ``device_address`` (a command without a bus form then raises
            NotAccepted); any other value (``NETWORK_FRAME``) sends the
            network frame unchanged.
        device_address: the controller's bus address: one number (``5``,
            ``"5"``) or eight numbers (``"1_2_3_4_5_6_7_8"`` or a sequence of
            eight ints).
        encoding: how ``str`` texts become bytes (default GBK).

    The port stays open between commands until :meth:`close` (or the end of a
    ``with`` block). Serial commands from several threads run one at a time.
    """

    _suffix = "_com"

    def __init__(
        self,
        port_number: int = 1,
        baud_rate: int = 9600,
        serial_protocol: Union[SerialProtocol, int] = SerialProtocol.RS485,
        device_address: Union[int, str, Sequence[int]] = "0",
        *,
        encoding: str = "gbk",
    ) -> None:
        codecs.lookup(encoding)  # an unknown encoding fails here, not at the first text
        if not isinstance(device_address, (int, str)):
            device_address = list(device_address)
            if len(device_address) != 8:
                raise ValueError("a bus address of several numbers has eight of them")
            device_address = "_".join(str(int(n)) for n in device_address)
        self.device_address = str(device_address)
        self.encoding = encoding
        self._device_address = _library.ascii_bytes(self.device_address, "device_address")
        # The serial arguments are checked once, as any command would, and
        # kept as the plain numbers the library takes.
        _, protocol, port, baud = _library.prepare(
            "vexa_start_play_com",
            (self._device_address, serial_protocol, port_number, baud_rate),
        )
        self.port_number: int = port
        self.baud_rate: int = baud
        self.serial_protocol: int = protocol

    def __repr__(self) -> str:
        return (
            f"SerialBus(port_number={self.port_number}, baud_rate={self.baud_rate}, "
            f"serial_protocol={self.serial_protocol}, device_address={self.device_address!r})"
        )

    def __enter__(self) -> "SerialBus":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def _where(self) -> tuple[Any, ...]:
        return (self._device_address, self.serial_protocol, self.port_number, self.baud_rate)

    def _describe(self) -> str:
        return f"on COM{self.port_number} to bus address {self.device_address}"

    def _route(self) -> tuple[Any, ...]:
        return (2, 1, b"", self.serial_protocol, self.port_number, self.baud_rate,
                self._device_address)

    def close(self) -> None:
        """Closes the process's serial port; the next serial command opens it again."""
        _library.call("vexa_close_com")

    def play_voice(self, text: Text) -> None:
        """Makes the controller speak a text (in the RS-485 voice frame with protocol 2)."""
        self._send("play_voice", self._text(text), *self._where())

    def play_voice2(
        self,
        text: Text,
        v_tag: int = -1,
        sound_no: Union[SoundPrefix, int] = SoundPrefix.NONE,
        m_tag: Union[VoiceMark, int] = VoiceMark.NONE,
    ) -> None:
        """Makes the controller speak a text with voice tags in front of it (see
        :meth:`Controller.play_voice2`)."""
        self._send("play_voice2", self._text(text), *self._where(), v_tag, sound_no, m_tag)

    def set_params4_bar_screen(
        self,
        frame_byte13: int = 0,
        frame_byte6: int = 0,
        frame_byte7: int = 0,
        two_way: int = 0,
        frame_byte9: int = 0,
        clear_byte14: bool = False,
    ) -> None:
        """Sets a bar screen's parameters (bytes of the parameter frame; see
        ``SetParams4BarScreen_Com`` in SKYREL.h; the defaults are the values
        to pass unless the screen's manual says otherwise). Not with
        protocol 2."""
        self._send(
            "set_params4_bar_screen", self.serial_protocol, self.port_number, self.baud_rate,
            frame_byte13,
            frame_byte6, frame_byte7, two_way, frame_byte9, clear_byte14,
        )

    def send_content2_bar_screen(
        self,
        text: Text,
        screen_address: int,
        colour: ColourArg,
        page_width: int,
        unused1: int = 0,
        unused2: int = 0,
        frame_word13: int = 0,
        move_style1: int = 0,
        move_style2: int = 0,
        page_byte3: int = 0,
        page_byte5: int = 0,
        page_byte7: int = 0,
        page_byte8: int = 0,
        byte10_is82: bool = False,
    ) -> None:
        """Sends a text to bar screen ``screen_address`` in the
        :class:`~vexa.Colour` ``colour``, cut into pages of ``page_width``
        two-byte characters (see ``SendContent2BarScreen_Com`` in SKYREL.h;
        ``unused1`` and ``unused2`` are not sent). Not with protocol 2."""
        self._send(
            "send_content2_bar_screen", self._text(text), self.serial_protocol, self.port_number,
            self.baud_rate,
            screen_address, colour, page_width, unused1, unused2, frame_word13, move_style1,
            move_style2, page_byte3, page_byte5, page_byte7, page_byte8, byte10_is82,
        )

