"""The package itself: finding the library, its table of C functions against
the header, bitmaps, and commands from several threads at once."""

from __future__ import annotations

import os
import re
import struct
import subprocess
import sys
import threading
import zlib
from pathlib import Path

import pytest

import vexa
from vexa._signatures import SIGNATURES

from conftest import ROOT, hx

ADDRESS = "127.0.0.60"


def test_version_of_package_and_library():
    assert vexa.version() == vexa.__version__


def test_table_matches_the_header_list():
    header = ROOT / "api" / "vexa_functions.h"
    if not header.exists():
        pytest.skip("the library's sources are not beside the package")
    listed = {}
    for ret, name, params in re.findall(
        r"VEXA_FUNCTION\((\w+),\s*(\w+),\s*\w+,\s*((?:\(\s*\w+\s*,\s*\w*\s*\)\s*)+)\)",
        header.read_text(),
    ):
        pairs = re.findall(r"\(\s*(\w+)\s*,\s*(\w*)\s*\)", params)
        listed[name] = (
            ret.upper(),
            " ".join(f"{kind}:{n}" for kind, n in pairs if kind != "VOID"),
        )
    assert len(listed) == 66
    assert SIGNATURES == listed


def run_python(code: str, **env: str) -> subprocess.CompletedProcess:
    return subprocess.run(
        [sys.executable, "-c", code],
        env={**os.environ, **env},
        capture_output=True,
        text=True,
        timeout=30,
    )


def test_library_not_found_names_every_path_tried(tmp_path):
    not_a_library = tmp_path / "libvexa-x86.so.1"
    not_a_library.write_text("this is no library\n" * 20)
    missing = tmp_path / "missing.so"
    code = "import vexa\ntry:\n vexa.version()\nexcept vexa.LibraryNotFound as e:\n print(e)"
    for path, why in ((missing, "no such file"), (not_a_library, "invalid ELF header")):
        done = run_python(code, VEXA_LIBRARY=str(path), LD_LIBRARY_PATH=str(tmp_path))
        if done.stdout.startswith("1."):
            pytest.skip("a libvexa-x86 is installed on the system's library path")
        lines = done.stdout.splitlines()
        assert lines[0] == "libvexa-x86 could not be loaded; tried, in order:"
        assert lines[1].startswith(f"  VEXA_LIBRARY={path}: ") and why in lines[1]
        package = Path(vexa.__file__).parent / "libvexa-x86.so.1"
        assert f"  {package}: no such file" in lines
        assert any(line.startswith("  libvexa-x86.so.1 (system library path): ") for line in lines)


def test_library_from_the_environment():
    done = run_python("import vexa; print(vexa.library_path())")
    assert done.stdout.strip() == os.environ["VEXA_LIBRARY"]


def png(width: int, height: int, rgb: bytes) -> bytes:
    """An 8-bit RGB PNG, rows unfiltered."""
    rows = b"".join(b"\0" + rgb[y * width * 3 : (y + 1) * width * 3] for y in range(height))

    def chunk(kind: bytes, data: bytes) -> bytes:
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data)))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows))
            + chunk(b"IEND", b""))


# White above black, scaled to 8 x 2: one lit row (FF) above an unlit one
# (00) in each of the colour mode's planes.
@pytest.mark.parametrize("mode,bitmap", [(0, "FF 00"), (1, "FF 00 FF 00"), (2, "FF 00 FF 00 FF 00")])
def test_bitmap_of_an_image_file(tmp_path, mode, bitmap):
    picture = tmp_path / "wb.png"
    picture.write_bytes(png(1, 2, bytes([255, 255, 255, 0, 0, 0])))
    data = vexa.image_content_buffer(picture, mode, 8, 2)
    assert " ".join(f"{b:02X}" for b in data) == bitmap
    with pytest.raises(vexa.NotAccepted, match="colour mode 3 is not 0, 1 or 2"):
        vexa.image_content_buffer(picture, 3, 8, 2)


def test_commands_from_eight_threads(accepting):
    """Each thread sends its own texts and gets its own refusal reasons."""
    failures: list[BaseException] = []
    reasons: dict[int, str] = {}

    def work(n: int) -> None:
        try:
            sign = vexa.Controller(ADDRESS, "udp" if n % 2 else "tcp")
            for k in range(4):
                sign.send_collection_data(f"T{n}{k}", 1, 3, 2, 1)
            try:
                vexa.Controller(f"10.0.{n}.300").start_play()
            except vexa.NotAccepted as refused:
                reasons[n] = refused.reason
        except BaseException as error:  # reported below
            failures.append(error)

    threads = [threading.Thread(target=work, args=(n,)) for n in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []
    assert reasons == {n: f'address "10.0.{n}.300" is not dotted IPv4' for n in range(8)}
    texts = sorted(f["raw"] for f in accepting.frames(32))
    expected = sorted(
        "FE 5C 4B 89 1B 00 00 00 65 00 00 00 00 08 00 00 00 01 00 33 21 03 "
        + hx(f"T{n}{k}") + " FF FF"
        for n in range(8) for k in range(4)
    )
    assert texts == expected
    assert accepting.nothing_more()
