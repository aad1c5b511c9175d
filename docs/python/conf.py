# Sphinx configuration of the Python section of the API reference: the
# package vexa, documented from its docstrings, imported from python/ in the
# source tree. Built by the docs target (docs/CMakeLists.txt); it reads
# nothing from the network.
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "python"))

import vexa  # noqa: E402  (after the path above)

project = "vexa, the Python package of libvexa-x86"
author = "libvexa-x86"
version = release = vexa.__version__

extensions = ["sphinx.ext.autodoc", "sphinx.ext.napoleon"]
# The docstrings are written with Args:, Returns:, Raises: sections.
napoleon_google_docstring = True
napoleon_numpy_docstring = False
# Attributes: sections as fields of their class, beside the members autodoc finds.
napoleon_use_ivar = True
autodoc_member_order = "bysource"
autodoc_typehints = "signature"
autodoc_default_options = {"members": True}
# Types come from the signatures; an attribute's type from the words of its class.
napoleon_attr_annotations = False

html_theme = "alabaster"
html_title = f"vexa {release} (Python)"
html_static_path: list = []
templates_path: list = []
exclude_patterns = ["_build"]
