"""The package's build beside pyproject.toml: a copy of the package that
holds libvexa-x86.so.1 (scripts/wheel.sh puts it there) becomes a wheel for
this platform and any Python 3 ("py3-none-linux_x86_64"), since the library
is a machine's code but the package calls it through ctypes only. Without
the library the wheel stays pure Python."""

from pathlib import Path
from typing import Any, Dict

from setuptools import Distribution, setup

CARRIES_LIBRARY = (Path(__file__).resolve().parent / "vexa" / "libvexa-x86.so.1").exists()
options: Dict[str, Any] = {}

if CARRIES_LIBRARY:
    from wheel.bdist_wheel import bdist_wheel

    class WithLibrary(Distribution):  # type: ignore[misc]
        """Code for one platform: the files go to the platform's library
        directory, and the wheel is not pure."""

        def has_ext_modules(self) -> bool:
            return True

    class PlatformWheel(bdist_wheel):  # type: ignore[misc]
        def get_tag(self) -> "tuple[str, str, str]":
            platform: str = super().get_tag()[2]
            return "py3", "none", platform

    options = {"distclass": WithLibrary, "cmdclass": {"bdist_wheel": PlatformWheel}}

setup(**options)
