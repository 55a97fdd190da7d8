#!/usr/bin/env python3
"""Checks the lock contracts of every source file the build compiles (product, shell, tests,
benchmarks and fuzz targets): each file is read by clang, which does no more than its
thread-safety analysis (platform/ThreadSafety.h), and a broken contract fails the check.

    tools/check-locks.py COMPILE_COMMANDS STAMP_FOLDER

COMPILE_COMMANDS is the build's compile_commands.json; its flags are used as they stand but
for the warnings. A file whose stamp in STAMP_FOLDER is newer than the file and everything it
includes (as clang listed them the last time) is not read again, so a run after a small
change reads only what the change touched. Files are read in parallel, one per processor.
"""

import concurrent.futures
import hashlib
import json
import os
import shlex
import subprocess
import sys

# Only the thread-safety analysis speaks, and it fails the file.
CHECK_FLAGS = ["-fsyntax-only", "-Wno-everything", "-Wthread-safety", "-Werror=thread-safety"]


def arguments_of(entry):
    """The compiler's arguments of one compile command, without its output and warnings."""
    arguments = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    kept = []
    skip = False
    for argument in arguments[1:]:
        if skip:
            skip = False
        elif argument in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
        elif argument in ("-c", "-MD", "-MMD") or argument.startswith("-W"):
            pass
        else:
            kept.append(argument)
    return kept


def is_current(stamp, depends):
    """Whether the file was checked after it and all it includes last changed."""
    try:
        checked = os.path.getmtime(stamp)
        with open(depends, encoding="utf-8") as listing:
            text = listing.read().replace("\\\n", " ")
    except OSError:
        return False
    # "stamp: file header header ...", names with blanks escaped by a backslash.
    names = text.split(":", 1)[1].replace("\\ ", "\0").split()
    for name in names:
        try:
            if os.path.getmtime(name.replace("\0", " ")) > checked:
                return False
        except OSError:
            return False
    return True


def check(entry, stamp_folder, compiler):
    source = entry["file"]
    arguments = arguments_of(entry)
    key = hashlib.sha1((source + "\0" + "\0".join(arguments)).encode()).hexdigest()[:16]
    stamp = os.path.join(stamp_folder, key + ".stamp")
    depends = os.path.join(stamp_folder, key + ".d")
    if is_current(stamp, depends):
        return None
    command = [compiler] + arguments + CHECK_FLAGS + ["-MD", "-MF", depends, "-MT", stamp]
    result = subprocess.run(command, cwd=entry["directory"], capture_output=True, text=True)
    if result.returncode != 0:
        return source + "\n" + result.stdout + result.stderr
    with open(stamp, "w", encoding="utf-8"):
        pass
    return None


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8") as commands:
        entries = json.load(commands)
    stamp_folder = os.path.abspath(sys.argv[2])
    os.makedirs(stamp_folder, exist_ok=True)
    compiler = os.environ.get("QUILLBOX_CLANG", "clang++")
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
        failures = [f for f in pool.map(lambda e: check(e, stamp_folder, compiler), entries) if f]
    for failure in failures:
        print(failure, file=sys.stderr)
    print("lock contracts: %d files, %d broken" % (len(entries), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
