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

- Each call runs in a thread of a pool (:func:`default_executor`, or the
  ``executor`` given to the object), so the event loop never waits for a
  controller: the library's call blocks only its thread. The library
  releases the interpreter lock while it waits.
- One command at a time per sign: every call holds the lock of its sign,
  one lock per controller address (whatever the transport, and for all the
  objects made for that address) and one per serial port, from before its
  thread starts until it has ended. Calls to one sign wait for each other in
  the order they were made; calls to different signs run at the same time.
  A call of a hall holds the locks of all the hall's signs.
- Multi-part texts and image groups (``send_mul_...``,
  ``send_image_group...``): the library keeps one such sequence for the
  whole process and gives it to the thread that sent its first piece, so
  these calls all run on one thread of their own, whatever pool the object
  has. As in a program without asyncio, send one sequence at a time: a new
  first piece abandons a sequence still open.
- Cancellation: a cancelled call that has not started yet never starts
  (nothing is sent). One that has started runs to its end in its thread, so
  that no frame and no sequence of frames is cut in half; the awaiting task
  gets :class:`asyncio.CancelledError` at once and the call's result is
  discarded, and the sign's next call starts only when the cancelled one has
  ended.
- Settings (:func:`vexa.settings`) belong to the whole process, as for the
  synchronous classes; changing them does not block.

The synchronous object behind each is its ``sync`` attribute.
"""

from __future__ import annotations

import asyncio
import concurrent.futures
import functools
import threading
import weakref
from types import TracebackType
from typing import (
    TYPE_CHECKING,
    Any,
    Callable,
    Coroutine,
    Iterable,
    Optional,
    Sequence,
    Type,
    TypeVar,
    Union,
)

from ._library import PathText
from .commands import Controller, SerialBus
from .enums import NetworkMode, SerialProtocol
from .hall import Hall

if TYPE_CHECKING:
    from typing import Concatenate, ParamSpec

    P = ParamSpec("P")

R = TypeVar("R")

#: Threads of the package's own pool: enough for one call in flight to each
#: of 64 signs at once.
DEFAULT_WORKERS = 64

# A sign's lock: ("ip", address) or ("serial", port number); a hall's own
# operations also hold ("hall", handle).
_Key = tuple[str, Union[str, int]]

_pool_lock = threading.Lock()
_pool: Optional[concurrent.futures.Executor] = None
# The one thread of the multi-part texts and image groups.
_sequence_pool: Optional[concurrent.futures.Executor] = None
# The signs' locks of each event loop.
_locks_lock = threading.Lock()
_locks: weakref.WeakKeyDictionary[
    asyncio.AbstractEventLoop, weakref.WeakValueDictionary[_Key, asyncio.Lock]
] = weakref.WeakKeyDictionary()


def default_executor() -> concurrent.futures.Executor:
    """The pool the calls run in when their object was given none: made at
    first use with :data:`DEFAULT_WORKERS` threads (started only as needed),
    or the one given to :func:`set_default_executor`."""
    global _pool
    with _pool_lock:
        if _pool is None:
            _pool = concurrent.futures.ThreadPoolExecutor(
                max_workers=DEFAULT_WORKERS, thread_name_prefix="vexa-aio"
            )
        return _pool


def _sequence_executor() -> concurrent.futures.Executor:
    global _sequence_pool
    with _pool_lock:
        if _sequence_pool is None:
            _sequence_pool = concurrent.futures.ThreadPoolExecutor(
                max_workers=1, thread_name_prefix="vexa-aio-sequence"
            )
        return _sequence_pool


def set_default_executor(executor: concurrent.futures.Executor) -> None:
    """Makes ``executor`` the pool of the objects given none, from their next
    call on. It needs a thread for each call that is to run at the same time
    as others: calls beyond its threads wait for one."""
    global _pool
    with _pool_lock:
        _pool = executor


def _sign_lock(loop: asyncio.AbstractEventLoop, key: _Key) -> asyncio.Lock:
    """The lock of a sign in this event loop, shared by every object and call
    that reaches the sign; it lives as long as someone holds it."""
    with _locks_lock:
        locks = _locks.get(loop)
        if locks is None:
            locks = _locks[loop] = weakref.WeakValueDictionary()
        lock = locks.get(key)
        if lock is None:
            lock = locks[key] = asyncio.Lock()
        return lock


async def _in_thread(
    keys: Iterable[_Key],
    executor: Optional[concurrent.futures.Executor],
    function: Callable[..., R],
    *args: Any,
    **kwargs: Any,
) -> R:
    """Runs ``function`` in a thread of the pool while holding the locks of
    ``keys`` (taken in one order everywhere, so that two calls never wait for
    each other's locks)."""
    loop = asyncio.get_running_loop()
    locks = [_sign_lock(loop, key) for key in sorted(set(keys))]
    held: list[asyncio.Lock] = []

    def release() -> None:
        while held:
            held.pop().release()

    try:
        for lock in locks:
            await lock.acquire()
            held.append(lock)
        job = (executor or default_executor()).submit(functools.partial(function, *args, **kwargs))
    except BaseException:
        release()
        raise
    outcome: asyncio.Future[R] = loop.create_future()

    def settle() -> None:
        # On the event loop, once the thread has ended (or the job was
        # cancelled before it started): the sign is free again.
        release()
        if outcome.cancelled():
            return  # the caller has gone; the result is dropped
        if job.cancelled():
            outcome.cancel()
            return
        error = job.exception()
        if error is not None:
            outcome.set_exception(error)
        else:
            outcome.set_result(job.result())

    def ended(_: "concurrent.futures.Future[R]") -> None:
        try:
            loop.call_soon_threadsafe(settle)
        except RuntimeError:
            pass  # the event loop is closed: nobody waits for the sign any more

    job.add_done_callback(ended)
    try:
        return await outcome
    except asyncio.CancelledError:
        job.cancel()  # a call not started yet never starts; a started one runs to its end
        raise


def _coroutine(
    method: "Callable[Concatenate[Any, P], R]", *, sequence: bool = False
) -> "Callable[Concatenate[_Async, P], Coroutine[Any, Any, R]]":
    """The coroutine of a method of the synchronous class: the same
    arguments, run in a thread under the sign's lock; a piece of a sequence
    (``sequence``) on the sequences' one thread."""

    @functools.wraps(method)
    async def run(self: _Async, /, *args: "P.args", **kwargs: "P.kwargs") -> R:
        executor = _sequence_executor() if sequence else self._executor
        return await _in_thread(self._keys, executor, method, self.sync, *args, **kwargs)

    return run


class _Async:
    """What the asynchronous classes share: the synchronous object, the
    locks of its signs and the pool its calls run in."""

    sync: Any
    _keys: tuple[_Key, ...]
    _executor: Optional[concurrent.futures.Executor]

    def __init_subclass__(cls, **kwargs: Any) -> None:
        super().__init_subclass__(**kwargs)
        for name, value in vars(cls).items():
            if hasattr(value, "__wrapped__"):
                value.__qualname__ = f"{cls.__qualname__}.{name}"

    def __repr__(self) -> str:
        return f"{type(self).__name__}({self.sync!r})"


class AsyncController(_Async):
    """:class:`vexa.Controller` for :mod:`asyncio`: one controller on the
    network, its commands as coroutines.

    Args:
        ip: the controller's IPv4 address.
        transport: ``"udp"`` (default), ``"tcp"``, ``"login"`` or a
            :class:`~vexa.NetworkMode`.
        encoding: how ``str`` texts become bytes (default GBK).
        executor: the pool the calls run in (default: :func:`default_executor`).

    Attributes:
        sync: the :class:`vexa.Controller` that makes the calls.

    Raises:
        ValueError: for an unknown transport or an address that is not ASCII.
    """

    def __init__(
        self,
        ip: str,
        transport: Union[str, NetworkMode] = "udp",
        *,
        encoding: str = "gbk",
        executor: Optional[concurrent.futures.Executor] = None,
    ) -> None:
        self.sync: Controller = Controller(ip, transport, encoding=encoding)
        self._keys = (("ip", ip),)
        self._executor = executor

    play_show_page = _coroutine(Controller.play_show_page)
    start_play = _coroutine(Controller.start_play)
    stop_play = _coroutine(Controller.stop_play)
    relay_switch = _coroutine(Controller.relay_switch)
    relay_delay = _coroutine(Controller.relay_delay)
    set_bright = _coroutine(Controller.set_bright)
    time_check = _coroutine(Controller.time_check)
    send_date_time = _coroutine(Controller.send_date_time)
    send_collection_data = _coroutine(Controller.send_collection_data)
    send_internal_text = _coroutine(Controller.send_internal_text)
    send_mul_collection_data = _coroutine(Controller.send_mul_collection_data, sequence=True)
    send_mul_internal_text = _coroutine(Controller.send_mul_internal_text, sequence=True)
    send_line_up = _coroutine(Controller.send_line_up)
    send_image_group = _coroutine(Controller.send_image_group, sequence=True)
    play_image_group = _coroutine(Controller.play_image_group)
    send_mul_material = _coroutine(Controller.send_mul_material, sequence=True)
    send_image_group_buffer = _coroutine(Controller.send_image_group_buffer, sequence=True)
    send_coordinate_text = _coroutine(Controller.send_coordinate_text)
    send_internal_text_custom = _coroutine(Controller.send_internal_text_custom)
    play_voice = _coroutine(Controller.play_voice)
    play_voice2 = _coroutine(Controller.play_voice2)
    send_line_up_content = _coroutine(Controller.send_line_up_content)
    send_line_up2 = _coroutine(Controller.send_line_up2)
    send_multimedia = _coroutine(Controller.send_multimedia)
    send_multimedia_buffer = _coroutine(Controller.send_multimedia_buffer)
    send_template_data = _coroutine(Controller.send_template_data)


class AsyncSerialBus(_Async):
    """:class:`vexa.SerialBus` for :mod:`asyncio`: the controllers on the
    process's serial port, their commands as coroutines. One call at a time
    per port.

    Args:
        port_number, baud_rate, serial_protocol, device_address, encoding:
            as for :class:`vexa.SerialBus`.
        executor: the pool the calls run in (default: :func:`default_executor`).

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
        executor: Optional[concurrent.futures.Executor] = None,
    ) -> None:
        self.sync: SerialBus = SerialBus(
            port_number, baud_rate, serial_protocol, device_address, encoding=encoding
        )
        self._keys = (("serial", self.sync.port_number),)
        self._executor = executor

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
    play_show_page = _coroutine(SerialBus.play_show_page)
    start_play = _coroutine(SerialBus.start_play)
    stop_play = _coroutine(SerialBus.stop_play)
    relay_switch = _coroutine(SerialBus.relay_switch)
    relay_delay = _coroutine(SerialBus.relay_delay)
    set_bright = _coroutine(SerialBus.set_bright)
    time_check = _coroutine(SerialBus.time_check)
    send_date_time = _coroutine(SerialBus.send_date_time)
    send_collection_data = _coroutine(SerialBus.send_collection_data)
    send_internal_text = _coroutine(SerialBus.send_internal_text)
    send_mul_collection_data = _coroutine(SerialBus.send_mul_collection_data, sequence=True)
    send_mul_internal_text = _coroutine(SerialBus.send_mul_internal_text, sequence=True)
    send_line_up = _coroutine(SerialBus.send_line_up)
    send_image_group = _coroutine(SerialBus.send_image_group, sequence=True)
    play_image_group = _coroutine(SerialBus.play_image_group)
    send_mul_material = _coroutine(SerialBus.send_mul_material, sequence=True)
    send_image_group_buffer = _coroutine(SerialBus.send_image_group_buffer, sequence=True)
    play_voice = _coroutine(SerialBus.play_voice)
    play_voice2 = _coroutine(SerialBus.play_voice2)
    set_params4_bar_screen = _coroutine(SerialBus.set_params4_bar_screen)
    send_content2_bar_screen = _coroutine(SerialBus.send_content2_bar_screen)


def _hall_signs(path: str) -> list[_Key]:
    """The locks of a hall file's signs: each networked sign's address, each
    serial sign's port. Read with :mod:`tomllib` (Python 3.11 and later);
    without it, or when the file no longer reads, none: the hall's calls then
    hold the hall's own lock only."""
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
    coroutines, each holding the locks of all the hall's signs.

    Args:
        hall: an open :class:`vexa.Hall`, or the path of a hall file, opened
            here (reading a local file; :meth:`open` reads it in a thread).
        executor: the pool the calls run in (default: :func:`default_executor`).

    Attributes:
        sync: the :class:`vexa.Hall` that makes the calls.

    Raises:
        HallFileError: when the file given cannot be read or has mistakes.
    """

    def __init__(
        self,
        hall: Union[Hall, PathText],
        *,
        executor: Optional[concurrent.futures.Executor] = None,
    ) -> None:
        self.sync: Hall = hall if isinstance(hall, Hall) else Hall(hall)
        self._keys = (("hall", self.sync._open()), *_hall_signs(self.sync.path))
        self._executor = executor

    @classmethod
    async def open(
        cls, path: PathText, *, executor: Optional[concurrent.futures.Executor] = None
    ) -> "AsyncHall":
        """Opens a hall file in a thread of the pool.

        Raises:
            HallFileError: when the file cannot be read or has mistakes.
        """
        loop = asyncio.get_running_loop()
        hall = await loop.run_in_executor(executor or default_executor(), Hall, path)
        return cls(hall, executor=executor)

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
    "DEFAULT_WORKERS",
    "AsyncController",
    "AsyncHall",
    "AsyncSerialBus",
    "default_executor",
    "set_default_executor",
]
