"""The controllers, the serial bus and the hall from :mod:`asyncio`.

:class:`AsyncController`, :class:`AsyncSerialBus` and :class:`AsyncHall`
have the methods of :class:`vexa.Controller`, :class:`vexa.SerialBus` and
:class:`vexa.Hall`, with the same arguments, defaults, results and
exceptions, as coroutines::

    import asyncio
    import vexa
    from vexa.aio import AsyncController

    async def main() -> None:
        signs = [AsyncController(f"192.0.2.{n}") for n in range(10, 20)]
        await asyncio.gather(*(s.send_collection_data("A012", 1) for s in signs))

    asyncio.run(main())

How the calls run:

- Each sign has a thread of its own that makes its calls, one after another
  in the order they were made: one thread per controller address (whatever
  the transport, and for all the objects made for that address) and one per
  serial port. So one command at a time is in flight per sign, as the
  controllers need, while calls to different signs run at the same time,
  and the event loop never waits for a controller: the library's call
  blocks only the sign's thread (and releases the interpreter lock while it
  waits). A sign's thread ends after :data:`IDLE_SECONDS` without calls and
  comes back with the next one.
- A call of a hall holds the threads of all the hall's signs: it runs when
  each of them has finished what came before it, and they take nothing
  else until it has ended.
- Multi-part texts and image groups (``send_mul_...``,
  ``send_image_group...``): the library keeps one such sequence for the
  whole process and gives it to the thread that sent its first piece, so
  these calls run on one thread of their own (while holding their sign's).
  As in a program without asyncio, send one sequence at a time: a new first
  piece abandons a sequence still open.
- Cancellation: a cancelled call that has not started yet never starts
  (nothing is sent). One that has started runs to its end in its thread, so
  that no frame and no sequence of frames is cut in half; the awaiting task
  gets :class:`asyncio.CancelledError` at once, the call's result is
  discarded, and the sign's next call starts only when the cancelled one has
  ended.
- At the interpreter's exit the calls made so far end before it goes on.
- Settings (:func:`vexa.settings`) belong to the whole process, as for the
  synchronous classes; changing them does not block.

The synchronous object behind each is its ``sync`` attribute.
"""

from __future__ import annotations

import asyncio
import atexit
import collections
import functools
import queue
import threading
import weakref
from types import TracebackType
from typing import (
    TYPE_CHECKING,
    Any,
    Callable,
    Coroutine,
    Optional,
    Sequence,
    Type,
    TypeVar,
    Union,
)

from ._library import PathText
from .commands import Controller, SerialBus, _Commands
from .enums import NetworkMode, SerialProtocol
from .hall import Hall

if TYPE_CHECKING:
    from typing import Concatenate, ParamSpec

    P = ParamSpec("P")

R = TypeVar("R")

#: Seconds a sign's thread waits for its next call before it ends.
IDLE_SECONDS = 10.0

# A sign: ("ip", address) or ("serial", port number); also ("hall", handle)
# for a hall's own calls and ("sequence", "") for the thread of the
# multi-part texts and image groups.
_Key = tuple[str, Union[str, int]]
_SEQUENCE: _Key = ("sequence", "")

_PENDING, _RUNNING, _DONE, _CANCELLED = range(4)


class _Inbox:
    """The results coming back to one event loop: the signs' threads add
    them, and the loop is woken once for all that came in meanwhile."""

    def __init__(self, loop: asyncio.AbstractEventLoop) -> None:
        # Weakly: the inboxes are kept by loop, and a loop that has ended
        # must be free to go.
        self.loop = weakref.ref(loop)
        self.lock = threading.Lock()
        self.results: collections.deque[tuple[asyncio.Future[Any], bool, Any]] = (
            collections.deque()
        )
        self.woken = False

    def post(self, future: "asyncio.Future[Any]", ok: bool, value: Any) -> None:
        with self.lock:
            self.results.append((future, ok, value))
            if self.woken:
                return
            self.woken = True
        loop = self.loop()
        try:
            if loop is not None:
                loop.call_soon_threadsafe(self.deliver)
        except RuntimeError:
            pass  # the loop is closed: nobody waits for the result any more

    def deliver(self) -> None:
        with self.lock:
            results, self.results = self.results, collections.deque()
            self.woken = False
        for future, ok, value in results:
            if future.cancelled():
                continue  # the caller has gone; the result is dropped
            if ok:
                future.set_result(value)
            else:
                future.set_exception(value)


_inboxes_lock = threading.Lock()
_inboxes: weakref.WeakKeyDictionary[asyncio.AbstractEventLoop, _Inbox] = (
    weakref.WeakKeyDictionary()
)
# The inbox found last, by thread: a thread runs one loop at a time.
_last_inbox = threading.local()


def _inbox(loop: asyncio.AbstractEventLoop) -> _Inbox:
    inbox: Optional[_Inbox] = getattr(_last_inbox, "inbox", None)
    if inbox is not None and inbox.loop() is loop:
        return inbox
    with _inboxes_lock:
        inbox = _inboxes.get(loop)
        if inbox is None:
            inbox = _inboxes[loop] = _Inbox(loop)
    _last_inbox.inbox = inbox
    return inbox


class _Job:
    """One call: made by the thread of its ``runner`` sign once every sign
    it holds has reached it, while the others wait for its end."""

    __slots__ = ("inbox", "future", "runner", "signs", "arrived", "state", "changed",
                 "function", "args", "kwargs")

    def __init__(self, inbox: _Inbox, future: "asyncio.Future[Any]", runner: _Key,
                 signs: int, function: Callable[..., Any], args: tuple[Any, ...],
                 kwargs: dict[str, Any]) -> None:
        self.inbox = inbox
        self.future = future
        self.runner = runner
        self.signs = signs
        self.arrived = 0
        self.state = _PENDING
        # A call of one sign needs no more than a lock against its
        # cancellation; one of several signs a condition they wait on.
        self.changed: Union[threading.Lock, threading.Condition] = (
            threading.Lock() if signs == 1 else threading.Condition(threading.Lock())
        )
        self.function = function
        self.args = args
        self.kwargs = kwargs

    def cancel(self) -> None:
        """Drops the call unless it has started."""
        with self.changed:
            if self.state == _PENDING:
                self.state = _CANCELLED
                if isinstance(self.changed, threading.Condition):
                    self.changed.notify_all()

    def take(self, sign: _Key) -> None:
        """On a sign's thread, when the call is the next of the sign."""
        changed = self.changed
        if isinstance(changed, threading.Condition):
            if not self._gather(sign, changed):
                return
        else:
            with changed:
                if self.state == _CANCELLED:
                    return
                self.state = _RUNNING
        try:
            value = self.function(*self.args, **self.kwargs)
            ok = True
        except BaseException as error:  # handed to the caller
            value, ok = error, False
        with changed:
            self.state = _DONE
            if isinstance(changed, threading.Condition):
                changed.notify_all()
        self.inbox.post(self.future, ok, value)

    def _gather(self, sign: _Key, changed: threading.Condition) -> bool:
        """A call of several signs: true on the runner's thread when every
        sign has reached the call; the other signs' threads wait here for its
        end, and false."""
        with changed:
            if self.state == _CANCELLED:
                return False
            self.arrived += 1
            if sign != self.runner:
                changed.notify_all()
                changed.wait_for(lambda: self.state in (_DONE, _CANCELLED))
                return False
            changed.wait_for(lambda: self.arrived == self.signs or self.state == _CANCELLED)
            if self.state == _CANCELLED:
                return False
            self.state = _RUNNING
            return True


class _Lane:
    """A sign's thread and the calls waiting for it."""

    def __init__(self, key: _Key) -> None:
        self.key = key
        self.calls: queue.SimpleQueue[Optional[_Job]] = queue.SimpleQueue()
        self.thread = threading.Thread(target=self.serve, name=f"vexa {key[0]} {key[1]}",
                                       daemon=True)

    def serve(self) -> None:
        while True:
            try:
                job = self.calls.get(timeout=IDLE_SECONDS)
            except queue.Empty:
                with _lanes_lock:
                    if self.calls.empty():
                        del _lanes[self.key]
                        return
                continue
            if job is None:
                return
            job.take(self.key)
            # Nothing of the call stays with the thread while it waits for
            # the next (its loop, its arguments).
            del job


_lanes_lock = threading.Lock()
_lanes: dict[_Key, _Lane] = {}


def _post(job: _Job, signs: Sequence[_Key]) -> None:
    """Queues a call on the threads of its signs, all at once, so that every
    sign takes the calls of several signs in the same order."""
    with _lanes_lock:
        for key in signs:
            lane = _lanes.get(key)
            if lane is None:
                lane = _lanes[key] = _Lane(key)
                lane.thread.start()
            lane.calls.put(job)


@atexit.register
def _finish_calls() -> None:
    """At exit: the calls made so far end, none is cut off."""
    with _lanes_lock:
        lanes = list(_lanes.values())
        for lane in lanes:
            lane.calls.put(None)
    for lane in lanes:
        lane.thread.join()


def _start(signs: Sequence[_Key], runner: _Key, function: Callable[..., R],
           args: tuple[Any, ...], kwargs: dict[str, Any]) -> tuple["asyncio.Future[R]", _Job]:
    """Queues a call for the thread of ``runner``, holding ``signs`` (each
    named once); its result comes to the running loop's future."""
    loop = asyncio.get_running_loop()
    future: asyncio.Future[R] = loop.create_future()
    job = _Job(_inbox(loop), future, runner, len(signs), function, args, kwargs)
    _post(job, signs)
    return future, job


def _coroutine(
    method: "Callable[Concatenate[Any, P], R]", *, sequence: bool = False
) -> "Callable[Concatenate[_Async, P], Coroutine[Any, Any, R]]":
    """The coroutine of a method of the synchronous class: the same
    arguments, made on the thread of the object's sign; a piece of a
    sequence (``sequence``) on the sequences' thread, holding the sign's."""

    @functools.wraps(method)
    async def run(self: _Async, /, *args: "P.args", **kwargs: "P.kwargs") -> R:
        if sequence:
            signs, runner = (*self._signs, _SEQUENCE), _SEQUENCE
        else:
            signs, runner = self._signs, self._signs[0]
        future, job = _start(signs, runner, method, (self.sync, *args), kwargs)
        try:
            return await future
        except asyncio.CancelledError:
            job.cancel()  # a call not started yet never starts; a started one runs to its end
            raise

    return run


class _Async:
    """What the asynchronous classes share: the synchronous object and the
    signs its calls hold, the first one making them."""

    sync: Any
    _signs: tuple[_Key, ...]

    def __init_subclass__(cls, **kwargs: Any) -> None:
        super().__init_subclass__(**kwargs)
        for name, value in vars(cls).items():
            if hasattr(value, "__wrapped__"):
                value.__qualname__ = f"{cls.__qualname__}.{name}"

    def __repr__(self) -> str:
        return f"{type(self).__name__}({self.sync!r})"


class _AsyncCommands(_Async):
    """The coroutines of the commands a controller takes alike on the network
    and on the serial line."""

    play_show_page = _coroutine(_Commands.play_show_page)
    start_play = _coroutine(_Commands.start_play)
    stop_play = _coroutine(_Commands.stop_play)
    relay_switch = _coroutine(_Commands.relay_switch)
    relay_delay = _coroutine(_Commands.relay_delay)
    set_bright = _coroutine(_Commands.set_bright)
    time_check = _coroutine(_Commands.time_check)
    send_date_time = _coroutine(_Commands.send_date_time)
    send_collection_data = _coroutine(_Commands.send_collection_data)
    send_internal_text = _coroutine(_Commands.send_internal_text)
    send_mul_collection_data = _coroutine(_Commands.send_mul_collection_data, sequence=True)
    send_mul_internal_text = _coroutine(_Commands.send_mul_internal_text, sequence=True)
    send_line_up = _coroutine(_Commands.send_line_up)
    send_image_group = _coroutine(_Commands.send_image_group, sequence=True)
    play_image_group = _coroutine(_Commands.play_image_group)
    send_mul_material = _coroutine(_Commands.send_mul_material, sequence=True)
    send_image_group_buffer = _coroutine(_Commands.send_image_group_buffer, sequence=True)


class AsyncController(_AsyncCommands):
    """:class:`vexa.Controller` for :mod:`asyncio`: one controller on the
    network, its commands as coroutines.

    Args:
        ip: the controller's IPv4 address.
        transport: ``"udp"`` (default), ``"tcp"``, ``"login"`` or a
            :class:`~vexa.NetworkMode`.
        encoding: how ``str`` texts become bytes (default GBK).

    Attributes:
        sync: the :class:`vexa.Controller` that makes the calls.

    Raises:
        ValueError: for an unknown transport or an address that is not ASCII.
    """

    def __init__(
        self,
        ip: str,
        transport: Union[str, NetworkMode, int] = "udp",
        *,
        encoding: str = "gbk",
    ) -> None:
        self.sync: Controller = Controller(ip, transport, encoding=encoding)
        self._signs = (("ip", ip),)

    send_coordinate_text = _coroutine(Controller.send_coordinate_text)
    send_internal_text_custom = _coroutine(Controller.send_internal_text_custom)
    play_voice = _coroutine(Controller.play_voice)
    play_voice2 = _coroutine(Controller.play_voice2)
    send_line_up_content = _coroutine(Controller.send_line_up_content)
    send_line_up2 = _coroutine(Controller.send_line_up2)
    send_multimedia = _coroutine(Controller.send_multimedia)
    send_multimedia_buffer = _coroutine(Controller.send_multimedia_buffer)
    send_template_data = _coroutine(Controller.send_template_data)


class AsyncSerialBus(_AsyncCommands):
    """:class:`vexa.SerialBus` for :mod:`asyncio`: the controllers on the
    process's serial port, their commands as coroutines. One call at a time
    per port.

    Args:
        port_number, baud_rate, serial_protocol, device_address, encoding:
            as for :class:`vexa.SerialBus`.

    Attributes:
        sync: the :class:`vexa.SerialBus` that makes the calls.
    """

    def __init__(
        self,
        port_number: int = 1,
        baud_rate: int = 9600,
        serial_protocol: Union[SerialProtocol, int] = SerialProtocol.RS485,
        device_address: Union[int, str, Sequence[int]] = "0",
        *,
        encoding: str = "gbk",
    ) -> None:
        self.sync: SerialBus = SerialBus(
            port_number, baud_rate, serial_protocol, device_address, encoding=encoding
        )
        self._signs = (("serial", self.sync.port_number),)

    async def __aenter__(self) -> "AsyncSerialBus":
        return self

    async def __aexit__(
        self,
        kind: Optional[Type[BaseException]],
        error: Optional[BaseException],
        trace: Optional[TracebackType],
    ) -> None:
        await self.close()

    close = _coroutine(SerialBus.close)
    play_voice = _coroutine(SerialBus.play_voice)
    play_voice2 = _coroutine(SerialBus.play_voice2)
    set_params4_bar_screen = _coroutine(SerialBus.set_params4_bar_screen)
    send_content2_bar_screen = _coroutine(SerialBus.send_content2_bar_screen)


def _hall_signs(path: str) -> list[_Key]:
    """A hall file's signs: each networked sign's address, each serial sign's
    port. Read with :mod:`tomllib` (Python 3.11 and later); without it, or
    when the file no longer reads, none: the hall's calls then hold the
    hall's own thread only."""
    try:
        import tomllib
    except ImportError:  # Python before 3.11
        return []
    try:
        with open(path, "rb") as file:
            signs = tomllib.load(file).get("sign", [])
        keys: list[_Key] = []
        for sign in signs:
            if sign.get("transport") == "serial":
                keys.append(("serial", int(sign["port"])))
            else:
                keys.append(("ip", str(sign["address"])))
        return keys
    except (OSError, ValueError, KeyError, TypeError, AttributeError):
        return []


class AsyncHall(_Async):
    """:class:`vexa.Hall` for :mod:`asyncio`: a hall file's operations as
    coroutines, each holding the threads of all the hall's signs (a call of
    the hall and a call of an :class:`AsyncController` to one of its signs
    never overlap).

    Args:
        hall: an open :class:`vexa.Hall`, or the path of a hall file, opened
            here (reading a local file; :meth:`open` reads it in a thread).

    Attributes:
        sync: the :class:`vexa.Hall` that makes the calls.

    Raises:
        HallFileError: when the file given cannot be read or has mistakes.
    """

    def __init__(
        self,
        hall: Union[Hall, PathText],
    ) -> None:
        self.sync: Hall = hall if isinstance(hall, Hall) else Hall(hall)
        # Serial signs of one port share its thread.
        self._signs = tuple(dict.fromkeys((("hall", self.sync._open()),
                                           *_hall_signs(self.sync.path))))

    @classmethod
    async def open(
        cls, path: PathText
    ) -> "AsyncHall":
        """Opens a hall file in a thread of the event loop's default executor.

        Raises:
            HallFileError: when the file cannot be read or has mistakes.
        """
        hall = await asyncio.get_running_loop().run_in_executor(None, Hall, path)
        return cls(hall)

    async def __aenter__(self) -> "AsyncHall":
        return self

    async def __aexit__(
        self,
        kind: Optional[Type[BaseException]],
        error: Optional[BaseException],
        trace: Optional[TracebackType],
    ) -> None:
        await self.close()

    call = _coroutine(Hall.call)
    upload = _coroutine(Hall.upload)
    clock = _coroutine(Hall.clock)
    serve_logins = _coroutine(Hall.serve_logins)
    close = _coroutine(Hall.close)


__all__ = [
    "IDLE_SECONDS",
    "AsyncController",
    "AsyncHall",
    "AsyncSerialBus",
]
