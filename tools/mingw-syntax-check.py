#!/usr/bin/env python3
"""Compiles every product source of a native build once more with MinGW, syntax only, so that the
Windows branches of the code (the window code's among them) are checked on every test run. Uses the
native build's compile_commands.json for the include folders and definitions (Qt's Linux headers
serve for the syntax), and the moc and uic outputs of that build.

  tools/mingw-syntax-check.py [BUILD_DIR]    (default build; exit 1 on any error or warning)
"""
import concurrent.futures
import json
import os
import shlex
import subprocess
import sys
from pathlib import Path

COMPILER = "x86_64-w64-mingw32-g++-posix"
PRODUCT = ("document", "editor", "models", "phone")
# The Linux back-end of the phone platform, built only on Linux (Windows has its own).
LINUX_ONLY = ("phone/LinuxPhonePlatform.cpp", "phone/LibUsbReal.cpp")


def product_source(entry, source, build):
    path = Path(entry["file"]).resolve()
    for root in (source, build):
        try:
            first = path.relative_to(root).parts[0]
        except ValueError:
            continue
        if root == source and path.relative_to(root).as_posix() in LINUX_ONLY:
            return None
        # In the build folder only the moc outputs of the product's targets.
        if first in PRODUCT and (root == source or path.name == "mocs_compilation.cpp"):
            return path
    return None


def flags_of(entry):
    args = entry.get("arguments") or shlex.split(entry["command"])
    kept, i = [], 1
    while i < len(args):
        a = args[i]
        if a in ("-I", "-isystem", "-D", "-include"):
            kept += [a, args[i + 1]]
            i += 1
        elif a.startswith(("-I", "-D", "-std=", "-isystem")):
            kept.append(a)
        i += 1
    return kept


# Headers of the native system that serve MinGW as they are (the rest of /usr/include must not):
# header-only libraries, and plain C declarations that a syntax check needs without the library.
# They are offered through a folder of links to them.
HEADER_ONLY = ("nlohmann", "gif_lib.h")


def header_only_folder(build):
    folder = build / "mingw-header-only"
    folder.mkdir(exist_ok=True)
    for name in HEADER_ONLY:
        target = Path("/usr/include", name)
        if target.exists() and not (folder / name).exists():
            (folder / name).symlink_to(target)
    return ["-isystem", str(folder)]


def check(path, flags, directory):
    cmd = [COMPILER, "-fsyntax-only", "-Wall", "-Wextra", "-Werror", *flags, str(path)]
    run = subprocess.run(cmd, cwd=directory, capture_output=True, text=True)
    return path, run.returncode, run.stderr


def main():
    build = Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
    source = Path(__file__).resolve().parent.parent
    entries = json.loads((build / "compile_commands.json").read_text())
    jobs = {}
    header_only = header_only_folder(build)
    for e in entries:
        path = product_source(e, source, build)
        if path and path not in jobs:
            jobs[path] = (flags_of(e) + header_only, e["directory"])
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        for path, code, err in pool.map(lambda p: check(p, *jobs[p]), sorted(jobs)):
            if code != 0 or err.strip():
                failed += 1
                print(f"{path}:\n{err}", file=sys.stderr)
    print(f"MinGW syntax check: {len(jobs)} product sources, {failed} failed")
    return 1 if failed or not jobs else 0


if __name__ == "__main__":
    sys.exit(main())
