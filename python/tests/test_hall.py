"""vexa.Hall: a hall file opened, its mistakes listed, a call sent to every
sign of the counter with one result each."""

from __future__ import annotations

import asyncio
import time
from pathlib import Path

import pytest

import vexa
from vexa.aio import AsyncHall
from conftest import Sim

HALL = """
[hall]
timeout_ms = 300
retries = 0

[[sign]]
name = "main"
transport = "udp"
address = "127.0.0.60"
width = 64
height = 16
speaks = true

[[sign]]
name = "dark"
transport = "udp"
address = "127.0.0.63"
width = 64
height = 16

[[counter]]
number = 3
lineup = { sign = "main", field = 2 }
data = { sign = "dark", field = 1 }
"""


def test_a_call_reaches_every_sign_and_reports_each(tmp_path: Path, accepting: Sim, silent: Sim) -> None:
    path = tmp_path / "hall.toml"
    path.write_text(HALL)
    with vexa.Hall(path) as hall:
        results = hall.call("A012", 3)
    assert [(r.command, r.sign, r.result) for r in results] == [
        ("lineup", "main", 0),
        ("data", "dark", 2),
        ("voice", "main", 0),
    ]
    assert results[1].reason == "controller 127.0.0.63: no reply within 300 ms after 1 attempt"
    assert results[0].accepted and not results[1].accepted
    lineup, voice = accepting.frames(2)
    assert (lineup["name"], lineup["fields"]["slotNo"], lineup["fields"]["text"]) == (
        "LineUp", "2", '"A012"')
    assert voice["fields"]["spokenText"] == '"Ticket A 0 1 2, please go to counter 3"'
    silent.frames(1)  # the data field's one attempt, taken so no other test sees it


def test_mistakes_are_listed_and_nothing_is_sent(tmp_path: Path, accepting: Sim) -> None:
    path = tmp_path / "hall.toml"
    path.write_text(HALL.replace("width = 64\nheight = 16\nspeaks", "widht = 64\nheight = 16\nspeaks"))
    with pytest.raises(vexa.HallFileError) as bad:
        vexa.Hall(path)
    assert bad.value.mistakes == [
        f"{path}:6:1: missing key \"width\"",
        f"{path}:10:1: unknown key \"widht\" in a sign",
    ]
    path.write_text(HALL)
    with vexa.Hall(path) as hall:
        with pytest.raises(vexa.NotAccepted) as unknown:
            hall.call("A012", 9)
    assert unknown.value.reason == "the hall has no counter 9"
    assert accepting.nothing_more()
    with pytest.raises(vexa.HallFileError):
        vexa.Hall(tmp_path / "missing.toml")


LOGIN_HALL = """
[hall]
timeout_ms = 1000
retries = 0
login_port = {port}

[[sign]]
name = "main"
transport = "udp"
address = "127.0.0.60"
width = 64
height = 16
speaks = true

[[sign.page]]
number = 1
from = "08:00"
to = "18:00"

[[sign.page.area]]
x = 0
y = 0
width = 64
height = 16

[[sign.page.area.material]]
kind = "datetime"

[[sign]]
name = "door"
transport = "login"
address = "127.0.0.1"
width = 64
height = 16

[[counter]]
number = 3
lineup = {{ sign = "main", field = 2 }}
"""


class Blocking:
    """Hall's methods as they are, beside AsyncHall's awaited one at a time on
    an event loop of its own."""

    def __init__(self, path: Path, asynchronous: bool) -> None:
        self.asynchronous = asynchronous
        self.hall = asyncio.run(AsyncHall.open(path)) if asynchronous else vexa.Hall(path)

    def __getattr__(self, name: str):
        method = getattr(self.hall, name)
        if not self.asynchronous:
            return method
        return lambda *args: asyncio.run(method(*args))


def summary(results: list[vexa.SignResult]) -> list[tuple[str, str, int, str]]:
    return [(r.command, r.sign, r.result, r.reason) for r in results]


# The port of the login server of each flavour: listeners stay for the rest
# of the process, so each run has its own.
@pytest.mark.parametrize("asynchronous,port", [(False, 19171), (True, 19172)])
def test_every_hall_method_on_the_wire(tmp_path: Path, accepting: Sim, asynchronous: bool,
                                       port: int) -> None:
    path = tmp_path / "hall.toml"
    path.write_text(LOGIN_HALL.format(port=port))
    hall = Blocking(path, asynchronous)
    # Nobody has dialled in yet: the door's clock is not set, and says why.
    before = summary(hall.clock())
    assert before[0] == ("clock", "main", 0, "") and before[1][:3] == ("clock", "door", 2)
    assert before[1][3].startswith("no controller logged in from 127.0.0.1")
    accepting.frames(1)
    hall.serve_logins()
    door = Sim("--address", "127.0.0.69", "--no-udp", "--no-tcp", "--login", f"127.0.0.1:{port}",
               ready="dialled in")
    try:
        [greeting] = door.frames(1)
        assert (greeting["name"], greeting["channel"]) == ("LoginGreeting", "login")
        deadline = time.monotonic() + 5
        while not vexa.logged_in("127.0.0.1") and time.monotonic() < deadline:
            time.sleep(0.02)  # the greeting's answer is on its way
        assert summary(hall.clock()) == [("clock", "main", 0, ""), ("clock", "door", 0, "")]
        [main_clock] = accepting.frames(1)
        [door_clock] = door.frames(1)
        assert [(f["name"], f["channel"]) for f in (main_clock, door_clock)] == [
            ("TimeCheck", "udp"), ("TimeCheck", "login")]
    finally:
        door.stop()
    assert summary(hall.call("A012", 3)) == [("lineup", "main", 0, ""), ("voice", "main", 0, "")]
    lineup, voice = accepting.frames(2)
    assert (lineup["name"], lineup["fields"]["slotNo"], lineup["fields"]["text"]) == (
        "LineUp", "2", '"A012"')
    assert voice["fields"]["spokenText"] == '"Ticket A 0 1 2, please go to counter 3"'
    assert summary(hall.upload()) == [("upload", "main", 0, "")]
    page_set, date_time = accepting.frames(2)
    assert (page_set["name"], page_set["fields"]["page1.start"], page_set["fields"]["page1.end"],
            page_set["fields"]["page1.m1.w8"]) == ("PageSet", '"08:00"', '"18:00"', '"008"')
    assert date_time["name"] == "DateTime"
    hall.close()
    hall.close()  # closing again does nothing
    with pytest.raises(ValueError, match="the hall is closed"):
        hall.call("A012", 3)
    assert accepting.nothing_more()


def test_hall_refusals_carry_the_library_reason(tmp_path: Path, accepting: Sim) -> None:
    path = tmp_path / "hall.toml"
    path.write_text(HALL.replace("width = 64\nheight = 16\nspeaks", "widht = 64\nheight = 16\nspeaks"))
    with pytest.raises(vexa.HallFileError) as bad:
        vexa.Hall(path)
    assert bad.value.reason == "\n".join(bad.value.mistakes) and bad.value.result == 1
    path.write_text(HALL)

    async def unknown_counter() -> None:
        async with AsyncHall(path) as hall:
            await hall.call("A012", 9)

    with pytest.raises(vexa.NotAccepted) as unknown:
        asyncio.run(unknown_counter())
    assert unknown.value.reason == "the hall has no counter 9"
    # An operation the library refuses before reaching any sign.
    hall = vexa.Hall(path)
    handle, hall._handle = hall._handle, 999999
    for operation in (hall.upload, hall.clock):
        with pytest.raises(vexa.NotAccepted) as refused:
            operation()
        assert refused.value.reason == "no hall is open with the handle 999999"
    hall._handle = handle
    hall.close()
    assert accepting.nothing_more()
