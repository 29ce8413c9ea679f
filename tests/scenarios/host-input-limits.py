#!/usr/bin/env python3
"""host-input-limits.py HOST: a request line too long or too deep gets its error reply, the next
is answered, and a line far too long is read without being held (memory stays near a small
session's)."""
import json
import os
import subprocess
import sys
import tempfile
import threading

HOST = sys.argv[1]
LIMIT = 1 << 20
TOO_LONG = {"ok": False, "error": f"a request line may hold at most {LIMIT} bytes"}
TOO_DEEP = {"ok": False, "error": "a request may nest arrays and objects at most 64 deep"}
COUNT = b'{"op":"call","name":"AnnoCount","args":[]}'
COUNT_REPLY = {"ok": True, "result": 0}
failures = []


def run(chunks):
    """The host's replies to the chunks (streamed) and its peak resident memory in KiB."""
    with tempfile.TemporaryDirectory() as app:
        p = subprocess.Popen([HOST, "--app-dir", app], stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE)

        def feed():
            try:
                for c in chunks:
                    p.stdin.write(c)
                p.stdin.close()
            except BrokenPipeError:
                pass  # the host ended early: its status and replies tell

        writer = threading.Thread(target=feed)
        writer.start()
        out = p.stdout.read()
        writer.join()
        _, status, usage = os.wait4(p.pid, 0)
        if status != 0:
            failures.append(f"the host ended with status {status:#x}")
    replies = [json.loads(l) for l in out.splitlines() if l.startswith(b'{"ok"')]
    return replies + [None] * (len(chunks) - len(replies)), usage.ru_maxrss


def expect(what, got, wanted):
    if got != wanted:
        failures.append(f"{what}: got {repr(got)[:300]}, wanted {wanted!r}")


def padded(request, size):
    return request[:-1] + b" " * (size - len(request)) + b"}"


# The length limit counts the bytes before the LF: a line of exactly the limit is a request.
replies, _ = run([padded(COUNT, LIMIT), b"\n", padded(COUNT, LIMIT + 1), b"\n", COUNT, b"\n"])
expect("limit, limit + 1, then a request", replies[:3], [COUNT_REPLY, TOO_LONG, COUNT_REPLY])

# Nesting far past the limit is refused without recursing into it (the limit itself, 64 levels,
# is in the protocol-errors scenario).
deep = b'{"op":"call","name":"AnnoCount","args":' + b"[" * 99_999 + b"]" * 99_999 + b"}"
replies, _ = run([deep, b"\n", COUNT, b"\n"])
expect("100,000 levels, then a request", replies[:2], [TOO_DEEP, COUNT_REPLY])

# A line of 128 MiB, then a request: memory stays near a small session's.
_, small_kib = run([COUNT, b"\n"])
chunk = b"x" * (1 << 20)
big = [b'{"op":"call","name":"AnnoAdd","args":["10:00:00","'] + [chunk] * 128 + [b'"]}\n',
       COUNT, b"\n"]
replies, big_kib = run(big)
expect("a 128 MiB line, then a request", replies[:2], [TOO_LONG, COUNT_REPLY])
growth_mib = (big_kib - small_kib) / 1024
if growth_mib > 32:
    failures.append(f"peak memory grew by {growth_mib:.0f} MiB over a small session's")

for f in failures:
    print("FAIL:", f)
print(f"peak memory: {small_kib / 1024:.0f} MiB small session, {big_kib / 1024:.0f} MiB with "
      f"the 128 MiB line")
sys.exit(1 if failures else 0)
