"""The library's connection settings: time-outs, repeats, local address.

The settings belong to the whole process, as in the library: a change holds
for every thread and every controller from the next command on (each command
reads the settings once, when it starts). Change them with :func:`settings`,
for good or, used as a context manager, until the end of a ``with`` block::

    vexa.settings(receive_time_out=500)            # from now on
    with vexa.settings(re_send_times=2, receive_time_out=300):
        sign.play_show_page(1)                     # up to 3 attempts of 300 ms
    # the settings before the block are back

Each setting is named as the parameter of its setter in the library
(``SetTimeOut(sendTimeOut, receiveTimeOut)``, ``SetReSendTimes(reSendTimes)``,
``BindNetworkCard(localIp, localPort)``, ``SetChnCodeMode(chnCodeMode)``) in
snake case, and read back through the C interface's getters
(``vexa_receive_time_out()`` and the others).

The package serialises its own changes; a ``with`` block on one thread
changes the settings for the other threads too while it lasts.
"""

from __future__ import annotations

import threading
from types import TracebackType
from typing import Any, NamedTuple, Optional, Type

from . import _library

_lock = threading.RLock()


class Settings(NamedTuple):
    """The connection settings in force.

    Attributes:
        send_time_out: ms; bounds each send and the stream connect (10 or more).
        receive_time_out: ms; how long each attempt waits for the reply; on
            the serial line also the pause after each frame (10 or more).
        re_send_times: repeats after the first attempt (0 or more).
        local_ip: local IPv4 address datagrams are sent from;
            ``"127.0.0.1"`` means any local address.
        local_port: local port datagrams are sent from (0: the system picks).
        chn_code_mode: a stored value that changes nothing that is sent.
    """

    send_time_out: int
    receive_time_out: int
    re_send_times: int
    local_ip: str
    local_port: int
    chn_code_mode: int


def current_settings() -> Settings:
    """The settings in force, read from the library."""
    with _lock:
        address = _library.call("vexa_network_card_ip") or b""
        return Settings(
            send_time_out=_library.call("vexa_send_time_out"),
            receive_time_out=_library.call("vexa_receive_time_out"),
            re_send_times=_library.call("vexa_re_send_times"),
            local_ip=address.decode("ascii", "replace"),
            local_port=_library.call("vexa_network_card_port"),
            chn_code_mode=_library.call("vexa_chn_code_mode"),
        )


def _apply(wanted: Settings, before: Settings) -> None:
    """Sets, through the library's setters, what differs from ``before``.

    Every value is checked before the first setter runs, so a value the
    library cannot take changes nothing.
    """
    calls: list[tuple[str, tuple[Any, ...]]] = []
    if (wanted.send_time_out, wanted.receive_time_out) != (
        before.send_time_out,
        before.receive_time_out,
    ):
        calls.append(("vexa_set_time_out", (wanted.send_time_out, wanted.receive_time_out)))
    if wanted.re_send_times != before.re_send_times:
        calls.append(("vexa_set_re_send_times", (wanted.re_send_times,)))
    if (wanted.local_ip, wanted.local_port) != (before.local_ip, before.local_port):
        address = _library.ascii_bytes(wanted.local_ip, "local_ip")
        calls.append(("vexa_bind_network_card", (address, wanted.local_port)))
    if wanted.chn_code_mode != before.chn_code_mode:
        calls.append(("vexa_set_chn_code_mode", (wanted.chn_code_mode,)))
    prepared = [(function, _library.prepare(function, args)) for function, args in calls]
    for function, args in prepared:
        _library.call_prepared(function, args)


class SettingsChange:
    """A change of the settings, made when created; as a context manager it
    puts the settings it found back when the block ends.

    Attributes:
        previous: the settings before the change.
        current: the settings after it, as the library holds them (time-outs
            below 10 ms become 10, negative repeats 0).
    """

    def __init__(self, previous: Settings, current: Settings) -> None:
        self.previous = previous
        self.current = current

    def __enter__(self) -> "SettingsChange":
        return self

    def __exit__(
        self,
        kind: Optional[Type[BaseException]],
        error: Optional[BaseException],
        trace: Optional[TracebackType],
    ) -> None:
        with _lock:
            _apply(self.previous, current_settings())


def settings(
    *,
    send_time_out: Optional[int] = None,
    receive_time_out: Optional[int] = None,
    re_send_times: Optional[int] = None,
    local_ip: Optional[str] = None,
    local_port: Optional[int] = None,
    chn_code_mode: Optional[int] = None,
) -> SettingsChange:
    """Changes the settings given; the others stay as they are.

    Args:
        send_time_out: send and connect time-out in ms (below 10 counts as 10).
        receive_time_out: reply wait in ms (below 10 counts as 10).
        re_send_times: repeats after the first attempt when no reply is
            understood (below 0 counts as 0).
        local_ip: local IPv4 address datagrams leave from
            (``"127.0.0.1"``: any).
        local_port: local port datagrams leave from (0: the system picks).
        chn_code_mode: stored only.

    Returns:
        the change; use it in a ``with`` statement to undo it at the end of
        the block.

    Raises:
        TypeError: for a value of the wrong type.
        OverflowError: for a number that does not fit a C int.
        ValueError: for a local address that is not ASCII.
        Nothing is changed when one of them is raised.
    """
    with _lock:
        before = current_settings()
        given = {
            "send_time_out": send_time_out,
            "receive_time_out": receive_time_out,
            "re_send_times": re_send_times,
            "local_ip": local_ip,
            "local_port": local_port,
            "chn_code_mode": chn_code_mode,
        }
        changes: dict[str, Any] = {name: v for name, v in given.items() if v is not None}
        wanted = before._replace(**changes)
        _apply(wanted, before)
        return SettingsChange(before, current_settings())
