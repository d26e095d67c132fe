#!/usr/bin/env python3
"""Checks that the source folders are layers used in one direction, and that no two
files include each other, directly or through others; and that every libcurl handle is a
CurlHandle, with its certificate checks on.

    core <- net <- lessons <- host, ui <- app      (assets beside ui and app)

Run from anywhere: scripts/check_layers.py [SOURCE_ROOT]. Exits 1 and names every
include that goes the wrong way, and every include cycle."""
import pathlib
import re
import sys

# What each folder may include besides itself.
ALLOWED = {
    "core": set(),
    "net": {"core"},
    "lessons": {"core", "net"},
    "assets": set(),
    "host": {"core"},
    "ui": {"core", "net", "lessons", "host", "assets"},
    "app": {"core", "net", "lessons", "host", "ui", "assets"},
}
# Folders whose code must not see Qt at all.
QT_FREE = {"core", "net", "lessons"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
# Every request is made on a CurlHandle, whose constructor turns the certificate checks on:
# no other file makes a libcurl handle, and none turns a check off or lets the web engine
# accept a certificate it refused.
HANDLE_MAKERS = {"net/curl_handle.cpp", "net/curl_library.h", "net/curl_library.cpp"}
MAKES_HANDLE = re.compile(r"\beasy_init\b")
CERTIFICATE_OVERRIDE = re.compile(
    r"VERIFY(PEER|HOST|STATUS)\s*,\s*0|acceptCertificate|ignore-certificate-errors|allow-insecure")


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    problems = []
    graph = {}
    for layer in ALLOWED:
        for path in sorted((root / layer).glob("*.[ch]*")):
            name = f"{layer}/{path.name}"
            graph[name] = []
            source = path.read_text(encoding="utf-8")
            if name not in HANDLE_MAKERS and MAKES_HANDLE.search(source):
                problems.append(f"{name}: makes a libcurl handle of its own (use CurlHandle)")
            if CERTIFICATE_OVERRIDE.search(source):
                problems.append(f"{name}: turns a certificate check off")
            for kind, target in INCLUDE.findall(source):
                if kind == "<":
                    if layer in QT_FREE and target.startswith("Q"):
                        problems.append(f"{name}: Qt header <{target}> in a Qt-free folder")
                    continue
                folder = target.split("/", 1)[0]
                if folder != layer and folder in ALLOWED and folder not in ALLOWED[layer]:
                    problems.append(f"{name}: includes {target}, but {layer} may not use {folder}")
                graph[name].append(target)

    # Include cycles between files.
    state = {}

    def visit(node, stack):
        state[node] = "open"
        stack.append(node)
        for nxt in graph.get(node, []):
            if state.get(nxt) == "open":
                problems.append("include cycle: " + " -> ".join(stack[stack.index(nxt):] + [nxt]))
            elif nxt in graph and nxt not in state:
                visit(nxt, stack)
        stack.pop()
        state[node] = "done"

    for node in graph:
        if node not in state:
            visit(node, [])

    for p in problems:
        print(p)
    print(f"{len(graph)} files checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
