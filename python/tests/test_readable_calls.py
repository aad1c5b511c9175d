"""Readable calls: each enum value held to the words SKYREL.h documents for it
and to the field the emulator decodes from the frame it chooses; each method
called with only the arguments it needs, its defaults decoded as the values
SKYREL.h tells to pass when unsure."""

from __future__ import annotations

import enum
import inspect
import re
from typing import Any, Callable

import pytest

import vexa
from vexa import enums

from conftest import ROOT, Sim, png

ADDRESS = "127.0.0.60"
C = vexa.Colour
M = vexa.ColourMode

# (member, words of SKYREL.h's documentation, the position of the member's
# value among the numbers in those words). Words with no number stand for
# "any other value": the member's value must then be none of the others'.
HEADER = [
    (vexa.NetworkMode.UDP, "any other value (1 by convention): UDP datagrams", 0),
    (vexa.NetworkMode.TCP, "- 2: a TCP connection to the controller's port 8900", 0),
    (vexa.NetworkMode.LOGIN, "- 3: the connection the controller opened to this library's "
                             "login server", 0),
    (C.RED, "only its low two bits count: 1 red,", 0),
    (C.GREEN, "1 red, 2 green, 3 yellow (red and green lit together)", 1),
    (C.YELLOW, "1 red, 2 green, 3 yellow (red and green lit together)", 2),
    (M.RED, "colour mode: 0 red, 1 red and green, 2 full colour", 0),
    (M.RED_GREEN, "colour mode: 0 red, 1 red and green, 2 full colour", 1),
    (M.FULL, "colour mode: 0 red, 1 red and green, 2 full colour", 2),
    (vexa.RelayAction.ON, r"\param action 1 on, 2 off;", 0),
    (vexa.RelayAction.OFF, r"\param action 1 on, 2 off;", 1),
    (vexa.LineKind.FIRST, "1 or 2 selects the first or second kind of line;", 0),
    (vexa.LineKind.SECOND, "1 or 2 selects the first or second kind of line;", 1),
    (vexa.LineKind.PLAIN, "second kind of line; any other value the plain kind", None),
    (vexa.SerialProtocol.RS485, "`serialProtocol`: 2 sends the RS-485 frame that carries "
                                "the bus address", 0),
    (vexa.SerialProtocol.NETWORK_FRAME, "any other value sends the network frame unchanged",
     None),
    (vexa.Level.ONE, "level: 2 or 3; any other value means level 1", 2),
    (vexa.Level.TWO, "level: 2 or 3; any other value means level 1", 0),
    (vexa.Level.THREE, "level: 2 or 3; any other value means level 1", 1),
    *[(member, r"\param materialType 1 internal text, 2 collected data, 3 date-time, "
               "4 image group, 5 line-up", n) for n, member in enumerate(vexa.MaterialType)],
    (vexa.MaterialCommand.INTERNAL_TEXT, "0x31 internal text or 0x65 collected data", 0),
    (vexa.MaterialCommand.COLLECTED_DATA, "0x31 internal text or 0x65 collected data", 1),
    (vexa.MultimediaCommand.PLACED, r"\param commandCode 0x78 (position and size in each "
                                    "frame) or 0x6C", 0),
    (vexa.MultimediaCommand.PLAIN, r"\param commandCode 0x78 (position and size in each "
                                   "frame) or 0x6C", 1),
    *[(member, r'\param soundNo 1, 2 or 3 adds "sound101 ", "sound201 " or "sound301 "', n)
      for n, member in enumerate(list(vexa.SoundPrefix)[1:])],
    (vexa.SoundPrefix.NONE, '"sound301 "; any other value adds none', None),
    (vexa.VoiceMark.M3, r'\param mTag 1 adds "[m3] ", 2 adds "[m51] "', 0),
    (vexa.VoiceMark.M51, r'\param mTag 1 adds "[m3] ", 2 adds "[m51] "', 1),
    (vexa.VoiceMark.NONE, '2 adds "[m51] "; any other value none', None),
    (vexa.ClockText.DATE, r'\param mode 0 for the date "YYYYMMDD"', 0),
    (vexa.ClockText.TIME, 'any other value for the time "hh:mm:ss"', None),
]


def numbers(words: str) -> list[int]:
    """The numbers standing alone in documentation words (not "m51" or "8900"'s
    digits inside a name)."""
    return [int(n, 0) for n in re.findall(r"(?<![\w\[-])(0x[0-9A-Fa-f]+|\d+)(?![\w\]-])", words)]


def test_every_enum_value_is_the_one_skyrel_h_documents():
    header = ROOT / "api" / "SKYREL.h"
    if not header.exists():
        pytest.skip("the library's sources are not beside the package")
    text = " ".join(line.strip().removeprefix("///").strip()
                    for line in header.read_text().splitlines())
    text = re.sub(r"\s+", " ", text)
    every = {m for _, cls in inspect.getmembers(enums, inspect.isclass)
             if issubclass(cls, enum.IntEnum) and cls is not enum.IntEnum for m in cls}
    assert {row[0] for row in HEADER} == every
    wrong = []
    for member, words, position in HEADER:
        if words not in text:
            wrong.append(f"{member!r}: SKYREL.h does not say {words!r}")
        elif position is None:
            others = {m.value for m in type(member) if m is not member}
            if member.value in others:
                wrong.append(f"{member!r} is not 'any other value'")
        elif numbers(words)[position] != member.value:
            wrong.append(f"{member!r} but {words!r}")
    assert wrong == []


@pytest.fixture(scope="module")
def picture(tmp_path_factory: pytest.TempPathFactory) -> str:
    path = tmp_path_factory.mktemp("picture") / "wb.png"
    path.write_bytes(png(1, 2, bytes([255, 255, 255, 0, 0, 0])))
    return str(path)


def all_material_types(picture: str) -> vexa.ShowPageSet:
    pages = vexa.ShowPageSet()
    pages.add_show_page(1, "00:00", "23:59")
    for n, kind in enumerate(vexa.MaterialType):
        pages.add_area(1, 0, 16 * n, 64, 16)
        pages.gen_material(1, "T", picture, kind, 10 + n, M.RED, data_index=7, line_up_index=8)
    return pages


Call = Callable[[vexa.Controller, str], Any]


def internal(**kw: Any) -> Call:
    return lambda c, p: c.send_internal_text("AB", 64, 16, 5, **kw)


# (the call on a controller, given the picture's path; the frames decoded:
# name and the fields that pin the enum's wire value).
WIRE: list[tuple[Call, list[tuple[str, dict[str, str]]]]] = [
    *[(lambda c, p, m=m: c.send_collection_data("A", 1, attr_high=m),
       [("CollectedData", {"attrHigh": v})]) for m, v in zip(C, "123")],
    *[(internal(display_mode=m), [("InternalText", {"displayMode": v})])
      for m, v in zip(M, "012")],
    *[(internal(display_mode=M.RED, level_code=m), [("InternalText", {"level": v})])
      for m, v in zip(vexa.Level, "123")],
    (lambda c, p: c.relay_switch(3, vexa.RelayAction.ON), [("Relay", {"relay3": "on"})]),
    (lambda c, p: c.relay_switch(3, vexa.RelayAction.OFF), [("Relay", {"relay3": "off"})]),
    *[(lambda c, p, m=m: c.send_line_up("A1", 1, m, 1, False), [("LineUp", {"lineKind": v})])
      for m, v in zip(vexa.LineKind, ["other", "1", "2"])],
    (lambda c, p: c.send_mul_material("AB", vexa.MaterialCommand.INTERNAL_TEXT, 5, 0, M.RED,
                                      64, 16), [("InternalText", {"materialId": "000000005"})]),
    (lambda c, p: c.send_mul_material("AB", vexa.MaterialCommand.COLLECTED_DATA, 5, 0, M.RED,
                                      64, 16), [("CollectedData", {"dataIndex": "5"})]),
    (lambda c, p: c.send_multimedia_buffer(p, vexa.MultimediaCommand.PLACED, 0, 0, 8, 2, M.RED),
     [("Multimedia", {"form": "0x78"})]),
    (lambda c, p: c.send_multimedia_buffer(p, vexa.MultimediaCommand.PLAIN, 0, 0, 8, 2, M.RED),
     [("Multimedia", {"form": "0x6c"})]),
    *[(lambda c, p, m=m: c.play_voice2("AB", sound_no=m), [("PlayVoice", {"soundTag": v})])
      for m, v in zip(vexa.SoundPrefix, [None, '"sound101 "', '"sound201 "', '"sound301 "'])],
    *[(lambda c, p, m=m: c.play_voice2("AB", m_tag=m), [("PlayVoice", {"mTag": v})])
      for m, v in zip(vexa.VoiceMark, [None, '"[m3] "', '"[m51] "'])],
    (lambda c, p: vexa.Controller(ADDRESS, vexa.NetworkMode.UDP).start_play(),
     [("StartPlay", {"channel": "udp"})]),
    (lambda c, p: vexa.Controller(ADDRESS, vexa.NetworkMode.TCP).start_play(),
     [("StartPlay", {"channel": "tcp"})]),
    # Material types 1 to 5 in the descriptor (an image group goes as "8",
    # collected data "6", a line-up "5", a date-time "1", a text "7"), then
    # each material in its own frame.
    (lambda c, p: c.send_template_data(all_material_types(p)),
     [("PageSet", {f"page1.m{n + 1}.type": f'"{t}"' for n, t in enumerate("76185")}),
      ("InternalText", {"content": "text"}),
      ("CollectedDataField", {"content": "collectedData", "dataIndex": "7"}),
      ("DateTime", {"content": "dateTime"}), ("ImageGroup", {}),
      ("LineUpField", {"content": "lineUp", "lineUpIndex": "8"})]),
]


def check(received: list[dict[str, Any]], frames: list[tuple[str, dict[str, str]]]) -> None:
    assert [f["name"] for f in received] == [name for name, _ in frames]
    for frame, (name, fields) in zip(received, frames):
        seen = {**frame["fields"], "channel": frame["channel"]}
        assert {k: seen.get(k) for k in fields} == fields, name
        assert frame["checks"] == "ok"


@pytest.mark.parametrize("call,frames", WIRE)
def test_each_enum_value_on_the_wire(accepting: Sim, picture: str, call: Call,
                                     frames: list[tuple[str, dict[str, str]]]) -> None:
    call(vexa.Controller(ADDRESS), picture)
    check(accepting.frames(len(frames)), frames)
    assert accepting.nothing_more(0.05)


def test_the_login_mode_and_the_clock_texts() -> None:
    with pytest.raises(vexa.NoReply) as no_login:
        vexa.Controller("127.0.0.66", vexa.NetworkMode.LOGIN).start_play()
    assert no_login.value.reason.startswith("no controller logged in from 127.0.0.66")
    assert [vexa.Controller("127.0.0.66", mode).transport for mode in (1, 2, 3)] == [
        "udp", "tcp", "login"]
    with pytest.raises(ValueError, match="network mode 4 is not 1"):
        vexa.Controller("127.0.0.66", 4)
    assert re.fullmatch(r"20\d{6}", vexa.current_date_to_string(vexa.ClockText.DATE))
    assert re.fullmatch(r"\d\d:\d\d:\d\d", vexa.current_date_to_string(vexa.ClockText.TIME))


# Each method with the arguments it cannot do without, by keyword; the
# fields hold the values SKYREL.h tells to pass when unsure.
TEXT_DEFAULTS = {"style1": "0", "style2": "0", "style3": "0", "textStyle": "0", "attrHigh": "1",
                 "attrLow": "0", "level": "1", "primary": "true", "extraByte": "0"}
DATE_TIME_DEFAULTS = {"dtField4High": "1", "dtField4Low": "1", "dtField5High": "1",
                      "dtField5Low": "1", "dtField6": "0", "dtField0": "1", "dtField1": "3",
                      "dtTopBit": "1", "dtField2": "0", "dtField3": "0", "style3": "0",
                      "extraByte": "0"}
IMAGE_DEFAULTS = {"style1": "0", "style2": "0", "style3": "0", "level": "1", "primary": "true",
                  "imageCount": "1"}
AREA = dict(area_width=64, area_height=16, material_id=5, display_mode=M.RED)
DEFAULTS: list[tuple[Call, list[tuple[str, dict[str, str]]]]] = [
    (lambda c, p: c.send_collection_data(text="AB", data_index=3),
     [("CollectedData", {"styleHigh": "0", "styleLow": "0", "attrHigh": "1", "attrLow": "0"})]),
    (lambda c, p: c.send_coordinate_text(text="AB", x=1, y=2),
     [("CoordinateText", {"textStyle": "0", "attrHigh": "1", "attrLow": "0"})]),
    (lambda c, p: c.send_internal_text(text="AB", **AREA), [("InternalText", TEXT_DEFAULTS)]),
    (lambda c, p: c.send_internal_text_custom(text="AB", **AREA),
     [("InternalText", {**TEXT_DEFAULTS, "extraByte": "0"})]),
    # One piece of one: sent at once, a frame of one block or record.
    (lambda c, p: c.send_mul_internal_text(text="AB", **AREA),
     [("InternalText", {"last": "true", **TEXT_DEFAULTS})]),
    (lambda c, p: c.send_mul_collection_data(text="AB", data_index=4),
     [("CollectedData", {"dataIndex": "4", "styleHigh": "0", "attrHigh": "1", "attrLow": "0"})]),
    (lambda c, p: c.send_mul_material(text="AB", command_code=vexa.MaterialCommand.INTERNAL_TEXT,
                                      spare_value=0, **AREA),
     [("InternalText", {"last": "true", **TEXT_DEFAULTS})]),
    (lambda c, p: c.send_date_time(material_id=5, display_mode=M.RED),
     [("DateTime", DATE_TIME_DEFAULTS)]),
    (lambda c, p: c.play_image_group(mode_select=0, group_no=4),
     [("PlayImageGroup", {"b": "4", "i": "true", "mode": "other", "c": "0", "d": "0",
                          "e": "0", "f": "0", "g": "0", "h": "0"})]),
    (lambda c, p: c.send_image_group(p, width=24, height=4, material_id=7, display_mode=M.RED),
     [("ImageGroup", IMAGE_DEFAULTS)]),
    (lambda c, p: c.send_image_group_buffer(p, width=24, height=4, material_id=7,
                                            display_mode=M.RED),
     [("ImageGroup", IMAGE_DEFAULTS)]),
    (lambda c, p: c.play_voice(text="AB"), [("PlayVoice", {"subCode": "0", "text": '"AB"'})]),
    (lambda c, p: c.play_voice2(text="AB"),
     [("PlayVoice", {"subCode": "0", "spokenText": '"AB"', "vTag": None, "soundTag": None,
                     "mTag": None})]),
    (lambda c, p: c.send_multimedia(p, form78=False, horizontal=0, vertical=0, width=8,
                                    height=2, colour_mode=M.RED),
     [("Multimedia", {"form": "0x6c", "flag": "0", "value": "0"})]),
    (lambda c, p: c.send_multimedia_buffer(p, command_code=vexa.MultimediaCommand.PLAIN,
                                           horizontal=0, vertical=0, width=8, height=2,
                                           colour_mode=M.RED),
     [("Multimedia", {"form": "0x6c", "flag": "0", "value": "0"})]),
]


@pytest.mark.parametrize("call,frames", DEFAULTS)
def test_defaults_are_the_documented_values(accepting: Sim, picture: str, call: Call,
                                            frames: list[tuple[str, dict[str, str]]]) -> None:
    call(vexa.Controller(ADDRESS), picture)
    received = accepting.frames(len(frames))
    for frame in received:
        frame["fields"]["subCode"] = str(frame["subCode"])
    check(received, frames)
    assert accepting.nothing_more(0.05)


def test_show_page_builders_take_the_documented_values(accepting: Sim, picture: str) -> None:
    pages = vexa.ShowPageSet()
    pages.add_show_page(1, "00:00", "23:59")
    for n, add in enumerate([
        lambda: pages.add_template_internal_text(1, "T", material_id=11, display_mode=M.RED),
        lambda: pages.add_template_collect_data(1, "T", data_index=7, display_mode=M.RED),
        lambda: pages.add_template_date_time(1, material_id=12, display_mode=M.RED),
        lambda: pages.add_template_image_group(1, picture, material_id=13, display_mode=M.RED),
        lambda: pages.gen_material(1, "T", "", vexa.MaterialType.DATE_TIME, 14, M.RED),
    ]):
        pages.add_area(1, 0, 16 * n, 64, 16)
        add()
    vexa.Controller(ADDRESS).send_template_data(pages)
    received = accepting.frames(6)
    check(received, [
        ("PageSet", {}),
        ("InternalText", {k: TEXT_DEFAULTS[k] for k in ("style1", "style2", "style3",
                                                        "textStyle", "attrHigh", "attrLow")}),
        ("CollectedDataField", {"textStyle": "0", "attrHigh": "1", "attrLow": "0"}),
        ("DateTime", {k: v for k, v in DATE_TIME_DEFAULTS.items() if k != "extraByte"}),
        ("ImageGroup", {"style1": "0", "style2": "0", "style3": "0"}),
        # The builder of every type has no fifth date-time option to give.
        ("DateTime", {k: v for k, v in DATE_TIME_DEFAULTS.items()
                      if k not in ("extraByte", "dtField5High", "dtField5Low")}),
    ])


@pytest.fixture
def line(tmp_path: Any, monkeypatch: pytest.MonkeyPatch) -> Any:
    """An emulated serial line linked as COM5 in a scratch working directory."""
    monkeypatch.chdir(tmp_path)
    sim = Sim("--address", "127.0.0.68", "--no-udp", "--no-tcp", "--serial", "COM5",
              cwd=str(tmp_path), ready="serial line")
    with vexa.settings(receive_time_out=200):
        yield sim
    vexa.close_com()
    sim.stop()


def test_serial_protocols_colours_and_defaults_on_the_line(line: Sim) -> None:
    rs485 = vexa.SerialBus(5, serial_protocol=vexa.SerialProtocol.RS485, device_address="6")
    plain = vexa.SerialBus(5, serial_protocol=vexa.SerialProtocol.NETWORK_FRAME)
    rs485.play_show_page(1)
    plain.play_show_page(1)
    plain.set_params4_bar_screen()
    for colour in C:
        plain.send_content2_bar_screen("ABCD", screen_address=25, colour=colour, page_width=2)
    rs485.play_voice2("AB")
    received = line.frames(7)
    assert [(f["name"], f["kind"]) for f in received] == [
        ("PlayShowPage", "rs485"), ("PlayShowPage", "net"), ("BarParams", "bar")] + [
        ("BarContent", "bar")] * 3 + [("PlayVoice", "voice485")]
    fields = [f["fields"] for f in received]
    assert {k: fields[2][k] for k in ("byte13", "byte6", "byte7", "choice", "value", "flag")} == {
        "byte13": "0", "byte6": "0", "byte7": "0", "choice": "0", "value": "0", "flag": "false"}
    # Frame word 13 given as 0 is sent as 65535.
    assert [(f["page1.colour"], f["value"], f["page1.move1"], f["page1.move2"], f["flag"])
            for f in fields[3:6]] == [(v, "65535", "0", "0", "false") for v in "123"]
    assert (fields[6]["spokenText"], fields[6].get("mTag")) == ('"AB"', None)
