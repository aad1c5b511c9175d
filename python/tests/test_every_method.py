"""Every method of Controller and SerialBus, and of their asyncio twins
AsyncController and AsyncSerialBus, against the emulator: each row calls one
method and checks the fields the emulator decoded from what it received. In
the first call of a row every integer argument has a value of its own, so
that two arguments handed over in each other's place show as a wrong field
(a value the frame does not carry, such as the width of an image group,
cannot be checked)."""

from __future__ import annotations

import asyncio
import inspect
import os

import pytest

import vexa
from vexa.aio import AsyncController, AsyncSerialBus

from conftest import Sim, png

ADDRESS = "127.0.0.60"
PORT = 8
BUS = "01 02 03 04 05 06 07 09"  # the RS-485 address of the bus below
PICTURE = "<picture>"  # replaced by the path of a picture one pixel wide, white above black


def date_time_set() -> vexa.ShowPageSet:
    pages = vexa.ShowPageSet()
    pages.add_show_page(3, "08:15", "17:45")
    pages.add_area(3, 16, 4, 64, 16)
    pages.add_template_date_time(3, 5, 1, 2, 3, 4, 6, 7, 8, 9, 1, 10, 11, 12)
    return pages


# (method, the calls' arguments, the frames decoded: name and fields). The
# fields "kind" and "subCode" are the frame's own.
DATE_TIME = (
    (123456, 2, 3, 4, 5, 6, 7, 8, 9, 1, 10, 11, 12, 13),
    {"materialId": "000123456", "displayMode": "2", "dtField4High": "3", "dtField4Low": "4",
     "dtField5High": "5", "dtField5Low": "6", "dtField6": "7", "dtField0": "8", "dtField1": "9",
     "dtTopBit": "1", "dtField2": "10", "dtField3": "11", "style3": "12", "extraByte": "13"},
)
COLLECTED = (("AB", 14, 5, 2, 6), {"dataIndex": "14", "styleHigh": "5", "styleLow": "5",
                                   "attrHigh": "2", "attrLow": "6", "text": '"AB"'})
INTERNAL = (
    ("AB", 200, 17, 123457, 1, 3, 4, 5, 6, 9, 7, 2, False, 10),
    {"materialId": "000123457", "areaWidth8": "25", "areaHeight": "17", "displayMode": "1",
     "style1": "3", "style2": "4", "style3": "5", "textStyle": "6", "attrHigh": "9",
     "attrLow": "7", "level": "2", "primary": "false", "extraByte": "10", "text": '"AB"'},
)
# Two pieces; the display mode of collected data is not sent.
MUL_COLLECTED = (
    [("AB", 15, 0, 5, 9, 6, 1, 2), ("CD", 15, 0, 5, 9, 6, 2, 2)],
    {"records": "2", "record1.dataIndex": "15", "record1.styleHigh": "5",
     "record1.styleLow": "5", "record1.attrHigh": "9", "record1.attrLow": "6",
     "record1.text": '"AB"', "record2.dataIndex": "15", "record2.text": '"CD"'},
)
MUL_INTERNAL = (
    [("AB", 208, 18, 123458, 0, 4, 5, 6, 7, 9, 8, 3, True, 10, 1, 2),
     ("CD", 208, 18, 123458, 0, 4, 5, 6, 7, 9, 8, 3, True, 10, 2, 2)],
    {"blocks": "2", "block1.materialId": "000123458", "block1.areaWidth8": "26",
     "block1.areaHeight": "18", "block1.displayMode": "0", "block1.style1": "4",
     "block1.style2": "5", "block1.style3": "6", "block1.textStyle": "7",
     "block1.attrHigh": "9", "block1.attrLow": "8", "block1.level": "3",
     "block1.primary": "true", "block1.extraByte": "10", "block1.text": '"AB"',
     "block2.text": '"CD"', "block2.last": "true"},
)
LINE_UP = (("A12", 4, 2, 6, True), {"slotNo": "4", "lineKind": "2", "unitAddress": "6",
                                    "bracketed": "true", "text": '"A12"'})
# Two images of 24 x 4 pixels in colour mode 0: 12 bytes each.
IMAGE_GROUP = (
    [(PICTURE, 24, 4, 654321, 0, 5, 6, 7, 3, False, 1, 2),
     (PICTURE, 24, 4, 654321, 0, 5, 6, 7, 3, False, 2, 2)],
    {"materialId": "000654321", "style1": "5", "style2": "6", "style3": "7", "level": "3",
     "primary": "false", "displayMode": "0", "imageCount": "2", "bitmapLength": "24"},
)
PLAY_IMAGE_GROUP = (
    (1, 2, 3, 1000, 2000, 6, 7, 8, True, False),
    {"mode": "a=1", "modeBits": "05", "b": "2", "c": "3", "d": "1000", "e": "2000", "f": "6",
     "g": "7", "h": "8", "i": "true"},
)
# Two images of 32 x 6 pixels in colour mode 0: 24 bytes each.
IMAGE_GROUP_BUFFER = (
    [(PICTURE, 32, 6, 654322, 0, 7, 8, 9, 3, True, 1, 2),
     (PICTURE, 32, 6, 654322, 0, 7, 8, 9, 3, True, 2, 2)],
    {"materialId": "000654322", "style1": "7", "style2": "8", "style3": "9", "level": "3",
     "primary": "true", "displayMode": "0", "imageCount": "2", "bitmapLength": "48"},
)

CONTROLLER = [
    ("play_show_page", (7,), [("PlayShowPage", {"page": "7"})]),
    ("start_play", (), [("StartPlay", {})]),
    ("stop_play", (), [("StopPlay", {})]),
    ("relay_switch", (3, 2), [("Relay", {"relay3": "off", "relay2": "no change"})]),
    ("relay_delay", (5, 9), [("Relay", {"relay5": "pulse 9"})]),
    ("set_bright", (11, 12), [("SetBright", {"value1": "11", "value2": "12"})]),
    ("time_check", (), [("TimeCheck", {"form": "text"})]),
    ("send_date_time", DATE_TIME[0], [("DateTime", DATE_TIME[1])]),
    ("send_collection_data", COLLECTED[0], [("CollectedData", COLLECTED[1])]),
    ("send_internal_text", INTERNAL[0], [("InternalText", INTERNAL[1])]),
    ("send_mul_collection_data", MUL_COLLECTED[0], [("CollectedData", MUL_COLLECTED[1])]),
    ("send_mul_internal_text", MUL_INTERNAL[0], [("InternalText", MUL_INTERNAL[1])]),
    ("send_line_up", LINE_UP[0], [("LineUp", LINE_UP[1])]),
    ("send_image_group", IMAGE_GROUP[0], [("ImageGroup", IMAGE_GROUP[1])]),
    ("play_image_group", PLAY_IMAGE_GROUP[0], [("PlayImageGroup", PLAY_IMAGE_GROUP[1])]),
    ("send_mul_material",
     [("AB", 0x31, 123459, 99, 0, 216, 19, 13, 4, 5, 6, 11, 7, 3, False, 12, 1, 2),
      ("CD", 0x31, 123459, 99, 0, 216, 19, 13, 4, 5, 6, 11, 7, 3, False, 12, 2, 2)],
     [("InternalText", {"blocks": "2", "block1.materialId": "000123459",
                        "block1.areaWidth8": "27", "block1.areaHeight": "19",
                        "block1.displayMode": "0", "block1.style1": "13", "block1.style2": "4",
                        "block1.style3": "5", "block1.textStyle": "6", "block1.attrHigh": "11",
                        "block1.attrLow": "7", "block1.level": "3", "block1.primary": "false",
                        "block1.extraByte": "12", "block2.text": '"CD"'})]),
    ("send_image_group_buffer", IMAGE_GROUP_BUFFER[0], [("ImageGroup", IMAGE_GROUP_BUFFER[1])]),
    ("send_coordinate_text", ("AB", 20, 21, 5, 2, 6),
     [("CoordinateText", {"x": "20", "y": "21", "textStyle": "5", "attrHigh": "2",
                          "attrLow": "6", "text": '"AB"'})]),
    ("send_internal_text_custom", ("AB", 224, 22, 123460, 2, 13, 4, 5, 6, 9, 7, 3, 1),
     [("InternalText", {"materialId": "000123460", "areaWidth8": "28", "areaHeight": "22",
                        "displayMode": "2", "style1": "13", "style2": "4", "style3": "5",
                        "textStyle": "6", "attrHigh": "9", "attrLow": "7", "level": "3",
                        "primary": "true", "extraByte": "0"})]),
    ("play_voice", ("AB", 8), [("PlayVoice", {"subCode": "8", "text": '"AB"'})]),
    ("play_voice2", ("AB", 9, 5, 2, 1),
     [("PlayVoice", {"subCode": "9", "vTag": '"[v5]"', "soundTag": '"sound201 "',
                     "mTag": '"[m3] "', "text": '"AB"'})]),
    ("send_line_up_content", ("A12", 5, 1, 7, False),
     [("LineUp", {"slotNo": "5", "lineKind": "1", "unitAddress": "7", "bracketed": "false"})]),
    # Pages of three two-byte characters: the last page of "AABBCCDD" is "DD".
    ("send_line_up2", ("AABBCCDD", 6, 2, 8, False, 3),
     [("LineUp", {"slotNo": "6", "lineKind": "2", "unitAddress": "8", "text": '"DD"'})]),
    # Form 0x78 carries the place and size (x and width in units of 8), not
    # the bytes 17 and 18; 8 x 2 pixels in colour mode 1 are 4 bytes.
    ("send_multimedia", (PICTURE, True, 40, 24, 8, 2, 1, 3, 4),
     [("Multimedia", {"form": "0x78", "horizontal8": "5", "vertical": "24", "width8": "1",
                      "height": "2", "dataLength": "4"})]),
    # Form 0x6C carries the bytes 17 (1 for any flag) and 18, not the place;
    # 16 x 3 pixels in colour mode 2 are 18 bytes.
    ("send_multimedia_buffer", (PICTURE, 0x6C, 48, 32, 16, 3, 2, 5, 6),
     [("Multimedia", {"form": "0x6c", "flag": "1", "value": "6", "dataLength": "18"})]),
    ("send_template_data", (date_time_set(),),
     [("PageSet", {"pages": "1", "page1.start": '"08:15"', "page1.end": '"17:45"',
                   "page1.m1.id": '"000000005"', "page1.m1.x8": '"002"', "page1.m1.y": '"004"',
                   "page1.m1.w8": '"008"', "page1.m1.h": '"016"'}),
      ("DateTime", {"materialId": "000000005", "displayMode": "1", "dtField4High": "2",
                    "dtField4Low": "3", "dtField5High": "4", "dtField5Low": "6",
                    "dtField6": "7", "dtField0": "8", "dtField1": "9", "dtTopBit": "1",
                    "dtField2": "10", "dtField3": "11", "style3": "12"})]),
]

# The buses of the serial rows: "rs485" sends the bus frame to BUS, "voice"
# the bus voice frame to address 6, "net" the network frame on the line.
SERIAL = [
    ("play_show_page", "rs485", (7,), [("PlayShowPage", {"address": BUS, "page": "7"})]),
    ("start_play", "net", (), [("StartPlay", {"kind": "net"})]),
    ("stop_play", "net", (), [("StopPlay", {"kind": "net"})]),
    ("relay_switch", "rs485", (3, 2), [("Relay", {"address": BUS, "relay3": "off"})]),
    ("relay_delay", "rs485", (5, 9), [("Relay", {"address": BUS, "relay5": "pulse 9"})]),
    ("set_bright", "net", (11, 12), [("SetBright", {"value1": "11", "value2": "12"})]),
    ("time_check", "rs485", (), [("TimeCheck", {"kind": "rs485", "address": BUS})]),
    ("send_date_time", "net", DATE_TIME[0], [("DateTime", DATE_TIME[1])]),
    ("send_collection_data", "rs485", COLLECTED[0],
     [("CollectedData", {"address": BUS, **COLLECTED[1]})]),
    ("send_internal_text", "rs485", INTERNAL[0],
     [("InternalText", {"address": BUS, **INTERNAL[1]})]),
    # The multi-part sender puts the network frame on the line.
    ("send_mul_collection_data", "rs485", MUL_COLLECTED[0],
     [("CollectedData", {"kind": "net", **MUL_COLLECTED[1]})]),
    ("send_mul_internal_text", "rs485", MUL_INTERNAL[0],
     [("InternalText", {"kind": "net", **MUL_INTERNAL[1]})]),
    ("send_line_up", "net", LINE_UP[0], [("LineUp", LINE_UP[1])]),
    ("send_image_group", "net", IMAGE_GROUP[0], [("ImageGroup", IMAGE_GROUP[1])]),
    ("play_image_group", "rs485", PLAY_IMAGE_GROUP[0],
     [("PlayImageGroup", {"address": BUS, **PLAY_IMAGE_GROUP[1]})]),
    # Collected data (0x65): the material number is the data field.
    ("send_mul_material", "rs485",
     [("AB", 0x65, 16, 99, 0, 216, 19, 13, 4, 5, 6, 11, 7, 3, False, 12, 1, 2),
      ("CD", 0x65, 16, 99, 0, 216, 19, 13, 4, 5, 6, 11, 7, 3, False, 12, 2, 2)],
     [("CollectedData", {"kind": "net", "records": "2", "record1.dataIndex": "16",
                         "record1.styleHigh": "6", "record1.attrHigh": "11",
                         "record1.attrLow": "7", "record2.text": '"CD"'})]),
    ("send_image_group_buffer", "net", IMAGE_GROUP_BUFFER[0],
     [("ImageGroup", IMAGE_GROUP_BUFFER[1])]),
    ("play_voice", "voice", ("AB",), [("PlayVoice", {"kind": "voice485", "address": "6",
                                                     "text": '"AB"'})]),
    ("play_voice2", "voice", ("AB", 5, 2, 1),
     [("PlayVoice", {"kind": "voice485", "address": "6", "vTag": '"[v5]"',
                     "soundTag": '"sound201 "', "mTag": '"[m3] "', "text": '"AB"'})]),
    ("set_params4_bar_screen", "net", (21, 22, 23, 1, 5, True),
     [("BarParams", {"kind": "bar", "byte13": "21", "byte6": "22", "byte7": "23",
                     "choice": "1", "value": "5", "flag": "true"})]),
    # Move styles 1 and 4 go out as the screen's codes 2 and 3.
    ("send_content2_bar_screen", "net", ("ABCD", 25, 3, 2, 91, 92, 26, 1, 4, 27, 28, 29, 30, False),
     [("BarContent", {"kind": "bar", "address": "25", "pageWidth": "2", "value": "26",
                      "pages": "1", "page1.move1": "2", "page1.move2": "3", "page1.byte3": "27",
                      "page1.byte5": "28", "page1.byte7": "29", "page1.byte8": "30",
                      "page1.colour": "3", "flag": "false", "text": '"ABCD"'})]),
    ("close", "net", (), []),
]


def calls_of(arguments):
    return arguments if isinstance(arguments, list) else [arguments]


def public_methods(cls) -> set[str]:
    return {name for name, _ in inspect.getmembers(cls, inspect.isfunction)
            if not name.startswith("_")}


def test_the_tables_hold_every_method_with_distinct_numbers():
    for table, cls in ((CONTROLLER, vexa.Controller), (SERIAL, vexa.SerialBus)):
        methods = [row[0] for row in table]
        assert len(set(methods)) == len(methods)
        assert set(methods) == public_methods(cls)
    # The asyncio twins: the same methods with the same parameters and
    # defaults, as coroutines.
    for cls, twin in ((vexa.Controller, AsyncController), (vexa.SerialBus, AsyncSerialBus)):
        assert public_methods(twin) == public_methods(cls)
        for name in public_methods(cls):
            assert inspect.iscoroutinefunction(getattr(twin, name)), name
            assert inspect.signature(getattr(twin, name)) == inspect.signature(
                getattr(cls, name)), name
    for row in CONTROLLER + SERIAL:
        first = calls_of(row[-2])[0]
        numbers = [a for a in first if isinstance(a, int) and not isinstance(a, bool)]
        assert len(set(numbers)) == len(numbers), row[0]


@pytest.fixture(scope="module")
def picture(tmp_path_factory):
    path = tmp_path_factory.mktemp("picture") / "wb.png"
    path.write_bytes(png(1, 2, bytes([255, 255, 255, 0, 0, 0])))
    return str(path)


def run(obj, method, arguments, picture):
    """Calls the method with each set of arguments in turn, awaiting each
    call of an asyncio twin on an event loop of its own."""
    async def calls():
        for args in calls_of(arguments):
            await getattr(obj, method)(*(picture if a == PICTURE else a for a in args))

    if isinstance(obj, (AsyncController, AsyncSerialBus)):
        asyncio.run(calls())
        return
    for args in calls_of(arguments):
        getattr(obj, method)(*(picture if a == PICTURE else a for a in args))


def check(received, frames):
    assert [f["name"] for f in received] == [name for name, _ in frames]
    for frame, (name, fields) in zip(received, frames):
        seen = {**frame["fields"], "kind": frame["kind"], "subCode": str(frame["subCode"])}
        assert {k: seen.get(k) for k in fields} == fields, name
        assert frame["checks"] == "ok"


@pytest.mark.parametrize("cls", [vexa.Controller, AsyncController])
@pytest.mark.parametrize("method,arguments,frames", CONTROLLER, ids=[r[0] for r in CONTROLLER])
def test_controller_method_on_the_wire(accepting, picture, cls, method, arguments, frames):
    run(cls(ADDRESS), method, arguments, picture)
    check(accepting.frames(len(frames)), frames)
    assert accepting.nothing_more(0.05)


@pytest.fixture(scope="module")
def serial_line(tmp_path_factory):
    """An emulator serving a serial line linked as COM8 in a scratch working
    directory, where the library opens its port 8."""
    where = tmp_path_factory.mktemp("serial")
    here = os.getcwd()
    os.chdir(where)
    vexa.close_com()
    sim = Sim("--address", "127.0.0.67", "--no-udp", "--no-tcp", "--serial", f"COM{PORT}",
              cwd=str(where), ready="serial line")
    try:
        yield sim
    finally:
        vexa.close_com()
        sim.stop()
        os.chdir(here)


BUSES = {
    "rs485": dict(serial_protocol=2, device_address="1_2_3_4_5_6_7_9"),
    "voice": dict(serial_protocol=2, device_address="6"),
    "net": dict(serial_protocol=1, device_address="5"),
}


@pytest.mark.parametrize("cls", [vexa.SerialBus, AsyncSerialBus])
@pytest.mark.parametrize("method,bus,arguments,frames", SERIAL, ids=[r[0] for r in SERIAL])
def test_serial_bus_method_on_the_line(serial_line, picture, cls, method, bus, arguments, frames):
    serial_line.drain()
    # Each serial send pauses half the reply wait after its frame.
    with vexa.settings(receive_time_out=200):
        run(cls(port_number=PORT, **BUSES[bus]), method, arguments, picture)
    check(serial_line.frames(len(frames)), frames)
    assert serial_line.nothing_more(0.05)
