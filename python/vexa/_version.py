"""The version of the package, the version of the library it calls and
ships with; scripts/wheel.sh writes the library's version here in the wheel."""

__version__ = "1.0.0"
