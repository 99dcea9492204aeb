#!/usr/bin/env python3
"""Drives pendrel-bridge as the browser extension does, without a browser:
hello, a request fed in Base64 pieces of at most 4 MiB, a keychain identity
chosen by subject, sign, the signed copy read back in gathered answers (three
reads under way, each at its own offset, as the page reads), and
the port closed. Prints the seconds of each step and checks the copy.

usage: bridge-client.py BRIDGE DOCUMENT SUBJECT OUT.pdf
"""
import base64
import json
import os
import struct
import subprocess
import sys
import time

PIECE = 4 * 1024 * 1024  # Base64 characters per feed message (whole groups)
READ_PIECE = 768 * 1024  # Base64 characters per read answer
READ_AHEAD = 3  # reads under way at once


class Bridge:
    def __init__(self, program):
        self.proc = subprocess.Popen([program, "chrome-extension://bench/"], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE)
        self.next_id = 1

    def message(self, op, **fields):
        """One request's frame, ready to send."""
        message = dict(fields, id=self.next_id, op=op, origin="http://127.0.0.1:8000")
        self.next_id += 1
        payload = json.dumps(message).encode("utf-8")
        return struct.pack("=I", len(payload)) + payload

    def call(self, op, **fields):
        return self.exchange(self.message(op, **fields))

    def exchange(self, frame):
        self.send(frame)
        return self.receive()

    def send(self, frame):
        self.proc.stdin.write(frame)
        self.proc.stdin.flush()

    def receive(self):
        head = self.proc.stdout.read(4)
        if len(head) < 4:
            sys.exit("the bridge closed the port")
        (length,) = struct.unpack("=I", head)
        answer = json.loads(self.proc.stdout.read(length))
        if not answer["ok"]:
            sys.exit("message %s refused: %s" % (answer["id"], answer["error"]))
        return answer["value"]

    def invoke(self, obj, name, *args):
        return self.call("invoke", object=obj["$object"], name=name, args=list(args))

    def get(self, obj, name):
        return self.call("get", object=obj["$object"], name=name)

    def set(self, obj, name, value):
        return self.call("set", object=obj["$object"], name=name, value=value)

    def close(self):
        self.proc.stdin.close()
        return self.proc.wait(timeout=60)


def main():
    program, document, subject, out = sys.argv[1:5]
    with open(document, "rb") as f:
        data = f.read()
    started = time.monotonic()
    bridge = Bridge(program)
    plugin = bridge.call("hello")["plugin"]
    info = bridge.invoke(plugin, "createCertInfoObject")
    bridge.set(info, "subject", subject)
    if not bridge.invoke(info, "search"):
        sys.exit("no certificate for " + subject)
    searched = time.monotonic()

    # What the page does before the messages move (its own Base64 and JSON)
    # is not the bridge's time: the frames are made first.
    request = bridge.invoke(plugin, "createPropObject")
    encoded = base64.b64encode(data).decode("ascii")
    frames = [bridge.message("feed", object=request["$object"], data=encoded[at:at + PIECE])
              for at in range(0, len(encoded), PIECE)]
    frames.append(bridge.message("feed", object=request["$object"], data=""))
    ready = time.monotonic()
    for frame in frames:
        bridge.exchange(frame)
    if bridge.get(request, "pages") < 1:
        sys.exit("the fed document did not open")
    fed = time.monotonic()

    bridge.set(request, "certificate", info)
    bridge.set(request, "options", 0x20 | 0x40)  # the document work alone: no certificate tests
    result = bridge.invoke(plugin, "sign", request)
    if bridge.get(result, "error") != 1:
        sys.exit("sign answered %s" % bridge.get(result, "error"))
    signed = time.monotonic()

    # As the page reads: READ_AHEAD reads under way, each at its own offset.
    pieces, answers, offset, under_way = [], 0, 0, 0
    while True:
        while under_way < READ_AHEAD:
            bridge.send(bridge.message("read", object=result["$object"], offset=offset, size=READ_PIECE))
            offset += READ_PIECE
            under_way += 1
        value = bridge.receive()
        under_way -= 1
        pieces.append(base64.b64decode(value["data"]))
        answers += 1
        if value["done"]:
            break
    for _ in range(under_way):
        bridge.receive()  # reads past the end
    copy = b"".join(pieces)
    read = time.monotonic()
    status = bridge.close()
    ended = time.monotonic()
    with open(out, "wb") as f:
        f.write(copy)
    if status != 0 or not copy.startswith(data):
        sys.exit("the bridge ended with %d, or the copy does not hold the document" % status)
    mb = len(data) / 1e6
    print("document          %8.1f MB" % mb)
    print("start and search  %8.3f s" % (searched - started))
    print("feed up           %8.3f s  (%d messages, %.0f MB/s)" % (fed - ready, len(frames),
                                                                  mb / max(fed - ready, 1e-9)))
    print("sign              %8.3f s" % (signed - fed))
    print("read down         %8.3f s  (%d answers, %.0f MB/s)" % (read - signed, answers,
                                                                  len(copy) / 1e6 / max(read - signed, 1e-9)))
    print("end of the port   %8.3f s" % (ended - read))
    print("up, sign, down    %8.3f s" % (read - ready))


if __name__ == "__main__":
    main()
