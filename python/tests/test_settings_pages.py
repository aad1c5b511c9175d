"""Settings for good or for a block, and show-page sets built and uploaded."""

from __future__ import annotations

import threading

import pytest

import vexa

from conftest import hx

ADDRESS = "127.0.0.60"


def test_settings_for_a_block_then_back(silent):
    before = vexa.current_settings()
    with vexa.settings(re_send_times=2, receive_time_out=50) as change:
        assert change.previous == before
        assert change.current == before._replace(re_send_times=2, receive_time_out=50)
        with pytest.raises(vexa.NoReply):
            vexa.Controller("127.0.0.63").start_play()
        attempts = silent.frames(3)  # the first attempt and two repeats
    assert vexa.current_settings() == before
    assert [f["name"] for f in attempts] == ["StartPlay"] * 3
    assert silent.nothing_more()


def test_settings_as_the_library_holds_them():
    before = vexa.current_settings()
    try:
        change = vexa.settings(send_time_out=3, receive_time_out=250, re_send_times=-4)
        # Time-outs below 10 ms count as 10; negative repeats as none.
        assert change.current == before._replace(
            send_time_out=10, receive_time_out=250, re_send_times=0
        )
        assert vexa.current_settings() == change.current
    finally:
        vexa.settings(
            send_time_out=before.send_time_out,
            receive_time_out=before.receive_time_out,
            re_send_times=before.re_send_times,
        )
    assert vexa.current_settings() == before


def demo_set(page_no: int) -> vexa.ShowPageSet:
    pages = vexa.ShowPageSet()
    pages.add_show_page(page_no, "00:00", "23:59")
    pages.add_area(page_no, 0, 0, 192, 16)
    pages.add_template_date_time(page_no, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0)
    return pages


# The descriptor after its nine-digit random set number, for one page at 0,0
# of 192 x 16 pixels holding date-time material 2: the window, the material
# number, its type 1, x/8, y, width/8 and height, and the page's tail.
def descriptor(page_window: str = "00:00-23:59") -> str:
    return hx(f",{page_window}." + "000000002" + "1" + "000" "000" "024" "016"
              + "1000000000#01#10;")


# The date-time material: its block head (material 2, ",", style and level
# bytes), then the content 01 03 80 80 11 11 00 (fields 0 and 1, fields 2 and
# 3 with the top bit, the two nibble pairs, field 6) and the block's tail.
DATE_TIME_FRAME = (
    "FE 5C 4B 89 56 00 00 00 31 00 00 00 00 43 00 00 00 "
    "30 30 30 30 30 30 30 30 32 2C 00 00 00 30 31 30 31 30 31 39 39 31 32 33 31 "
    "0E 00 00 00 55 AA 00 00 31 32 31 31 31 31 01 00 00 00 11 00 00 00 "
    "01 03 80 80 11 11 00 FF 00 01 00 01 00 01 00 00 00 2D 31 2C FF FF"
)


def test_show_page_set_upload(accepting):
    pages = demo_set(2)
    assert pages.check_show_page() is True
    vexa.Controller(ADDRESS).send_template_data(pages)
    page_set, material = accepting.frames(2)
    assert page_set["name"] == "PageSet"
    assert page_set["raw"].startswith("FE 5C 4B 89 50 00 00 00 22 00 00 00 00 3D 00 00 00 ")
    assert page_set["raw"].endswith(descriptor() + " FF FF")
    assert material["raw"] == DATE_TIME_FRAME
    # The set stays with its object: uploading it again sends it again.
    pages.upload(vexa.Controller(ADDRESS, "tcp"))
    assert [f["name"] for f in accepting.frames(2)] == ["PageSet", "DateTime"]


def test_refused_builder_names_itself_and_leaves_nothing_behind(accepting):
    broken = vexa.ShowPageSet()
    broken.add_show_page(4, "08:00", "18:00")
    broken.add_template_internal_text(4, "Hi", 7, 0, 0, 0, 0, 1, 1, 0)
    assert len(broken) == 2
    with pytest.raises(vexa.NotAccepted) as refused:
        broken.upload(vexa.Controller(ADDRESS))
    assert str(refused.value) == "add_template_internal_text: page 4 has no area for the material"
    incomplete = vexa.ShowPageSet()
    incomplete.add_show_page(5, "08:00", "18:00")
    assert incomplete.check_show_page() is False
    with pytest.raises(vexa.NotAccepted, match="the page set is not complete"):
        incomplete.upload(vexa.Controller(ADDRESS))
    assert accepting.nothing_more()
    # Neither refused set is left in the library's model.
    demo_set(2).upload(vexa.Controller(ADDRESS))
    page_set, _ = accepting.frames(2)
    assert page_set["fields"]["pages"] == "1"


def test_sets_uploaded_from_two_threads_never_mix(accepting):
    sets = {"08:00-12:00": vexa.ShowPageSet(), "13:00-17:00": vexa.ShowPageSet()}
    for window, pages in sets.items():
        start, end = window.split("-")
        pages.add_show_page(2, start, end)
        pages.add_area(2, 0, 0, 192, 16)
        pages.add_template_date_time(2, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0)
    errors: list[BaseException] = []

    def upload(pages: vexa.ShowPageSet) -> None:
        try:
            for _ in range(3):
                pages.upload(vexa.Controller(ADDRESS))
        except BaseException as error:  # reported below
            errors.append(error)

    threads = [threading.Thread(target=upload, args=(p,)) for p in sets.values()]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []
    frames = accepting.frames(12)
    # Each descriptor is followed by its own material, and holds one page.
    for page_set, material in zip(frames[0::2], frames[1::2]):
        assert page_set["fields"]["pages"] == "1"
        window = page_set["fields"]["page1.start"].strip('"') + "-"
        window += page_set["fields"]["page1.end"].strip('"')
        assert page_set["raw"].endswith(descriptor(window) + " FF FF")
        assert material["raw"] == DATE_TIME_FRAME
