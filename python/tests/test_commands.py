"""Controller commands on the wire, texts and their encodings, and results
turned into exceptions."""

from __future__ import annotations

import pytest

import vexa

from conftest import hx

ADDRESS = "127.0.0.60"

# (what is called, transport, the frame the controller received). The
# network frame is FE 5C 4B 89, its length (4 bytes, little-endian), the
# command byte, four bytes (sub-code and zeros), the payload length (4
# bytes), the payload, FF FF.
FRAMES = [
    (
        lambda c: c.play_show_page(1),
        "udp",
        "FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 01 FE FF FF",
    ),
    (
        lambda c: c.start_play(),
        "udp",
        "FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF",
    ),
    (
        lambda c: c.set_bright(10, 1),
        "tcp",
        "FE 5C 4B 89 17 00 00 00 76 00 00 00 00 04 00 00 00 0A F5 01 FE FF FF",
    ),
    # Line-up record 01 00 0D 00 'S' 00 03 1F "A012"; its XOR is 31: check 03 01.
    (
        lambda c: c.send_line_up("A012", 3, 1, 1, False),
        "udp",
        "FE 5C 4B 89 21 00 00 00 64 00 00 00 00 0E 00 00 00 "
        "01 00 0D 00 53 00 03 1F 41 30 31 32 03 01 FF FF",
    ),
    # Bracketed: 01 00 0F 00 'S' 00 03 1D 1F "A012" 1C; XOR 32: check 03 02.
    (
        lambda c: c.send_line_up(b"A012", slot_no=3, line_kind=1, unit_address=1, bracketed=True),
        "tcp",
        "FE 5C 4B 89 23 00 00 00 64 00 00 00 00 10 00 00 00 "
        "01 00 0F 00 53 00 03 1D 1F 41 30 31 32 1C 03 02 FF FF",
    ),
    (
        lambda c: c.send_collection_data("A012", 1, 3, 2, 1),
        "udp",
        "FE 5C 4B 89 1C 00 00 00 65 00 00 00 00 09 00 00 00 01 00 33 21 04 41 30 31 32 FF FF",
    ),
    # The voice record: FD, length of the spoken text + 2 (27), 01 00, the
    # tags and the text, 00 00; sub-code 7 in byte 9.
    (
        lambda c: c.play_voice2("Ticket", 7, 5, 1, 2),
        "udp",
        "FE 5C 4B 89 33 00 00 00 68 07 00 00 00 20 00 00 00 FD 00 1B 01 00 "
        + hx("[v5]sound101 [m51] Ticket")
        + " 00 00 FF FF",
    ),
    # A bool parameter takes 1 and 0 as well: the bracketed frame again.
    (
        lambda c: c.send_line_up("A012", 3, 1, 1, 1),
        "udp",
        "FE 5C 4B 89 23 00 00 00 64 00 00 00 00 10 00 00 00 "
        "01 00 0F 00 53 00 03 1D 1F 41 30 31 32 1C 03 02 FF FF",
    ),
    # Piece 1 of 1 of a multi-part collected data: the piece is the frame.
    (
        lambda c: c.send_mul_collection_data("A012", 1, 0, 3, 2, 1, 1, 1),
        "udp",
        "FE 5C 4B 89 1C 00 00 00 65 00 00 00 00 09 00 00 00 01 00 33 21 04 41 30 31 32 FF FF",
    ),
]


@pytest.mark.parametrize("command,transport,frame", FRAMES)
def test_frames_the_controller_receives(accepting, command, transport, frame):
    assert command(vexa.Controller(ADDRESS, transport)) is None
    [received] = accepting.frames(1)
    assert received["raw"] == frame
    assert received["channel"] == transport


# (controller's encoding, text, the text's bytes in the collected-data record)
TEXTS = [
    ("gbk", "请A1", "C7 EB 41 31"),
    ("utf-8", "请A1", "E8 AF B7 41 31"),
    ("gbk", b"\x81\x40Z", "81 40 5A"),
    ("latin-1", "é", "E9"),
]


@pytest.mark.parametrize("encoding,text,data", TEXTS)
def test_texts_are_encoded_or_passed_as_bytes(accepting, encoding, text, data):
    sign = vexa.Controller(ADDRESS, encoding=encoding)
    sign.send_collection_data(text, 1, 3, 2, 1)
    [received] = accepting.frames(1)
    length = len(data.split())
    assert received["raw"].endswith(f"01 00 33 21 {length:02X} {data} FF FF")


@pytest.mark.parametrize(
    "call,error,words",
    [
        (lambda c: c.send_collection_data("A\0B", 1, 3, 2, 1), ValueError, "NUL"),
        (lambda c: c.send_collection_data(12, 1, 3, 2, 1), TypeError, "str or bytes"),
        (lambda c: c.send_collection_data("€", 1, 3, 2, 1), UnicodeEncodeError, "latin-1"),
        (lambda c: c.play_show_page(2**31), OverflowError, "page_no=2147483648"),
        (lambda c: c.play_show_page(1.0), TypeError, "page_no: int expected"),
        (lambda c: c.send_line_up("A", 3, 1, 1, "no"), TypeError, "bracketed: bool"),
    ],
)
def test_arguments_c_cannot_take_are_refused_before_sending(accepting, call, error, words):
    with pytest.raises(error, match=words):
        call(vexa.Controller(ADDRESS, encoding="latin-1"))
    assert accepting.nothing_more()


def test_unknown_transport_and_encoding():
    with pytest.raises(ValueError, match="'serial' is not one of udp, tcp, login"):
        vexa.Controller(ADDRESS, "serial")
    with pytest.raises(LookupError):
        vexa.Controller(ADDRESS, encoding="no-such-encoding")


# (the emulator, its address, transport, the call and what it is called in
# messages, the exception, its result, words its reason holds). The reasons'
# wording is the library's; they name the controller, its status or the
# missing reply.
FAILURES = [
    ("refusing2", "127.0.0.61", "udp", lambda c: c.play_show_page(1), "play_show_page",
     vexa.ControllerRefused, 3, ["127.0.0.61", 'status "2"']),
    ("refusing3", "127.0.0.62", "tcp", lambda c: c.stop_play(), "stop_play",
     vexa.ControllerRefused, 4, ["127.0.0.62", 'status "3"']),
    ("silent", "127.0.0.63", "udp", lambda c: c.start_play(), "start_play",
     vexa.NoReply, 2, ["no reply"]),
    # No controller has logged in from this address.
    (None, "127.0.0.66", "login", lambda c: c.start_play(), "start_play",
     vexa.NoReply, 2, ["127.0.0.66"]),
]


@pytest.mark.parametrize("emulator,address,transport,call,name,error,result,words", FAILURES)
def test_each_result_becomes_its_exception_with_its_reason(
    request, emulator, address, transport, call, name, error, result, words
):
    sim = request.getfixturevalue(emulator) if emulator else None
    # An earlier refusal on this thread, whose reason must not be taken.
    with pytest.raises(vexa.NotAccepted):
        vexa.Controller("10.0.0.300").start_play()
    with vexa.settings(receive_time_out=100):
        with pytest.raises(error) as failed:
            call(vexa.Controller(address, transport))
    reason = failed.value.reason
    assert reason and reason == vexa.last_reason()
    for word in words:
        assert word in reason
    assert "10.0.0.300" not in reason
    assert failed.value.result == result
    assert failed.value.call == f"{name} to {address} over {transport}"
    assert str(failed.value) == f"{failed.value.call}: {reason}"
    if error is vexa.ControllerRefused:
        assert failed.value.status == result - 1
    if sim is not None:
        assert len(sim.frames(1)) == 1


@pytest.mark.parametrize(
    "call,reason",
    [
        (
            lambda: vexa.Controller("10.0.0.300").start_play(),
            'address "10.0.0.300" is not dotted IPv4',
        ),
        (
            lambda: vexa.Controller(ADDRESS).send_coordinate_text("x" * 3000, 0, 0, 1, 1, 0),
            "text of 3000 bytes does not fit one 3000-byte frame",
        ),
        (
            lambda: vexa.Controller(ADDRESS).send_line_up2("", 3, 1, 1, False, 4),
            "the text is empty: there is no page to show",
        ),
        (
            lambda: vexa.Controller(ADDRESS).send_mul_internal_text(
                "A", 192, 16, 1, 0, 0, 0, 0, 1, 1, 0, 1, True, 0, 2, 3
            ),
            "piece 2 of 3: no multi-part text of this thread is open",
        ),
    ],
)
def test_not_accepted_carries_the_reason(accepting, call, reason):
    with pytest.raises(vexa.NotAccepted) as refused:
        call()
    assert refused.value.reason == reason
    assert refused.value.result == 1
    assert vexa.last_reason() == reason
    assert accepting.nothing_more()
