"""Runs inside an xterm and writes every mouse press the terminal receives.

Used as "the window below" the pet: a press on a key-coloured pixel of the
pet must land here. xterm reports presses as ESC [ M b x y once the
program asks for it with ESC [ ? 1000 h. Typed keys go to PATH.keys.
"""

import os
import sys
import tty

out_path = sys.argv[1]
fd = sys.stdin.fileno()
tty.setraw(fd)
sys.stdout.write("\x1b[?1000h")
sys.stdout.flush()
with open(out_path + ".ready", "w") as f:
    f.write("ready\n")
buffer = b""
while True:
    chunk = os.read(fd, 64)
    if not chunk:
        break
    buffer += chunk
    while buffer:
        if not buffer.startswith(b"\x1b[M"):
            # Typed keys, all that is not a press report, go to a file of
            # their own.
            end = buffer.find(b"\x1b[M")
            keys, buffer = (buffer, b"") if end < 0 else (buffer[:end], buffer[end:])
            with open(out_path + ".keys", "ab") as f:
                f.write(keys)
            continue
        if len(buffer) < 6:
            break
        b, x, y = buffer[3] - 32, buffer[4] - 33, buffer[5] - 33
        buffer = buffer[6:]
        if b & 3 != 3:  # a press, not a release
            with open(out_path, "a") as f:
                f.write(f"{b & 3} {x} {y}\n")
