"""Pointer and key input for a desktop whose compositor draws into a window of
another X server (weston-nested): the input is made there, as a user's would
come, and reaches the compositor, which hands it to its XWayland. Everything
else (windows, properties, the pet) stays on DISPLAY, the XWayland.

xdotool chains are split into their commands: the input ones run on the
input display, with a point given relative to a window made absolute from
that window's place on the XWayland (the compositor's window fills the input
screen at 0,0, so a point is the same on both); the others run on DISPLAY.
"""
import re
import time

INPUT = {'mousemove', 'mousemove_relative', 'mousedown', 'mouseup', 'click', 'key', 'keydown', 'keyup',
         'type'}
OTHER = {'getwindowgeometry', 'getwindowname', 'getactivewindow', 'getmouselocation', 'search', 'sleep',
         'windowactivate', 'windowmove', 'windowsize'}
# weston takes no press on a newly mapped X window for about half a second
# (seen: none at 0.4 s, most from 0.6 s).
FIRST_INPUT_AFTER = 0.8
# Where the pointer waits while a pet starts: inside weston's window but away
# from where the fish swims. A pointer resting where a window maps keeps
# weston from showing that window until the pointer moves.
PARK = (1275, 795)
# weston's frame: the middle of its title bar above a managed window's
# client area.
TITLE_MIDDLE = 14


def commands(args):
    """An xdotool chain (without 'xdotool') as a list of commands, each a list
    of words; key and type take every word after them."""
    chain = []
    for word in args:
        takes_rest = chain and chain[-1][0] in ('key', 'type')
        if word in INPUT | OTHER and not takes_rest:
            chain.append([word])
        elif chain:
            chain[-1].append(word)
        else:
            raise ValueError(f'not an xdotool command: {word}')
    return chain


def window_origin(run_x, window):
    """The absolute top-left corner of a window's client area on DISPLAY."""
    out = run_x('xwininfo', '-id', str(window))
    x = re.search(r'Absolute upper-left X:\s+(-?\d+)', out)
    y = re.search(r'Absolute upper-left Y:\s+(-?\d+)', out)
    return int(x.group(1)), int(y.group(1))


def absolute(run_x, command):
    """mousemove --window W x y as mousemove with the absolute point."""
    if command[0] != 'mousemove' or '--window' not in command:
        return command
    words = list(command)
    at = words.index('--window')
    window = words[at + 1]
    del words[at:at + 2]
    x, y = int(words[-2]), int(words[-1])
    ox, oy = window_origin(run_x, window)
    # --sync: the pointer is there before a press that follows.
    return words[:1] + ['--sync'] + [w for w in words[1:-2] if w != '--sync'] + [str(ox + x), str(oy + y)]


def activate(run_x, run_input, active_window, window, timeout=3):
    """Activates a window the way a user does on weston: a click on its title
    bar (the window manager takes no activation request from a client)."""
    out = run_x('xwininfo', '-id', str(window))
    ox, oy = window_origin(run_x, window)
    width = int(re.search(r'Width:\s+(\d+)', out).group(1))
    deadline = time.monotonic() + timeout
    while active_window() != window:
        if time.monotonic() > deadline:
            raise AssertionError(f'0x{window:x} not activated by a click on its title bar')
        run_input('xdotool', 'mousemove', '--sync', str(ox + width // 2), str(oy - TITLE_MIDDLE), 'click', '1')
        time.sleep(0.1)


def run_chain(args, run_x, run_input, activate_window):
    """Runs one xdotool chain; returns what its commands printed."""
    out = []
    group, group_is_input = [], None

    def flush():
        if group:
            out.append((run_input if group_is_input else run_x)('xdotool', *sum(group, [])))
            group.clear()

    for command in commands(args):
        verb = command[0]
        if verb == 'sleep':
            flush()
            time.sleep(float(command[1]))
        elif verb == 'windowactivate':
            flush()
            activate_window(int(command[-1]))
        else:
            is_input = verb in INPUT
            if group and is_input != group_is_input:
                flush()
            group_is_input = is_input
            group.append(absolute(run_x, command) if is_input else command)
    flush()
    return ''.join(out)


def park_pointer(run_input):
    run_input('xdotool', 'mousemove', '--sync', *map(str, PARK))
