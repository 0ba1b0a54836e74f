"""Runs inside an xterm and writes every mouse press the terminal receives.

Used as "the window below" the pet: a press on a key-coloured pixel of the
pet must land here. xterm reports presses as ESC [ M b x y once the
program asks for it with ESC [ ? 1000 h.
"""

import os
import sys
import termios
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
    while b"\x1b[M" in buffer:
        start = buffer.index(b"\x1b[M")
        if len(buffer) < start + 6:
            break
        b, x, y = buffer[start + 3] - 32, buffer[start + 4] - 33, buffer[start + 5] - 33
        buffer = buffer[start + 6:]
        if b & 3 != 3:  # a press, not a release
            with open(out_path, "a") as f:
                f.write(f"{b & 3} {x} {y}\n")
