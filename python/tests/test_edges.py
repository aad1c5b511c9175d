"""The edges of the arguments: every integer that crosses into C is checked
against its C type, bool parameters take bools, and objects of the wrong
kind are refused by type, all before anything is sent."""

from __future__ import annotations

import enum
import inspect
import typing
from typing import Any, Iterable, Optional, Sequence, Union

import pytest

import vexa
from vexa import _library
from vexa._library import PathText, Text
from vexa._signatures import SIGNATURES

ADDRESS = "127.0.0.60"

# A value each other parameter type may take, so that only the value under
# test can be refused.
FILLERS = {bool: False, int: 1, Text: "A", PathText: "missing.png", str: "08:00",
           Union[PathText, Iterable[PathText]]: "missing.png", Union[int, str, Sequence[int]]: "5"}
# The one Python parameter that reaches a C short (checked below).
SHORTS = {("Controller.send_multimedia_buffer", "command_code")}


def numeric(hint: Any) -> Any:
    """A hint of a choice, an IntEnum or a plain int (``Union[Colour, int]``),
    as int: the C parameter behind it is an int all the same."""
    args = typing.get_args(hint)
    if typing.get_origin(hint) is Union and int in args and all(
            a is int or (inspect.isclass(a) and issubclass(a, enum.IntEnum)) for a in args):
        return int
    return hint


def parameters(function):
    plain = function.__init__ if inspect.isclass(function) else function
    hints = typing.get_type_hints(getattr(plain, "__func__", plain),
                                  localns={"ShowPageSet": vexa.ShowPageSet})
    return [(p, numeric(hints[p.name]))
            for p in inspect.signature(function).parameters.values()]


def targets():
    """Every public function and method of the package that takes a number:
    the commands bound to the accepting emulator or to the serial port 7 of a
    scratch directory, where no COM7 is."""
    found = [(n, getattr(vexa, n)) for n in vexa.__all__ if inspect.isfunction(getattr(vexa, n))]
    found.append(("SerialBus", vexa.SerialBus))
    for obj in (vexa.Controller(ADDRESS), vexa.SerialBus(port_number=7), vexa.ShowPageSet()):
        found += [(f"{type(obj).__name__}.{name}", method)
                  for name, method in inspect.getmembers(obj, inspect.ismethod)
                  if not name.startswith("_")]
    return [(label, f) for label, f in found
            if any(h in (int, Optional[int], bool) for _, h in parameters(f))]


TARGETS = targets()


def test_the_table_reaches_every_kind_of_caller():
    labels = {label for label, _ in TARGETS}
    assert {"Controller.play_show_page", "SerialBus.send_content2_bar_screen", "SerialBus",
            "ShowPageSet.gen_material", "result_text", "current_date_to_string",
            "image_content_buffer", "settings", "open_server"} <= labels
    shorts = [(name, p) for name, (_, params) in SIGNATURES.items()
              for p in params.split() if p.startswith("SHORT:")]
    assert shorts == [("vexa_send_multimedia_buffer", "SHORT:command_code")]


@pytest.mark.parametrize("label,function", TARGETS, ids=[label for label, _ in TARGETS])
def test_numbers_c_cannot_take_are_refused_everywhere(accepting, tmp_path, monkeypatch,
                                                       label, function):
    """Each int parameter in turn gets values just outside its C type, each
    bool parameter a number other than 1 or 0; the others valid values."""
    monkeypatch.chdir(tmp_path)
    before = vexa.current_settings()
    params = parameters(function)
    problems = []
    for index, (param, hint) in enumerate(params):
        high = 2**15 - 1 if (label, param.name) in SHORTS else 2**31 - 1
        bad = {int: [(high + 1, OverflowError), (-high - 2, OverflowError), (1.5, TypeError)],
               bool: [(2, ValueError), (-1, ValueError), ("yes", TypeError)]}
        for value, error in bad.get(int if hint == Optional[int] else hint, []):
            args, kwargs = [], {}
            for i, (other, other_hint) in enumerate(params):
                given = value if i == index else (
                    FILLERS[other_hint] if other.default is inspect.Parameter.empty
                    else other.default)
                if other.kind is inspect.Parameter.KEYWORD_ONLY:
                    kwargs[other.name] = given
                else:
                    args.append(given)
            try:
                function(*args, **kwargs)
                problems.append(f"{param.name}={value!r}: accepted")
            except error as refused:
                if error is not TypeError and str(value) not in str(refused):
                    problems.append(f"{param.name}={value!r}: {refused}")
            except Exception as other_error:  # reported below
                problems.append(f"{param.name}={value!r}: {other_error!r}")
    assert problems == []
    assert accepting.nothing_more(0.05)
    assert vexa.current_settings() == before


# (kind, value, what it becomes or the exception); C int -2147483648 to
# 2147483647, short -32768 to 32767.
@pytest.mark.parametrize("kind,value,expected", [
    ("INT", 2**31 - 1, 2147483647), ("INT", -(2**31), -2147483648),
    ("SHORT", 32767, 32767), ("SHORT", -32768, -32768), ("SHORT", 32768, OverflowError),
    ("BOOL", 1, True), ("BOOL", 0, False), ("BOOL", 1.0, TypeError),
])
def test_argument_bounds(kind, value, expected):
    if isinstance(expected, type):
        with pytest.raises(expected):
            _library.argument(kind, "x", value)
    else:
        converted = _library.argument(kind, "x", value)
        assert converted == expected and type(converted) is type(expected)


@pytest.mark.parametrize("call,error,words", [
    # ctypes alone would hand the library 0: "accepted".
    (lambda: vexa.result_text(2**32), OverflowError, "result=4294967296 does not fit a C int"),
    (lambda: vexa.current_date_to_string(None), TypeError, "mode: int expected, got NoneType"),
    (lambda: vexa.Controller(ADDRESS).send_template_data(None), TypeError,
     "send_template_data: a vexa.ShowPageSet expected, got NoneType"),
    (lambda: vexa.ShowPageSet().upload(vexa.SerialBus(port_number=7)), TypeError,
     "upload: a vexa.Controller expected, got SerialBus"),
    (lambda: vexa.settings(receive_time_out=300, re_send_times=2**31), OverflowError,
     "re_send_times=2147483648"),
])
def test_refused_before_anything_happens(accepting, call, error, words):
    before = vexa.current_settings()
    with pytest.raises(error, match=words):
        call()
    assert vexa.current_settings() == before  # the time-out too
    assert accepting.nothing_more(0.05)


def test_the_largest_int_reaches_the_library():
    assert vexa.result_text(2**31 - 1) == "unknown result code"
