#!/usr/bin/env python3
"""The source tree's floors: no folder includes a folder above it, and no two
source files include each other in a loop (a header and its source count as
one unit).

    check_layers.py REPOSITORY

Prints every breach and exits 1 when there is one.
"""
import os
import re
import sys

# Each folder and the folders it may include, besides itself. The public
# headers of api/ (SKYREL.h, vexa.h, version.h) may be included from
# anywhere: they are the interface.
FLOORS = {
    "model": set(),
    "core": {"model"},
    "transport": {"core", "model"},
    # api/ holds the C interface of the hall too (api/vexa_hall.cpp).
    "api": {"transport", "core", "model", "hall"},
    # The hall goes out through the public interface only; so do the
    # programs built on it.
    "hall": set(),
    "cli": {"hall"},
    "gateway": {"hall"},
}
PUBLIC = {"api/SKYREL.h", "api/vexa.h"}
INCLUDE = re.compile(r'\s*#\s*include\s+"([^"]+)"')


def sources(root):
    for folder in FLOORS:
        for here, _, names in os.walk(os.path.join(root, folder)):
            for name in names:
                if name.endswith((".cpp", ".h")):
                    yield os.path.relpath(os.path.join(here, name), root)


def resolve(root, including, name, known):
    for candidate in (name, os.path.join(os.path.dirname(including), name),
                      os.path.join("api", name)):
        candidate = os.path.normpath(candidate)
        if candidate in known:
            return candidate
    return None


def main(root):
    files = sorted(sources(root))
    known = set(files)
    unit = lambda path: os.path.splitext(path)[0]
    edges = {}
    breaches = []
    for path in files:
        folder = path.split("/")[0]
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as text:
            for line in text:
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = resolve(root, path, match.group(1), known)
                if target is None:
                    continue
                to = target.split("/")[0]
                if to != folder and to not in FLOORS[folder] and target not in PUBLIC:
                    breaches.append(f"{path} includes {target}: {folder}/ may not include {to}/")
                if unit(target) != unit(path):
                    edges.setdefault(unit(path), set()).add(unit(target))
    # Loops: a unit that reaches itself.
    def reaches(start):
        seen, todo = set(), list(edges.get(start, ()))
        while todo:
            node = todo.pop()
            if node == start:
                return True
            if node not in seen:
                seen.add(node)
                todo.extend(edges.get(node, ()))
        return False
    for node in sorted(edges):
        if reaches(node):
            breaches.append(f"{node} includes itself through a loop")
    for breach in breaches:
        print(breach)
    print(f"{len(files)} files, {len(breaches)} breaches")
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
