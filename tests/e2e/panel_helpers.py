"""Helpers for the hunger, panel and pointer tests: the control panel's place
on the screen, its close box and buttons, the hunger store, message boxes and
which way the fish faces."""
import os
import re
import time

from PIL import Image

import harness

ASSETS = os.path.join(harness.REPO, 'assets')
STORE = 'Ph.ini'

# The panel's client area and its controls, in client pixels (x0, y0, x1, y1).
PANEL_SIZE = (326, 93)
FEED = (216, 8, 321, 25)
EXIT = (184, 72, 321, 89)
LINK = (8, 72, 137, 89)
FIELD = (144, 8, 185, 27)

# A point that is fish in both pictures, and one that is key colour in both
# (the pictures are one row shorter than the window).
FISH_POINT = (43, 26)
KEY_POINT = (2, 52)

DEATH_TEXT = 'Ops!!!  Il guizzolo è morto :-('
ALERT_TEXT = 'Hei Tu!!!  Guarda che ho fame!!!'


def centre(box):
    return ((box[0] + box[2]) // 2, (box[1] + box[3]) // 2)


# --- the store ------------------------------------------------------------------

def store_path(pet):
    return os.path.join(pet.folder, STORE)


def read_store(pet):
    """The bytes of Ph.ini, or None when there is no such file."""
    try:
        with open(store_path(pet), 'rb') as f:
            return f.read()
    except FileNotFoundError:
        return None


def write_store(pet, data):
    with open(store_path(pet), 'wb') as f:
        f.write(data)


def age_store(pet):
    """Dates Ph.ini back to 2001, so that any later write shows in its mtime."""
    os.utime(store_path(pet), (1e9, 1e9))


def store_written(pet):
    return os.stat(store_path(pet)).st_mtime > 1e9 + 1


def store_number(data):
    """The integer a store holds as "N\\r\\n", or None for any other content."""
    match = re.fullmatch(rb'(-?\d+)\r\n', data or b'')
    return int(match.group(1)) if match else None


# --- windows ----------------------------------------------------------------------

def mapped(window):
    out = harness.run('xwininfo', '-id', str(window), check=False)
    return 'IsViewable' in out


def client_rect(window):
    """(x, y, width, height) of a window's client area on the screen, by
    xwininfo (xdotool adds the frame offset once more for framed windows)."""
    out = harness.run('xwininfo', '-id', str(window), check=False)
    values = {}
    for key, name in (('x', 'Absolute upper-left X'), ('y', 'Absolute upper-left Y'),
                      ('w', 'Width'), ('h', 'Height')):
        match = re.search(name + r':\s+(-?\d+)', out)
        if not match:
            return None
        values[key] = int(match.group(1))
    return values['x'], values['y'], values['w'], values['h']


def frame_extents(window):
    """(left, right, top, bottom) of the window manager's frame."""
    out = harness.run('xprop', '-id', str(window), '_NET_FRAME_EXTENTS', check=False)
    numbers = re.findall(r'\d+', out.split('=', 1)[-1]) if '=' in out else []
    return tuple(int(n) for n in numbers) if len(numbers) == 4 else (0, 0, 0, 0)


def visible_panel(pet):
    """The shown panel window of pet, or None."""
    for window in pet.windows():
        if harness.window_name(window) == harness.PANEL_TITLE:
            return window
    return None


def wait_panel(pet, timeout=5):
    return harness.poll(lambda: visible_panel(pet), timeout, 'the control panel on screen')


def click_panel(panel, point, button=1):
    """Clicks at a point of the panel's client area."""
    x, y, _, _ = client_rect(panel)
    harness.click(x + point[0], y + point[1], button)


def close_panel(pet, panel, timeout=5):
    """Closes the panel with the close box of its title bar (the rightmost
    button of openbox's frame); on other desktops, by asking the window
    manager to close it, which it may refuse."""
    harness.poll(lambda: client_rect(panel), 20, 'the panel geometry')
    if harness.KIND not in harness.CLICKABLE_FRAMES:
        harness.close_through_window_manager(panel)
        harness.poll(lambda: visible_panel(pet) is None, timeout, 'the panel to close')
        return
    x, y, w, _ = client_rect(panel)
    _, _, top, _ = frame_extents(panel)
    harness.activate(panel)
    harness.click(x + w - 10, y - max(top, 2) // 2 - 1)
    harness.poll(lambda: visible_panel(pet) is None, timeout, 'the panel to close')


def message_boxes():
    return harness.search('--name', f'^{harness.BOX_TITLE}$')


def answer_box(timeout=5):
    """Activates the next box titled "Guizzolo" and presses Return on it,
    again until it has gone; returns the box's window."""
    box = harness.poll(message_boxes, timeout, 'a message box titled "Guizzolo"')[0]
    deadline = time.monotonic() + timeout
    while box in message_boxes():
        if time.monotonic() > deadline:
            raise AssertionError('the message box does not go away on Return')
        harness.run('xdotool', 'windowactivate', '--sync', str(box), check=False)
        if harness.active_window() != box:
            time.sleep(0.1)
            continue
        # Press and release both through XTEST: "key --window" can press by
        # XTEST and send the release to a window that has gone, which leaves
        # Return held down (auto-repeating) on the whole desktop.
        harness.run('xdotool', 'key', 'Return', check=False)
        try:
            harness.poll(lambda: box not in message_boxes(), 1, 'the box to close')
        except AssertionError:
            pass
    return box


def wait_exit(pet, timeout=5):
    harness.poll(lambda: not pet.running(), timeout, 'the program to end')


# --- the fish -------------------------------------------------------------------------

def _masks():
    masks = {}
    for facing, name in (('left', 'fish_left.gif'), ('right', 'fish_right.gif')):
        with Image.open(os.path.join(ASSETS, name)) as image:
            image.load()
        transparent = image.info.get('transparency', 255)
        scaled = image.resize((88, 52), Image.NEAREST)
        colours = scaled.convert('RGB')
        masks[facing] = {(x, y): colours.getpixel((x, y))
                         for y in range(52) for x in range(87)
                         if scaled.getpixel((x, y)) != transparent}
    return masks


_MASKS = None


def facing(shot, origin):
    """'left' or 'right': which picture the pet window at origin shows in the
    screenshot, by how many pixels match each picture's colours; None when
    neither matches clearly."""
    global _MASKS
    if _MASKS is None:
        _MASKS = _masks()
    data = shot.load()
    scores = {}
    for name, mask in _MASKS.items():
        hits = 0
        for (x, y), colour in mask.items():
            sx, sy = origin[0] + x, origin[1] + y
            if 0 <= sx < shot.width and 0 <= sy < shot.height:
                if all(abs(a - b) <= 8 for a, b in zip(data[sx, sy], colour)):
                    hits += 1
        scores[name] = hits / len(mask)
    best = max(scores, key=scores.get)
    other = min(scores, key=scores.get)
    if scores[best] > 0.8 and scores[best] - scores[other] > 0.1:
        return best
    return None


def current_facing(window):
    """Which way the fish faces now (None if it moved during the look)."""
    before = harness.geometry(window)
    shot = harness.screenshot()
    after = harness.geometry(window)
    if not before or before != after:
        return None
    return facing(shot, before[:2])


def wait_facing(window, side, timeout=40):
    return harness.poll(lambda: current_facing(window) == side, timeout,
                        f'the fish to face {side}', interval=0.02)


def press(window, point, button):
    """Presses and releases a button at a point of the pet window in one
    xdotool run; returns (geometry before, geometry after, screen point)."""
    return harness.click_in_window(window, point[0], point[1], button)


def wait_moved(window, since, timeout, what='the fish to move'):
    """Waits until the window is away from geometry since; returns the new one."""
    return harness.poll(lambda: (g := harness.geometry(window)) and g[:2] != since[:2] and g,
                        timeout, what, interval=0.02)


def stays_still(window, seconds):
    """True when the window keeps its place for that long."""
    first = harness.geometry(window)
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if harness.geometry(window) != first:
            return False
        time.sleep(0.05)
    return True


def above(window):
    return '_NET_WM_STATE_ABOVE' in harness.wm_state(window)
