"""Checks an installed wheel of the package that carries the library (run by
scripts/test-python.sh in a fresh virtual environment, with no VEXA_LIBRARY
and no LD_LIBRARY_PATH): the package loads its own copy of
libvexa-x86.so.1, before any copy of the system's, reports the library's
version, and calls a controller emulator.

Usage: check_wheel.py VEXA_SIM VERSION OTHER_LIBRARY. OTHER_LIBRARY is a
copy elsewhere, which VEXA_LIBRARY must still make the package load.
"""

from __future__ import annotations

import json
import os
import subprocess
import sys
from pathlib import Path

import vexa

ADDRESS = "127.0.0.75"


def main(sim_program: str, version: str, other: str) -> None:
    assert "VEXA_LIBRARY" not in os.environ and "LD_LIBRARY_PATH" not in os.environ
    package = Path(vexa.__file__).resolve().parent
    assert Path(sys.prefix) in package.parents, f"vexa from {package}, not the environment"
    known = subprocess.run(["/sbin/ldconfig", "-p"], capture_output=True, text=True).stdout
    system_copy = [line.strip() for line in known.splitlines() if "libvexa-x86.so" in line]
    assert vexa.library_path() == str(package / "libvexa-x86.so.1"), vexa.library_path()
    assert vexa.version() == vexa.__version__ == version, (vexa.version(), vexa.__version__)

    sim = subprocess.Popen([sim_program, "--json", "--address", ADDRESS, "--no-tcp"],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert sim.stderr is not None and sim.stdout is not None
        while "listening" not in sim.stderr.readline():
            pass
        with vexa.settings(local_ip=ADDRESS, local_port=0, receive_time_out=1000):
            vexa.Controller(ADDRESS).play_show_page(3)
        frame = json.loads(sim.stdout.readline())
        assert (frame["name"], frame["fields"]["page"], frame["checks"]) == ("PlayShowPage", "3", "ok")
    finally:
        sim.terminate()
        sim.wait(5)

    chosen = subprocess.run([sys.executable, "-c", "import vexa; print(vexa.library_path())"],
                            env={**os.environ, "VEXA_LIBRARY": other}, capture_output=True,
                            text=True, check=True).stdout.strip()
    assert chosen == other, f"VEXA_LIBRARY={other} but {chosen} loaded"
    print(f"wheel: vexa {version} loads {vexa.library_path()}"
          + (f" before the system's {system_copy}" if system_copy else
             " (ldconfig knows no other copy)")
          + "; a call reached vexa-sim; VEXA_LIBRARY still wins")


if __name__ == "__main__":
    main(*sys.argv[1:])
