#!/usr/bin/env python3
"""Runs pendrel-host on a page script and checks what it did.

Arguments after "--" go to the host; "{tmp}" in them is replaced by a scratch
folder that holds the fixtures below. The checks: exit status, texts that
standard output and standard error must or must not contain, and files the
script had to write (compared byte for byte).
"""
import argparse
import base64
import os
import subprocess
import sys
import tempfile

# Fixtures: every byte value, and UTF-8 text with characters of two, three
# and four bytes.
BINARY = bytes(range(256)) * 3 + b"\x00\xff\x10"
TEXT = "Grüße, 世界 😀\nzweite Zeile\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--status", type=int, default=0)
    parser.add_argument("--stdout", action="append", default=[])
    parser.add_argument("--no-stdout", action="append", default=[])
    parser.add_argument("--stderr", action="append", default=[])
    parser.add_argument("--no-stderr", action="append", default=[])
    parser.add_argument("--env", action="append", default=[])
    parser.add_argument("--file", action="append", default=[],
                        help="NAME=TEXT: {tmp}/NAME must hold TEXT as UTF-8")
    parser.add_argument("--no-file", action="append", default=[])
    parser.add_argument("--plain-mode", action="append", default=[],
                        help="{tmp}/NAME must have the mode a plain create gives")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    opts = parser.parse_args()
    command = opts.command[1:] if opts.command[:1] == ["--"] else opts.command

    with tempfile.TemporaryDirectory() as tmp:
        with open(os.path.join(tmp, "bytes.bin"), "wb") as f:
            f.write(BINARY)
        with open(os.path.join(tmp, "text.txt"), "wb") as f:
            f.write(TEXT.encode("utf-8"))
        with open(os.path.join(tmp, "bytes.b64"), "w") as f:
            f.write(base64.b64encode(BINARY).decode("ascii"))
        env = dict(os.environ)
        for item in opts.env:
            name, _, value = item.partition("=")
            env[name] = value
        args = [a.replace("{tmp}", tmp) for a in command]
        run = subprocess.run(args, env=env, capture_output=True, timeout=120)
        out = run.stdout.decode("utf-8", "replace")
        err = run.stderr.decode("utf-8", "replace")
        failures = []
        if run.returncode != opts.status:
            failures.append(f"exit status {run.returncode}, expected {opts.status}")
        failures += [f"stdout lacks {t!r}" for t in opts.stdout if t not in out]
        failures += [f"stdout has {t!r}" for t in opts.no_stdout if t in out]
        failures += [f"stderr lacks {t!r}" for t in opts.stderr if t not in err]
        failures += [f"stderr has {t!r}" for t in opts.no_stderr if t in err]
        for item in opts.file:
            name, _, text = item.partition("=")
            path = os.path.join(tmp, name)
            if not os.path.exists(path):
                failures.append(f"{name} was not written")
            elif open(path, "rb").read() != text.encode("utf-8"):
                failures.append(f"{name} holds {open(path, 'rb').read()!r}, expected {text.encode('utf-8')!r}")
        mask = os.umask(0)
        os.umask(mask)
        for name in opts.plain_mode:
            path = os.path.join(tmp, name)
            mode = os.stat(path).st_mode & 0o7777 if os.path.exists(path) else None
            if mode != 0o666 & ~mask:
                failures.append(f"{name} has mode {mode and oct(mode)}, expected {oct(0o666 & ~mask)}")
        for name in opts.no_file:
            if os.path.exists(os.path.join(tmp, name)):
                failures.append(f"{name} exists")
        leftovers = [n for n in os.listdir(tmp) if ".tmp-" in n]
        if leftovers:
            failures.append(f"temporary files left behind: {leftovers}")
    if failures:
        print("command:", " ".join(args))
        print("--- stdout\n" + out + "--- stderr\n" + err + "---")
        for f in failures:
            print("FAIL:", f)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
