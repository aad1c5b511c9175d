"""Sets of show pages: pages with daily time windows, areas on them and the
materials shown in each area, built in Python and uploaded in one call.

The library keeps one show-page model for the whole process. A
:class:`ShowPageSet` records its pages and materials itself and hands them to
the library only inside :meth:`ShowPageSet.upload` (and
:meth:`ShowPageSet.check_show_page`), which empty the library's model
first, rebuild it from the set and empty it again afterwards, all under one
lock of the package. So sets built on several threads never mix, and a set
that failed to upload can simply be uploaded again.

Example::

    pages = vexa.ShowPageSet()
    pages.add_show_page(2, "00:00", "23:59")
    pages.add_area(2, 0, 0, 192, 16)
    pages.add_template_date_time(2, material_id=2, display_mode=vexa.ColourMode.RED)
    pages.upload(vexa.Controller("192.0.2.10"))

The builder methods check their arguments at once, as the commands do: a
value of the wrong type raises ``TypeError``, an integer outside the C
parameter's type ``OverflowError``, a bool other than ``True``/``False``/1/0
or a text with a NUL byte ``ValueError``, and nothing is recorded. Whether
the page exists and has an area is judged by the library when the set is
rebuilt, and a refusal raises :class:`~vexa.errors.NotAccepted` naming the
method.
"""

from __future__ import annotations

import codecs
import os
import threading
from typing import Any, Iterable, Union

from . import _library
from ._library import PathText, Text
from .commands import Controller
from .enums import Colour, ColourArg, ColourModeArg, LevelArg, MaterialType
from .errors import NotAccepted

# Held while the library's model holds one set: rebuilt, checked or uploaded.
_model_lock = threading.Lock()


class ShowPageSet:
    """A set of show pages to upload to a controller.

    Args:
        encoding: how ``str`` texts become bytes (default GBK).

    A set may be filled and uploaded from several threads; each call is
    atomic.
    """

    def __init__(self, *, encoding: str = "gbk") -> None:
        codecs.lookup(encoding)  # an unknown encoding fails here, not at the first text
        self.encoding = encoding
        self._calls: list[tuple[str, str, tuple[Any, ...]]] = []
        self._lock = threading.Lock()

    def __len__(self) -> int:
        """The number of builder calls recorded."""
        with self._lock:
            return len(self._calls)

    def _record(self, method: str, function: str, *args: Any) -> None:
        prepared = _library.prepare(function, args)
        with self._lock:
            self._calls.append((method, function, prepared))

    def _text(self, text: Text) -> bytes:
        return _library.text_bytes(text, self.encoding)

    def clear(self) -> None:
        """Forgets every page of the set."""
        with self._lock:
            self._calls.clear()

    # -- builders ------------------------------------------------------------
    def add_show_page(
        self, page_no: int, start_time: str, end_time: str, page_extra: int = 0
    ) -> None:
        """Adds show page ``page_no``, shown daily from ``start_time`` to
        ``end_time`` ("hh:mm"); adding it again gives it the new window and no
        areas."""
        self._record(
            "add_show_page", "vexa_add_show_page", page_no,
            _library.ascii_bytes(start_time, "start_time"),
            _library.ascii_bytes(end_time, "end_time"), page_extra,
        )

    def add_area(self, page_no: int, x: int, y: int, area_width: int, area_height: int) -> None:
        """Adds an area to page ``page_no``; the page's last area must hold a
        material before another is added."""
        self._record("add_area", "vexa_add_area", page_no, x, y, area_width, area_height)

    def add_template_internal_text(
        self,
        page_no: int,
        text: Text,
        material_id: int,
        display_mode: ColourModeArg,
        style1: int = 0,
        style2: int = 0,
        style3: int = 0,
        text_style: int = 0,
        attr_high: ColourArg = Colour.RED,
        attr_low: int = 0,
    ) -> None:
        """Adds an internal text to the last area of page ``page_no`` (the
        arguments of :meth:`vexa.Controller.send_internal_text`)."""
        self._record(
            "add_template_internal_text", "vexa_add_template_internal_text", page_no,
            self._text(text), material_id, display_mode, style1, style2, style3, text_style,
            attr_high, attr_low, False,
        )

    def add_template_collect_data(
        self,
        page_no: int,
        text: Text,
        data_index: int,
        display_mode: ColourModeArg,
        text_style: int = 0,
        attr_high: ColourArg = Colour.RED,
        attr_low: int = 0,
    ) -> None:
        """Adds collected-data field ``data_index`` to the last area of page
        ``page_no``; the library draws a material number no other material of
        the set has."""
        self._record(
            "add_template_collect_data", "vexa_add_template_collect_data", page_no,
            self._text(text), data_index, display_mode, text_style, attr_high, attr_low,
        )

    def add_template_date_time(
        self,
        page_no: int,
        material_id: int,
        display_mode: ColourModeArg,
        dt_field4_high: int = 1,
        dt_field4_low: int = 1,
        dt_field5_high: int = 1,
        dt_field5_low: int = 1,
        dt_field6: int = 0,
        dt_field0: int = 1,
        dt_field1: int = 3,
        dt_top_bit: int = 1,
        dt_field2: int = 0,
        dt_field3: int = 0,
        style3: int = 0,
    ) -> None:
        """Adds a running date-time display to the last area of page
        ``page_no`` (the options of :meth:`vexa.Controller.send_date_time`)."""
        self._record(
            "add_template_date_time", "vexa_add_template_date_time", page_no, material_id,
            display_mode, dt_field4_high, dt_field4_low, dt_field5_high, dt_field5_low,
            dt_field6, dt_field0, dt_field1, dt_top_bit, dt_field2, dt_field3, style3, False,
        )

    def add_template_image_group(
        self,
        page_no: int,
        file_list: Union[PathText, Iterable[PathText]],
        material_id: int,
        display_mode: ColourModeArg,
        style1: int = 0,
        style2: int = 0,
        style3: int = 0,
    ) -> None:
        """Adds an image group to the last area of page ``page_no``; the upload
        sends the last of ``file_list`` (one name, a comma-separated list, or a
        sequence of names), scaled to the area."""
        self._record(
            "add_template_image_group", "vexa_add_template_image_group", page_no,
            _files(file_list), material_id, display_mode, style1, style2, style3,
        )

    def add_template_line_up(
        self,
        page_no: int,
        text: Text,
        style3: int,
        text_style: int,
        attr_high: ColourArg,
        attr_low: int,
        line_up_index: int,
        line_up_flag: bool = False,
    ) -> None:
        """Adds a queue line-up field to the last area of page ``page_no``; the
        library draws a material number no other material of the set has.
        ``text`` and ``line_up_flag`` are kept with the material, not sent."""
        self._record(
            "add_template_line_up", "vexa_add_template_line_up", page_no, self._text(text),
            style3, text_style, attr_high, attr_low, line_up_index, line_up_flag,
        )

    def gen_material(
        self,
        page_no: int,
        text: Text,
        file_list: Union[PathText, Iterable[PathText]],
        material_type: Union[MaterialType, int],
        material_id: int,
        display_mode: ColourModeArg,
        style1: int = 0,
        style2: int = 0,
        style3: int = 0,
        text_style: int = 0,
        attr_high: ColourArg = Colour.RED,
        attr_low: int = 0,
        level_selector: LevelArg = 1,
        dt_field1: int = 3,
        dt_field4_high: int = 1,
        dt_field4_low: int = 1,
        dt_field6: int = 0,
        dt_field0: int = 1,
        dt_top_bit: int = 1,
        dt_field2: int = 0,
        dt_field3: int = 0,
        data_index: int = 0,
        line_up_index: int = 0,
        primary_flag: bool = True,
        line_up_flag: bool = False,
    ) -> None:
        """Adds a material of any type, a :class:`~vexa.MaterialType` (1
        internal text, 2 collected data, 3 date-time, 4 image group, 5
        line-up), to the last area of page ``page_no``; the builder behind the
        ``add_template_...`` methods. A type ignores the arguments it does not
        use (``data_index`` is read for collected data only, ``line_up_index``
        for line-ups only)."""
        self._record(
            "gen_material", "vexa_gen_material", page_no, self._text(text), _files(file_list),
            material_type, material_id, display_mode, style1, style2, style3, text_style,
            attr_high, attr_low, level_selector, dt_field1, dt_field4_high, dt_field4_low,
            dt_field6, dt_field0, dt_top_bit, dt_field2, dt_field3, data_index, line_up_index,
            primary_flag, line_up_flag,
        )

    # -- the library's model -------------------------------------------------
    def _rebuild(self) -> None:
        """With the model lock held: the library's model holds this set only."""
        with self._lock:
            calls = list(self._calls)
        _library.call("vexa_clear_show_pages")
        for method, function, args in calls:
            if _library.call_prepared(function, args) != 0:
                reason = _library.last_reason()
                _library.call("vexa_clear_show_pages")
                raise NotAccepted(reason, method)

    def check_show_page(self) -> bool:
        """``True`` when the set can be uploaded: it has pages, every page has
        areas, every area materials, and no internal text is empty.

        Raises:
            NotAccepted: when the library refuses one of the builder calls.
        """
        with _model_lock:
            self._rebuild()
            try:
                return bool(_library.call("vexa_check_show_page"))
            finally:
                _library.call("vexa_clear_show_pages")

    def upload(self, controller: Controller) -> None:
        """Uploads the set to a controller: the page-set descriptor, then each
        material in page, area and material order.

        Raises:
            TypeError: when ``controller`` is not a :class:`~vexa.Controller`
                (page sets go over the network only).
            NotAccepted: when a builder call or the upload is refused (an
                incomplete set, an unreadable image file...);
            NoReply, ControllerRefused: when the controller does not accept.
        """
        if not isinstance(controller, Controller):
            raise TypeError(
                f"upload: a vexa.Controller expected, got {type(controller).__name__}"
            )
        with _model_lock:
            self._rebuild()
            try:
                result = _library.call("vexa_send_template_data_net", *controller._where())
                _library.check_result(result, f"upload {controller._describe()}")
            finally:
                _library.call("vexa_clear_show_pages")


def _files(file_list: Union[PathText, Iterable[PathText]]) -> bytes:
    """Names joined by commas, as the library splits them."""
    if isinstance(file_list, (str, bytes, os.PathLike)):
        return _library.path_bytes(file_list, "file_list")
    return b",".join(_library.path_bytes(f, "file_list") for f in file_list)
