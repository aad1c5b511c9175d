"""Fixtures of the package's tests: controller emulators (vexa-sim) on their
own loopback addresses, whose --json lines give the exact frames received.

Environment: VEXA_LIBRARY (the library under test) and VEXA_SIM (the
emulator program); without VEXA_SIM the emulator of the build directory
beside the package is used.
"""

from __future__ import annotations

import json
import os
import queue
import struct
import subprocess
import threading
import time
import zlib
from pathlib import Path
from typing import Iterator, Optional

import pytest

import vexa

ROOT = Path(__file__).resolve().parents[2]


def sim_program() -> str:
    program = os.environ.get("VEXA_SIM") or str(ROOT / "build" / "sim" / "vexa-sim")
    if not os.access(program, os.X_OK):
        pytest.skip(f"no controller emulator at {program} (set VEXA_SIM)")
    return program


class Sim:
    """One vexa-sim process and the frames it decoded, in arrival order."""

    def __init__(self, *args: str, cwd: Optional[str] = None, ready: str = "listening") -> None:
        """Starts vexa-sim with these options and waits until it has written
        a line holding `ready` (its serial line or login come after
        "listening")."""
        self.process = subprocess.Popen(
            [sim_program(), "--json", *args],
            cwd=cwd,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
        )
        self._frames: "queue.Queue[dict]" = queue.Queue()
        self._errors: list[str] = []
        self._ready = ready
        started = threading.Event()
        threading.Thread(target=self._read_frames, daemon=True).start()
        threading.Thread(target=self._read_errors, args=(started,), daemon=True).start()
        if not started.wait(5):
            self.stop()
            raise RuntimeError(f"vexa-sim did not start: {self._errors}")

    def _read_frames(self) -> None:
        # vexa-sim playing several controllers writes each frame's line and
        # its newline in two writes, so the lines of two controllers can
        # come out as "{...}{...}" followed by an empty line: every object
        # of a line is a frame.
        assert self.process.stdout is not None
        decoder = json.JSONDecoder()
        for line in self.process.stdout:
            at = 0
            line = line.strip()
            while at < len(line):
                frame, at = decoder.raw_decode(line, at)
                self._frames.put(frame)

    def _read_errors(self, started: threading.Event) -> None:
        assert self.process.stderr is not None
        for line in self.process.stderr:
            self._errors.append(line.rstrip())
            if self._ready in line:
                started.set()

    def frames(self, n: int, timeout: float = 5.0) -> list[dict]:
        """The next n frames (fails when fewer arrive in time)."""
        got = []
        deadline = time.monotonic() + timeout
        while len(got) < n:
            try:
                got.append(self._frames.get(timeout=max(0.0, deadline - time.monotonic())))
            except queue.Empty:
                pytest.fail(f"expected {n} frames, got {len(got)}: {got}")
        return got

    def raw(self, n: int) -> list[str]:
        """The raw bytes of the next n frames, as "FE 5C ..." texts."""
        return [f["raw"] for f in self.frames(n)]

    def nothing_more(self, wait: float = 0.2) -> bool:
        """True when no further frame arrives within `wait` seconds."""
        try:
            extra = self._frames.get(timeout=wait)
        except queue.Empty:
            return True
        self._frames.put(extra)
        return False

    def drain(self) -> None:
        while not self._frames.empty():
            self._frames.get_nowait()

    def stop(self) -> None:
        self.process.terminate()
        self.process.wait(5)


@pytest.fixture(scope="session", autouse=True)
def quick_local_sends() -> Iterator[None]:
    """Every test sends from a port the system picks (no clash with other
    programs on port 8801) and waits generously for replies."""
    with vexa.settings(local_ip="127.0.0.60", local_port=0, receive_time_out=1000):
        yield


def _sim_fixture(address: str, *args: str):
    @pytest.fixture(scope="session")
    def fixture() -> Iterator[Sim]:
        sim = Sim("--address", address, *args)
        yield sim
        sim.stop()

    return fixture


# One emulator per reply mode, each on its own address.
sim = _sim_fixture("127.0.0.60")
refusing2 = _sim_fixture("127.0.0.61", "--reply", "refuse2")
refusing3 = _sim_fixture("127.0.0.62", "--reply", "refuse3")
silent = _sim_fixture("127.0.0.63", "--reply", "silent")


@pytest.fixture
def accepting(sim: Sim) -> Iterator[Sim]:
    """The accepting emulator with nothing left over from earlier tests."""
    sim.drain()
    yield sim


def hx(text: str, encoding: str = "ascii") -> str:
    """A text's bytes as "41 30 31 32"."""
    return " ".join(f"{b:02X}" for b in text.encode(encoding))


def png(width: int, height: int, rgb: bytes) -> bytes:
    """An 8-bit RGB PNG, rows unfiltered."""
    rows = b"".join(b"\0" + rgb[y * width * 3 : (y + 1) * width * 3] for y in range(height))

    def chunk(kind: bytes, data: bytes) -> bytes:
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data)))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows))
            + chunk(b"IEND", b""))
