"""The package itself: finding the library, its table of C functions against
the header, bitmaps, and commands from several threads at once."""

from __future__ import annotations

import inspect
import os
import re
import subprocess
import sys
import threading
from pathlib import Path

import pytest

import vexa
from vexa._signatures import EXTRA_SIGNATURES, SIGNATURES

from conftest import ROOT, hx, png

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


# The C parameters a Python caller does not give: the ones the objects supply
# (address and network mode, the serial arguments, the route of the senders
# that take either), the bitmap's out-pointers, and those the library
# ignores (the spare voice text, the builders' unused flag).
SUPPLIED = {"ip", "network_mode", "device_address", "serial_protocol", "port_number",
            "baud_rate", "transport", "bitmap", "length", "spare_text", "unused"}
# Public callables with no C function of their own arguments: the upload and
# its set of pages, and the package's own helpers.
WITHOUT_C = {"Controller.send_template_data", "ShowPageSet.upload", "ShowPageSet.clear",
             "library_path", "settings", "current_settings"}


def c_parameters(function: str) -> list[str]:
    _, params = {**SIGNATURES, **EXTRA_SIGNATURES}[function]
    return [p.split(":")[1] for p in params.split()]


def python_callables():
    """(label, callable, the C functions it may be named after)."""
    found = [(name, getattr(vexa, name), [f"vexa_{name}"])
             for name in vexa.__all__ if inspect.isfunction(getattr(vexa, name))]
    for cls, suffix in ((vexa.Controller, "_net"), (vexa.SerialBus, "_com"), (vexa.ShowPageSet, "")):
        for name, method in inspect.getmembers(cls, inspect.isfunction):
            if not name.startswith("_"):
                custom = name.replace("_custom", f"{suffix}_custom")
                found.append((f"{cls.__name__}.{name}", method,
                              [f"vexa_{name}{suffix}", f"vexa_{name}", f"vexa_{custom}"]))
    return found


def test_python_names_are_the_c_names():
    """Each argument of a command, builder or service is called as the C
    parameter it becomes, which is the SKYREL.h name in snake case (the
    library's test c_interface_list holds the list to SKYREL.h); so are the
    serial bus's arguments and the settings."""
    known = {**SIGNATURES, **EXTRA_SIGNATURES}
    differ = []
    for label, function, candidates in python_callables():
        c_names = [c for c in candidates if c in known]
        if label in WITHOUT_C:
            continue
        if not c_names:
            differ.append(f"{label}: no C function {candidates[0]}")
            continue
        given = [p.name for p in inspect.signature(function).parameters.values()
                 if p.name != "self" and p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD]
        # A function of the module takes the address itself (logged_in).
        supplied = SUPPLIED if "." in label else SUPPLIED - {"ip"}
        wanted = [p for p in c_parameters(c_names[0]) if p not in supplied]
        if given != wanted:
            differ.append(f"{label}{tuple(given)} but {c_names[0]}{tuple(wanted)}")
    assert differ == []
    bus = list(inspect.signature(vexa.SerialBus).parameters)[:4]
    assert bus == ["port_number", "baud_rate", "serial_protocol", "device_address"]
    assert list(inspect.signature(vexa.Controller).parameters)[0] == "ip"
    setters = [p for f in ("vexa_set_time_out", "vexa_set_re_send_times",
                           "vexa_bind_network_card", "vexa_set_chn_code_mode")
               for p in c_parameters(f)]
    assert list(vexa.Settings._fields) == setters
    assert list(inspect.signature(vexa.settings).parameters) == setters


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
