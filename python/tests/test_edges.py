"""The edges of the arguments: every integer that crosses into C is checked
against its C type, bool parameters take bools, and objects of the wrong
kind are refused by type, all before anything is sent."""

from __future__ import annotations

import inspect
import typing
from typing import Iterable, Optional, Sequence, Union

import pytest

import vexa
from vexa import _library
from vexa._library import PathText, Text
from vexa._signatures import SIGNATURES

ADDRESS = "127.0.0.60"

# A value each parameter type may take, so that only the value under test
# can be refused.
FILLERS = {
    Text: "A",
    PathText: "missing.png",
    Union[PathText, Iterable[PathText]]: "missing.png",
    str: "08:00",
    Union[int, str, Sequence[int]]: "5",
}

# The Python parameters that reach a C short; the test below checks that
# the C functions have no other.
SHORTS = {("Controller.send_multimedia_buffer", "command_code")}


def targets() -> list[tuple[str, typing.Callable]]:
    """Every public method of the package's classes and every public
    function, bound to objects that would send to the accepting emulator or
    to the serial port 7 of a scratch directory."""
    found = [(name, getattr(vexa, name)) for name in vexa.__all__]
    found = [(n, f) for n, f in found if inspect.isfunction(f)]
    found.append(("SerialBus", vexa.SerialBus))
    objects = {
        "Controller": vexa.Controller(ADDRESS),
        "SerialBus": vexa.SerialBus(port=7, protocol=2, address="5"),
        "ShowPageSet": vexa.ShowPageSet(),
    }
    for cls, obj in objects.items():
        for name, method in inspect.getmembers(obj, inspect.ismethod):
            if not name.startswith("_"):
                found.append((f"{cls}.{name}", method))
    return found


def parameters(function: typing.Callable) -> list[tuple[inspect.Parameter, object]]:
    plain = function.__init__ if inspect.isclass(function) else function
    hints = typing.get_type_hints(
        getattr(plain, "__func__", plain), localns={"ShowPageSet": vexa.ShowPageSet}
    )
    return [(p, hints[p.name]) for p in inspect.signature(function).parameters.values()]


def numeric(function: typing.Callable) -> bool:
    return any(h in (int, Optional[int], bool) for _, h in parameters(function))


NUMERIC_TARGETS = [(label, f) for label, f in targets() if numeric(f)]


def test_every_target_with_numbers_is_covered():
    """The table below is drawn from the package itself; a sanity check that
    it is: each kind of object and the module functions take part."""
    labels = {label for label, _ in NUMERIC_TARGETS}
    for expected in ("Controller.play_show_page", "Controller.send_multimedia_buffer",
                     "SerialBus.send_content2_bar_screen", "SerialBus",
                     "ShowPageSet.gen_material", "result_text", "current_date_to_string",
                     "image_content_buffer", "settings", "open_server"):
        assert expected in labels
    shorts = {(name, kind_name.split(":")[1]) for name, (_, params) in SIGNATURES.items()
              for kind_name in params.split() if kind_name.startswith("SHORT:")}
    assert shorts == {("vexa_send_multimedia_buffer", "commandCode")}


@pytest.mark.parametrize("label,function", NUMERIC_TARGETS, ids=[t[0] for t in NUMERIC_TARGETS])
def test_numbers_c_cannot_take_are_refused_by_every_function(
    accepting, tmp_path, monkeypatch, label, function
):
    """Each int parameter in turn gets values just outside its C type, each
    bool parameter a number other than 1 or 0, the others a valid value."""
    monkeypatch.chdir(tmp_path)  # no COM7 here: an unchecked serial call fails
    before = vexa.current_settings()
    params = parameters(function)
    problems = []
    for index, (param, hint) in enumerate(params):
        if hint in (int, Optional[int]):
            short = (label, param.name) in SHORTS
            low, high = (-(2**15), 2**15 - 1) if short else (-(2**31), 2**31 - 1)
            bad = [(high + 1, OverflowError), (low - 1, OverflowError), (1.5, TypeError)]
        elif hint is bool:
            bad = [(2, ValueError), (-1, ValueError), ("yes", TypeError)]
        else:
            continue
        for value, error in bad:
            args, kwargs = [], {}
            for i, (other, other_hint) in enumerate(params):
                given = value if i == index else (
                    other.default if other.default is not inspect.Parameter.empty
                    else False if other_hint is bool
                    else 1 if other_hint is int
                    else FILLERS[other_hint]
                )
                if other.kind is inspect.Parameter.KEYWORD_ONLY:
                    kwargs[other.name] = given
                else:
                    args.append(given)
            try:
                function(*args, **kwargs)
                problems.append(f"{param.name}={value!r}: accepted")
            except error as refused:
                if error is not TypeError and str(value) not in str(refused):
                    problems.append(f"{param.name}={value!r}: message {refused}")
            except Exception as other_error:  # reported below
                problems.append(f"{param.name}={value!r}: {other_error!r}")
    assert problems == []
    assert accepting.nothing_more(0.05)
    assert vexa.current_settings() == before


# (kind, value, what comes out or the exception). The C bounds by hand:
# int -2147483648 to 2147483647, short -32768 to 32767.
ARGUMENTS = [
    ("INT", 2**31 - 1, 2147483647),
    ("INT", -(2**31), -2147483648),
    ("INT", 2**31, OverflowError),
    ("INT", 2**32, OverflowError),
    ("INT", -(2**31) - 1, OverflowError),
    ("INT", True, 1),
    ("INT", None, TypeError),
    ("SHORT", 32767, 32767),
    ("SHORT", -32768, -32768),
    ("SHORT", 32768, OverflowError),
    ("SHORT", -32769, OverflowError),
    ("BOOL", 1, True),
    ("BOOL", 0, False),
    ("BOOL", True, True),
    ("BOOL", 2, ValueError),
    ("BOOL", 1.0, TypeError),
]


@pytest.mark.parametrize("kind,value,expected", ARGUMENTS)
def test_argument_bounds(kind, value, expected):
    if isinstance(expected, type):
        with pytest.raises(expected):
            _library.argument(kind, "x", value)
    else:
        converted = _library.argument(kind, "x", value)
        assert converted == expected and type(converted) is type(expected)


def test_the_library_sees_the_numbers_it_is_given():
    # ctypes alone would pass 2**32 as 0: "accepted".
    with pytest.raises(OverflowError, match="result=4294967296 does not fit a C int"):
        vexa.result_text(2**32)
    assert vexa.result_text(2**31 - 1) == "unknown result code"
    assert vexa.result_text(0) == "accepted"
    assert len(vexa.current_date_to_string(0)) == 8


@pytest.mark.parametrize(
    "call,words",
    [
        (lambda: vexa.current_date_to_string(None), "mode: int expected, got NoneType"),
        (lambda: vexa.Controller(ADDRESS).send_template_data(None),
         "send_template_data: a vexa.ShowPageSet expected, got NoneType"),
        (lambda: vexa.Controller(ADDRESS).send_template_data(vexa.Controller(ADDRESS)),
         "a vexa.ShowPageSet expected, got Controller"),
        (lambda: vexa.ShowPageSet().upload(vexa.SerialBus(port=7)),
         "upload: a vexa.Controller expected, got SerialBus"),
    ],
)
def test_objects_of_the_wrong_kind_raise_type_error(accepting, call, words):
    with pytest.raises(TypeError, match=words):
        call()
    assert accepting.nothing_more(0.05)


def test_a_refused_setting_changes_none(silent):
    before = vexa.current_settings()
    with pytest.raises(OverflowError, match="2147483648"):
        vexa.settings(receive_timeout_ms=300, resends=2**31)
    assert vexa.current_settings() == before
