#!/usr/bin/env python3
"""Checks the include boundaries the build sets, from compile_commands.json:

- no source of a library is compiled with the project root on its include
  path (that would let it include any header of any library);
- every include folder on a library's path is its own folder (for the
  library's private headers) or the public include/ folder of a library;
- every header a library's sources include in quotes resolves beside the
  including file or in one of those folders.

Tests, benches and fuzz targets see the whole tree on purpose and are not
checked. Usage: check_includes.py BUILD_DIR SOURCE_DIR
"""
import json
import os
import re
import shlex
import sys

EXEMPT = ("tests/", "bench/", "fuzz/")


def include_dirs(command):
    args = shlex.split(command)
    dirs = []
    for i, arg in enumerate(args):
        if arg == "-I" and i + 1 < len(args):
            dirs.append(args[i + 1])
        elif arg.startswith("-I"):
            dirs.append(arg[2:])
    return [os.path.normpath(d) for d in dirs]


def main():
    build, source = os.path.abspath(sys.argv[1]), os.path.normpath(sys.argv[2])
    with open(os.path.join(build, "compile_commands.json")) as f:
        entries = json.load(f)
    faults = []
    checked = 0
    for entry in entries:
        path = os.path.normpath(entry["file"])
        if not path.startswith(source + os.sep) or path.startswith(build + os.sep):
            continue  # generated sources: their folders are the build's
        relative = os.path.relpath(path, source)
        if relative.startswith(EXEMPT):
            continue
        checked += 1
        dirs = include_dirs(entry.get("command") or " ".join(entry["arguments"]))
        for d in dirs:
            if d == build or d.startswith(build + os.sep):
                continue  # generated headers (the script engine's configuration)
            if d == source:
                faults.append(f"{relative}: compiled with the whole tree ({d}) on its include path")
            elif d.startswith(source + os.sep):
                inner = os.path.relpath(d, source)
                own = os.path.dirname(relative)
                if not (inner.endswith("/include") or inner == "include" or own == inner or own.startswith(inner + "/")):
                    faults.append(f"{relative}: include folder {inner} is neither public nor its own")
        with open(path, errors="replace") as f:
            text = f.read()
        for name in re.findall(r'^\s*#\s*include\s+"([^"]+)"', text, re.M):
            here = os.path.join(os.path.dirname(path), name)
            if os.path.exists(here) or any(os.path.exists(os.path.join(d, name)) for d in dirs):
                continue
            faults.append(f'{relative}: "{name}" is not beside it nor in a folder it may see')
    if checked == 0:
        print("no library sources found in compile_commands.json", file=sys.stderr)
        return 1
    for fault in faults:
        print(fault, file=sys.stderr)
    print(f"{checked} library sources checked, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
