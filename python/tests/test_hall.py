"""vexa.Hall: a hall file opened, its mistakes listed, a call sent to every
sign of the counter with one result each."""

from __future__ import annotations

from pathlib import Path

import pytest

import vexa
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
