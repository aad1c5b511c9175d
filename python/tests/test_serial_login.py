"""The serial bus on an emulated serial line, and a controller that dialled in
to the login server."""

from __future__ import annotations

import time

import pytest

import vexa

from conftest import Sim

PORT = 7


@pytest.fixture
def line(tmp_path, monkeypatch):
    """An emulator serving a serial line linked as COM7 in a scratch working
    directory, where the library opens its port 7."""
    monkeypatch.chdir(tmp_path)
    sim = Sim("--address", "127.0.0.64", "--no-udp", "--no-tcp", "--serial", f"COM{PORT}",
              cwd=str(tmp_path), ready="serial line")
    # Each serial send pauses half the reply wait after its frame.
    with vexa.settings(receive_time_out=200):
        yield sim
    vexa.close_com()
    sim.stop()


# (bus address as given, the RS-485 frame of play_show_page(1)). The frame:
# FE 98, length 00 10, 97, command 36, 00, eight address bytes, page 01 with
# its complement FE, then the XOR of everything after the first FE.
ADDRESSES = [
    ("5", "FE 98 00 10 97 36 00 00 00 00 00 00 00 00 05 01 FE D3"),
    (5, "FE 98 00 10 97 36 00 00 00 00 00 00 00 00 05 01 FE D3"),
    ((1, 2, 3, 4, 5, 6, 7, 8), "FE 98 00 10 97 36 00 01 02 03 04 05 06 07 08 01 FE DE"),
]


@pytest.mark.parametrize("address,frame", ADDRESSES)
def test_bus_frame_on_the_line(line, address, frame):
    with vexa.SerialBus(port_number=PORT, baud_rate=9600, serial_protocol=2,
                        device_address=address) as bus:
        bus.play_show_page(1)
    [received] = line.frames(1)
    assert received["raw"] == frame
    assert received["channel"] == "serial"


def test_serial_refusals_carry_their_reasons(line):
    bus = vexa.SerialBus(port_number=PORT, serial_protocol=2, device_address="5")
    with pytest.raises(vexa.NotAccepted) as no_bus_form:
        bus.start_play()
    with pytest.raises(vexa.NotAccepted) as no_port:
        vexa.SerialBus(port_number=9, serial_protocol=2, device_address="5").play_show_page(1)
    assert no_bus_form.value.reason == "this command has no RS-485 form (serial protocol 2)"
    assert no_port.value.reason == "COM9: No such file or directory"
    assert str(no_port.value).startswith("play_show_page on COM9 to bus address 5: ")
    # Protocol 1 sends the network frame unchanged.
    vexa.SerialBus(port_number=PORT, serial_protocol=1).start_play()
    [received] = line.frames(1)
    assert received["raw"] == "FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF"


def test_controller_that_dialled_in():
    vexa.open_server(19160)
    sim = Sim("--address", "127.0.0.65", "--no-udp", "--no-tcp", "--login", "127.0.0.1:19160",
              ready="dialled in")
    try:
        [greeting] = sim.frames(1)
        assert greeting["name"] == "LoginGreeting"
        # The server records the controller once it has answered the greeting.
        sign = vexa.Controller("127.0.0.1", transport="login")
        deadline = time.monotonic() + 5
        while True:
            try:
                sign.play_show_page(1)
                break
            except vexa.NoReply:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)
        [received] = sim.frames(1)
        assert received["channel"] == "login"
        assert received["raw"] == "FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 01 FE FF FF"
    finally:
        sim.stop()
