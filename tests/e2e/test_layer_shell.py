#!/usr/bin/env python3
"""The pet on a Wayland compositor's layer shell (sway, KWin): seen above the
windows with no key colour, swimming, no toplevel of its own, presses beside
the fish going to the window below, the drag and the panel. Elsewhere the
pet is an X11 window and these are skipped."""
import json
import os
import subprocess
import tempfile
import time

import harness
from harness import E2ETest

LAYER_SHELL = ('sway', 'kwin-wayland')
# sway is nested in an Xvfb, whose input reaches it as a real seat; KWin's
# virtual session has no seat that xdotool can drive.
SEAT = harness.KIND == 'sway'


def fish_box(image):
    """The box of the fish's blue pixels on the screen, or None."""
    w, h = image.size
    px = image.load()
    xs, ys = [], []
    for y in range(0, h, 2):
        for x in range(0, w, 2):
            if harness.is_fish_blue(px[x, y]):
                xs.append(x)
                ys.append(y)
    if len(xs) < 100:
        return None
    return min(xs), min(ys), max(xs), max(ys)


def key_pixels(image):
    return sum(1 for p in image.getdata() if harness.is_key(p))


def sway_tree():
    out = subprocess.run(['swaymsg', '-t', 'get_tree'], env=harness.desktop_env(), capture_output=True,
                         text=True, timeout=10, check=True).stdout
    nodes, stack = [], [json.loads(out)]
    while stack:
        node = stack.pop()
        nodes.append(node)
        stack.extend(node.get('nodes', []) + node.get('floating_nodes', []))
    return nodes


def read(path):
    try:
        with open(path) as f:
            return f.read()
    except FileNotFoundError:
        return None


def xdotool(*args):
    """Input on the X server the compositor takes its seat from."""
    subprocess.run(['xdotool', *args], env=dict(harness.desktop_env(), DISPLAY=harness.INPUT_DISPLAY),
                   check=True, timeout=30, capture_output=True)


class LayerShell(E2ETest):
    def setUp(self):
        if harness.KIND not in LAYER_SHELL:
            self.skipTest(f'no layer shell on {harness.KIND}')
        super().setUp()

    def fish(self, what, timeout=20):
        def seen():
            image = harness.screenshot()
            box = fish_box(image)
            return (box, image) if box else None
        return harness.poll(seen, timeout, what, interval=0.1)

    def assert_swims(self, what):
        first, _ = self.fish(f'the fish {what}')
        harness.poll(lambda: (fish_box(harness.screenshot()) or first) != first, 20, f'the fish to move {what}')

    def recorder_below(self):
        """A terminal over the whole screen that writes down the presses and
        the keys it receives."""
        presses = os.path.join(self.tmp, 'presses')
        below = self.start_xterm('below', '200x58+0+0', background='#e0e0c0', command=(
            '/usr/bin/python3', os.path.join(harness.HERE, 'wine', 'click_recorder.py'), presses))
        harness.poll(lambda: os.path.exists(presses + '.ready'), 10, 'the press recorder')
        if harness.KIND != 'sway':  # there the one window fills the screen
            harness.cover_screen(below)
        return below, presses

    def test_fish_swims_above_a_full_screen_window_with_no_key_colour_and_no_toplevel(self):
        below, _ = self.recorder_below()
        harness.run('wmctrl', '-i', '-r', hex(below), '-b', 'add,fullscreen')
        pet = self.start_pet()
        box, image = self.fish('the fish above the full-screen terminal')
        image.save(self.artifact('above.png'))
        self.assertEqual(key_pixels(image), 0, f'key-coloured pixels around the fish at {box}')
        self.assert_swims('above the full-screen terminal')
        if harness.KIND == 'sway':
            mine = [n.get('name') for n in sway_tree() if n.get('pid') == pet.proc.pid]
            self.assertEqual(mine, [], 'the pet is a window of the compositor (a taskbar entry)')
        self.assertEqual(pet.windows(), [], 'the pet made an X11 window')

    def test_press_beside_the_fish_reaches_the_window_below_and_no_key_is_lost(self):
        if not SEAT:
            self.skipTest(f'no seat to press with on {harness.KIND}')
        below, presses = self.recorder_below()
        pet = self.start_pet()
        typed = ''
        for attempt in range(20):
            box, _ = self.fish('the fish')
            # Just outside the fish's blue, inside its window: see-through.
            xdotool('mousemove', str(box[0] + 2), str(box[1] + 1), 'click', '1')
            time.sleep(0.3)
            if pet.panel():  # the fish swam under the point: try again
                harness.run('swaymsg', f'[title="{harness.PANEL_TITLE}"] kill')
                harness.poll(lambda: not pet.panel(), 10, 'the panel closed')
                continue
            word = f'k{attempt}x'
            xdotool('type', '--delay', '20', word)
            typed += word
            if os.path.exists(presses) and len(typed) >= 8:
                break
        harness.poll(lambda: os.path.exists(presses), 10, 'a press beside the fish to reach the terminal below')
        harness.poll(lambda: read(presses + '.keys') == typed, 10, f'the terminal below to receive "{typed}"')

    def test_left_drag_moves_the_fish_and_the_panel_then_lets_it_swim(self):
        if not SEAT:
            self.skipTest(f'no seat to press with on {harness.KIND}')
        pet = self.start_pet()
        target = (300, 250)
        for attempt in range(10):
            box, _ = self.fish('the fish')
            x, y = (box[0] + box[2]) // 2, (box[1] + box[3]) // 2
            xdotool('mousemove', str(x), str(y), 'mousedown', '1')
            steps = 8
            for i in range(1, steps + 1):
                xdotool('mousemove', str(x + (target[0] - x) * i // steps), str(y + (target[1] - y) * i // steps))
            time.sleep(0.2)
            during = fish_box(harness.screenshot(self.artifact('drag.png')))
            xdotool('mouseup', '1')
            try:
                harness.poll(pet.panel, 5, 'the panel after the release')
            except AssertionError:
                continue  # the press missed the fish, which swam on
            if during:
                break
        else:
            self.fail('no press reached the fish')
        centre = ((during[0] + during[2]) // 2, (during[1] + during[3]) // 2)
        # A tick may take a step after the last motion: a step is at most 14 px.
        self.assertLessEqual(abs(centre[0] - target[0]) + abs(centre[1] - target[1]), 60,
                             f'the fish at {centre} while held at {target}')
        harness.run('swaymsg', f'[title="{harness.PANEL_TITLE}"] kill')
        harness.poll(lambda: not pet.panel(), 10, 'the panel closed')
        self.assert_swims('after the panel closed')

    def test_fish_follows_the_output_scale(self):
        if harness.KIND != 'sway':
            self.skipTest(f'the output scale is set with swaymsg, not on {harness.KIND}')
        harness.run('swaymsg', 'output * scale 2')
        self.addCleanup(harness.run, 'swaymsg', 'output * scale 1')
        self.start_pet()
        box, image = self.fish('the fish at scale 2')
        image.save(self.artifact('scale2.png'))
        # At scale 1 its blue spans about 56 pixels across.
        self.assertGreater(box[2] - box[0], 100, f'the fish at {box} is not drawn at the output scale')
        self.assertEqual(key_pixels(image), 0, f'key-coloured pixels around the fish at {box}')

    def test_compositor_gone_ends_the_program_and_stores_the_value(self):
        if harness.KIND != 'sway':
            self.skipTest(f'a compositor of its own is started only beside sway, not on {harness.KIND}')
        # A sway of its own, so that ending it ends no other check's desktop.
        state = tempfile.mkdtemp(prefix='guizzolo-own-sway-')
        script = os.path.join(harness.HERE, '..', '..', 'scripts', 'virtual-desktop.sh')
        subprocess.run([script, 'start', state, '--desktop', 'sway', '--no-sound'], check=True, timeout=120,
                       capture_output=True)
        self.addCleanup(subprocess.run, [script, 'stop', state], timeout=60)
        with open(os.path.join(state, 'env')) as f:
            own = dict(line.strip()[len('export '):].split('=', 1) for line in f if line.startswith('export '))
        pet = self.start_pet(store=b'57\r\n', env={
            'WAYLAND_DISPLAY': own['GUIZZOLO_WAYLAND_DISPLAY'], 'DISPLAY': own['DISPLAY']})
        store = os.path.join(pet.folder, 'Ph.ini')
        os.utime(store, (946684800, 946684800))  # written in 2000: a new write shows
        time.sleep(1)  # the first ticks load the panel, hidden, with the value
        subprocess.run([script, 'stop', state], check=True, timeout=60)
        harness.poll(lambda: not pet.running(), 20, 'the program to end with its compositor')
        self.assertEqual(pet.proc.returncode, 0)
        self.assertGreater(os.path.getmtime(store), 946684800, 'the value was not stored at the end')
        with open(store, 'rb') as f:
            stored = f.read()
        # The value as the swim left it: each tick may take one hunger step.
        self.assertRegex(stored, rb'^\d+\r\n$')
        self.assertTrue(40 <= int(stored) <= 57, f'stored {stored!r}, started from 57')


if __name__ == '__main__':
    harness.main()
