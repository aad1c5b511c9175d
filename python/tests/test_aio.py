"""vexa.aio: 64 emulated signs driven from one event loop while a ticker task
keeps running, one command in flight per sign and several signs at once,
cancelled calls that still end whole, refusals with the library's reason."""

from __future__ import annotations

import asyncio
import gc
import threading
import time
import weakref
from collections import defaultdict
from typing import Any, Callable, Iterator

import pytest

import vexa
from vexa import _library, aio
from vexa.aio import AsyncController, AsyncHall
from conftest import Sim, png

ADDRESS = "127.0.0.60"
# The signs of the 64-sign test: 48 that answer and 16 that stay silent.
ANSWERING = [f"127.0.21.{n}" for n in range(1, 49)]
SILENT = [f"127.0.21.{n}" for n in range(49, 65)]


def signs_sim(addresses: list[str], *options: str) -> Iterator[Sim]:
    sim = Sim(*[a for address in addresses for a in ("--address", address)], "--no-tcp",
              *options, ready=f"listening on {addresses[-1]}")
    yield sim
    sim.stop()


@pytest.fixture(scope="module")
def answering() -> Iterator[Sim]:
    yield from signs_sim(ANSWERING)


@pytest.fixture(scope="module")
def silent_signs() -> Iterator[Sim]:
    yield from signs_sim(SILENT, "--reply", "silent")


def test_64_signs_from_one_loop_while_a_ticker_runs(answering: Sim, silent_signs: Sim) -> None:
    """Each answering sign gets three commands in order, each silent one a
    command that waits out the receive time-out; the loop's ticker never
    waits as long as one receive time-out, which a call made on the loop's
    own thread would take."""
    time_out = vexa.current_settings().receive_time_out

    async def drive() -> tuple[float, list[BaseException]]:
        loop = asyncio.get_running_loop()
        stalls = [0.0]
        done = asyncio.Event()

        async def ticker() -> None:
            last = loop.time()
            while not done.is_set():
                await asyncio.sleep(0.005)
                now = loop.time()
                stalls[0] = max(stalls[0], now - last)
                last = now

        async def answering_sign(n: int, sign: AsyncController) -> None:
            await sign.play_show_page(n)
            await sign.send_collection_data(f"S{n}", 1)
            await sign.start_play()

        ticking = asyncio.create_task(ticker())
        await asyncio.sleep(0.02)
        results = await asyncio.gather(
            *(answering_sign(n, AsyncController(a)) for n, a in enumerate(ANSWERING, 1)),
            *(AsyncController(a).start_play() for a in SILENT), return_exceptions=True)
        done.set()
        await ticking
        return stalls[0], [r for r in results if isinstance(r, BaseException)]

    with vexa.settings(re_send_times=0):
        stall, errors = asyncio.run(drive())
    assert stall < time_out / 1000
    assert sorted(type(e).__name__ for e in errors) == ["NoReply"] * len(SILENT)
    assert sorted(e.reason for e in errors) == sorted(  # type: ignore[attr-defined]
        f"controller {a}: no reply within {time_out} ms after 1 attempt" for a in SILENT)
    by_sign: dict[str, list[str]] = defaultdict(list)
    for frame in answering.frames(3 * len(ANSWERING)):
        fields = frame["fields"]
        by_sign[frame["controller"]].append(
            frame["name"] + fields.get("page", "") + fields.get("text", ""))
    assert by_sign == {a: [f"PlayShowPage{n}", f'CollectedData"S{n}"', "StartPlay"]
                       for n, a in enumerate(ANSWERING, 1)}
    assert sorted(f["controller"] for f in silent_signs.frames(len(SILENT))) == sorted(SILENT)
    assert answering.nothing_more() and silent_signs.nothing_more(0.05)


@pytest.fixture(scope="module")
def slow() -> Iterator[Sim]:
    """Two signs that answer each frame after 100 ms."""
    sim = Sim("--address", "127.0.0.70", "--address", "127.0.0.71", "--reply", "delay:100",
              ready="listening on 127.0.0.71")
    yield sim
    sim.stop()


@pytest.fixture
def in_flight(monkeypatch: pytest.MonkeyPatch) -> Iterator[dict[str, Any]]:
    """Counts the library's calls in flight per address; the first call to
    each of two addresses waits for the other's, so they must run at once."""
    real = _library.call_prepared
    guard = threading.Lock()
    now: dict[bytes, int] = defaultdict(int)
    seen: dict[str, Any] = {"peak": defaultdict(int), "threads": defaultdict(set)}
    meeting = threading.Barrier(2, timeout=10)
    met: set[bytes] = set()

    def counting(function: str, args: tuple[Any, ...]) -> Any:
        names = [name for _, name in _library._PARAMETERS[function]]
        if "ip" not in names:
            return real(function, args)  # settings, reasons
        ip = args[names.index("ip")]
        with guard:
            now[ip] += 1
            seen["peak"][ip.decode()] = max(seen["peak"][ip.decode()], now[ip])
            seen["threads"][ip.decode()].add(threading.current_thread().name)
            first = ip not in met
            met.add(ip)
        try:
            if first:
                meeting.wait()
            return real(function, args)
        finally:
            with guard:
                now[ip] -= 1

    monkeypatch.setattr(_library, "call_prepared", counting)
    yield seen


def test_one_command_in_flight_per_sign_and_signs_at_once(slow: Sim,
                                                          in_flight: dict[str, Any]) -> None:
    async def drive() -> None:
        # Two objects, two transports, one sign: the sign's one thread.
        first = [AsyncController("127.0.0.70"), AsyncController("127.0.0.70", "tcp")]
        second = AsyncController("127.0.0.71")
        await asyncio.gather(*(first[n % 2].play_show_page(n) for n in range(1, 5)),
                             *(second.play_show_page(n) for n in range(11, 15)))

    with vexa.settings(receive_time_out=1000):
        asyncio.run(drive())
    assert dict(in_flight["peak"]) == {"127.0.0.70": 1, "127.0.0.71": 1}
    assert dict(in_flight["threads"]) == {"127.0.0.70": {"vexa ip 127.0.0.70"},
                                          "127.0.0.71": {"vexa ip 127.0.0.71"}}
    pages: dict[str, list[str]] = defaultdict(list)
    for frame in slow.frames(8):
        pages[frame["controller"]].append(frame["fields"]["page"])
    # Calls to one sign go out in the order they were made.
    assert pages == {"127.0.0.70": ["1", "2", "3", "4"], "127.0.0.71": ["11", "12", "13", "14"]}


def test_a_hall_call_holds_its_signs(slow: Sim, tmp_path: Any) -> None:
    """A sign's call made between two calls of its hall waits for the first
    to end (its line-up and its announcement, 100 ms each) and the second
    waits for it."""
    path = tmp_path / "hall.toml"
    path.write_text('[hall]\ntimeout_ms = 1000\nretries = 0\n\n[[sign]]\nname = "slow"\n'
                    'transport = "udp"\naddress = "127.0.0.70"\nwidth = 64\nheight = 16\n'
                    'speaks = true\n\n[[counter]]\nnumber = 3\n'
                    'lineup = { sign = "slow", field = 2 }\n')

    async def drive() -> list[Any]:
        sign, hall = AsyncController("127.0.0.70"), AsyncHall(path)
        return await asyncio.gather(hall.call("A1", 3), sign.play_show_page(1),
                                    hall.call("B2", 3))

    first, _, second = asyncio.run(drive())
    assert [(r.command, r.result) for r in first + second] == [("lineup", 0), ("voice", 0)] * 2
    assert [(f["name"], f["fields"].get("text")) for f in slow.frames(5)] == [
        ("LineUp", '"A1"'), ("PlayVoice", '"Ticket A 1, please go to counter 3"'),
        ("PlayShowPage", None),
        ("LineUp", '"B2"'), ("PlayVoice", '"Ticket B 2, please go to counter 3"')]


def test_a_cancelled_call_ends_whole_and_holds_its_sign(slow: Sim, tmp_path: Any) -> None:
    """A picture of three multimedia frames, cancelled once its first frame
    is out: the other two still go, whole, before the sign's next command; a
    command cancelled while it waits for the sign never goes."""
    picture = tmp_path / "white.png"
    picture.write_bytes(png(1, 1, bytes([255, 255, 255])))
    problems: list[dict[str, Any]] = []

    async def drive() -> list[str]:
        asyncio.get_running_loop().set_exception_handler(lambda _, context: problems.append(context))
        sign, same_sign = AsyncController("127.0.0.70"), AsyncController("127.0.0.70", "tcp")
        # 96 x 80 pixels in full colour: 2880 bytes, three frames of 960.
        upload = asyncio.create_task(
            sign.send_multimedia(picture, True, 0, 0, 96, 80, vexa.ColourMode.FULL))
        [first] = await asyncio.to_thread(slow.frames, 1)
        upload.cancel()
        waiting = asyncio.create_task(same_sign.play_show_page(8))
        await asyncio.sleep(0.01)
        waiting.cancel()
        outcomes = await asyncio.gather(upload, waiting, return_exceptions=True)
        await same_sign.play_show_page(9)
        return [type(o).__name__ for o in outcomes] + [first["name"]]

    with vexa.settings(receive_time_out=1000):
        outcomes = asyncio.run(drive())
    assert outcomes == ["CancelledError", "CancelledError", "Multimedia"]
    rest = slow.frames(3)
    assert [(f["name"], f["fields"].get("dataLength"), f["checks"]) for f in rest] == [
        ("Multimedia", "960", "ok"), ("Multimedia", "960", "ok"), ("PlayShowPage", None, "ok")]
    assert rest[2]["fields"]["page"] == "9"
    assert slow.nothing_more()
    assert problems == []


REFUSALS: list[tuple[Callable[[], AsyncController], type, str]] = [
    (lambda: AsyncController("127.0.0.63"), vexa.NoReply,
     "controller 127.0.0.63: no reply within 100 ms"),
    (lambda: AsyncController("127.0.0.61"), vexa.ControllerRefused,
     'controller 127.0.0.61 refused the command: status "2"'),
    (lambda: AsyncController("10.0.0.300"), vexa.NotAccepted,
     'address "10.0.0.300" is not dotted IPv4'),
]


@pytest.mark.parametrize("make,error,reason", REFUSALS)
def test_refusals_carry_the_reason_of_the_call(request: pytest.FixtureRequest, make: Any,
                                               error: type, reason: str) -> None:
    for fixture in ("silent", "refusing2"):
        request.getfixturevalue(fixture).drain()
    with vexa.settings(receive_time_out=100), pytest.raises(error) as refused:
        asyncio.run(make().start_play())
    assert refused.value.reason.startswith(reason)
    assert refused.value.call.startswith("start_play to ")


def test_loops_and_sign_threads_do_not_pile_up(accepting: Sim,
                                                monkeypatch: pytest.MonkeyPatch) -> None:
    """Twenty event loops, one after another, each calling a sign: none is
    kept once it has ended, and the sign's thread ends when it has nothing
    more to do."""
    monkeypatch.setattr(aio, "IDLE_SECONDS", 0.05)
    loops: list[weakref.ReferenceType[asyncio.AbstractEventLoop]] = []

    async def one_call(n: int) -> None:
        loops.append(weakref.ref(asyncio.get_running_loop()))
        await AsyncController(ADDRESS).play_show_page(n)

    for n in range(20):
        asyncio.run(one_call(n))
    assert [f["fields"]["page"] for f in accepting.frames(20)] == [str(n) for n in range(20)]
    gc.collect()
    # The last loop's call may still be finishing on the sign's thread.
    assert [ref() for ref in loops[:19]] == [None] * 19
    deadline = time.monotonic() + 5
    while f"vexa ip {ADDRESS}" in {t.name for t in threading.enumerate()}:
        assert time.monotonic() < deadline, "the sign's thread is still there"
        time.sleep(0.02)
    gc.collect()
    assert loops[19]() is None
