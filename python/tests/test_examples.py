"""The examples of python/examples run against the emulators: a call on one
sign, and the asyncio service answering its clients."""

from __future__ import annotations

import os
import socket
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import Sim

EXAMPLES = Path(__file__).resolve().parents[1] / "examples"


def example(name: str, *args: str) -> list[str]:
    return [sys.executable, str(EXAMPLES / name), *args]


def test_call_shows_and_announces_or_says_why_not(accepting: Sim, silent: Sim) -> None:
    done = subprocess.run(example("call.py", "127.0.0.60", "A012", "3"), capture_output=True,
                          text=True, timeout=30)
    assert (done.returncode, done.stdout) == (0, "127.0.0.60: A012 shown at counter 3 and announced\n")
    lineup, voice = accepting.frames(2)
    assert (lineup["fields"]["slotNo"], lineup["fields"]["lineKind"], lineup["fields"]["text"]) == (
        "3", "1", '"A012"')
    assert voice["fields"]["spokenText"] == '"sound101 Ticket A012, counter 3"'
    silent.drain()
    done = subprocess.run(example("call.py", "127.0.0.63", "A012", "3", "--timeout", "100"),
                          capture_output=True, text=True, timeout=30)
    assert (done.returncode, done.stderr) == (
        1, "127.0.0.63: controller 127.0.0.63: no reply within 100 ms after 2 attempts\n")
    assert len(silent.frames(2)) == 2


def test_service_answers_each_line(accepting: Sim, silent: Sim) -> None:
    service = subprocess.Popen(
        example("service.py", "--sign", "3=127.0.0.60", "--sign", "4=127.0.0.63",
                "--port", "19181", "--timeout", "200"),
        stdout=subprocess.PIPE, text=True, env={**os.environ, "PYTHONUNBUFFERED": "1"})
    try:
        assert service.stdout is not None
        assert service.stdout.readline() == "serving 2 signs on 127.0.0.1:19181\n"
        silent.drain()
        with socket.create_connection(("127.0.0.1", 19181), timeout=10) as client:
            client.sendall(b"A012 3\nB7 4\nhello\nC1 9\n")
            replies = client.makefile()
            lines = [replies.readline() for _ in range(4)]
        assert lines == ["ok\n", "error: controller 127.0.0.63: no reply within 200 ms after 1 attempt\n",
                         "error: send TICKET COUNTER\n", "error: no sign for counter 9\n"]
        lineup, data = accepting.frames(2)
        assert (lineup["name"], lineup["fields"]["text"], data["name"], data["fields"]["attrHigh"],
                data["fields"]["dataIndex"]) == ("LineUp", '"A012"', "CollectedData", "2", "3")
        assert silent.frames(1)[0]["name"] == "LineUp"
    finally:
        service.terminate()
        service.wait(10)
