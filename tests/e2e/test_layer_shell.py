#!/usr/bin/env python3
"""The pet on a Wayland compositor's layer shell (sway, KWin): seen above the
windows with no key colour, swimming, no toplevel of its own, presses beside
the fish going to the window below, the drag and the panel. Elsewhere the
pet is an X11 window and these are skipped."""
import io
import json
import os
import shutil
import subprocess
import tempfile

from PIL import Image

import harness
from harness import E2ETest

LAYER_SHELL = ('sway', 'kwin-wayland')
BELOW = '#e0e0c0'  # the recorder's background
BELOW_RGB = (0xe0, 0xe0, 0xc0)
# sway is nested in an Xvfb, whose input reaches it as a real seat; KWin's
# virtual session takes input through its fake-input protocol
# (tests/wayland/fake_input.c, built where its description is installed).
FAKE_INPUT = os.environ.get('GUIZZOLO_FAKE_INPUT') or os.path.join(
    os.path.dirname(harness.EXE), 'tests', 'wayland', 'fake_input')
SEAT = harness.KIND == 'sway' or (harness.KIND == 'kwin-wayland' and os.access(FAKE_INPUT, os.X_OK))
# Evdev key codes of what the checks type.
KEYS = dict(zip('qwertyuiop', range(16, 26))) | dict(zip('asdfghjkl', range(30, 39))) | \
    dict(zip('zxcvbnm', range(44, 51))) | dict(zip('1234567890', range(2, 12)))


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


def see_through_point(image, box, below=BELOW_RGB, margin=3, reach=40):
    """A point inside the box of all the fish's pixels (so inside its
    surface) where the window below shows, with no pixel of the fish near it;
    box is where its blue is."""
    px = image.load()
    w, h = image.size
    near = [(x, y) for y in range(max(0, box[1] - reach), min(h, box[3] + reach))
            for x in range(max(0, box[0] - reach), min(w, box[2] + reach)) if px[x, y][:3] != below]
    x0, x1 = min(x for x, _ in near), max(x for x, _ in near)
    y0, y1 = min(y for _, y in near), max(y for _, y in near)
    for y in range(y0 + margin, y1 - margin):
        for x in range(x0 + margin, x1 - margin):
            if all(px[x + dx, y + dy][:3] == below for dx in range(-margin, margin + 1)
                   for dy in range(-margin, margin + 1)):
                return x, y
    raise AssertionError(f'no see-through point among the fish\'s pixels {x0, y0, x1, y1}')


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


def pointer(*steps):
    """Pointer steps, each ('move', x, y), ('down', button), ('up', button) or
    ('sleep', ms), made as one sequence on the compositor's seat: on the X
    server sway takes its seat from, or by KWin's fake input."""
    if harness.KIND == 'sway':
        args = []
        for step in steps:
            args += {'move': ['mousemove'], 'down': ['mousedown'], 'up': ['mouseup'],
                     'sleep': ['sleep']}[step[0]] + [str(v) for v in step[1:]]
            if step[0] == 'sleep':
                args[-1] = str(step[1] / 1000)
        subprocess.run(['xdotool', *args], env=dict(harness.desktop_env(), DISPLAY=harness.INPUT_DISPLAY),
                       check=True, timeout=30, capture_output=True)
    else:
        fake_input(' '.join(str(v) for step in steps for v in step))


_fake = None


def fake_input(line):
    """One line of steps to the fake-input client of this check."""
    _fake.stdin.write(line + '\n')
    _fake.stdin.flush()
    answer = _fake.stdout.readline().strip()
    assert answer == 'ok', f'fake input "{line}": {answer or "no answer"}'


def start_fake_input(test):
    global _fake
    _fake = subprocess.Popen([FAKE_INPUT], env=dict(harness.desktop_env(), WAYLAND_DISPLAY=harness.WAYLAND_DISPLAY),
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    test.addCleanup(_fake.stdout.close)
    test.addCleanup(_fake.stdin.close)
    test.addCleanup(harness.end_process, _fake)
    assert _fake.stdout.readline().strip() == 'ready', 'the fake-input client did not start'


def click(x, y, button=1):
    pointer(('move', x, y), ('down', button), ('up', button))


def type_text(text):
    if harness.KIND == 'sway':
        subprocess.run(['xdotool', 'type', '--delay', '20', text],
                       env=dict(harness.desktop_env(), DISPLAY=harness.INPUT_DISPLAY),
                       check=True, timeout=30, capture_output=True)
    else:
        fake_input(' '.join(f'key {KEYS[c]} sleep 20' for c in text))


def close_panel():
    """As the user closes it: sway's kill binding; elsewhere the window
    manager's close (_NET_CLOSE_WINDOW). The panel's X window can be seen
    before the compositor has taken it in, and until then neither command
    finds it."""
    if harness.KIND == 'sway':
        command = ('swaymsg', f'[title="{harness.PANEL_TITLE}"] kill')
    else:
        command = ('wmctrl', '-c', harness.PANEL_TITLE)

    def closed():
        try:
            return harness.run(*command) is not None
        except AssertionError:
            return False
    harness.poll(closed, 20, 'the compositor to close the panel')


class LayerShell(E2ETest):
    def setUp(self):
        if harness.KIND not in LAYER_SHELL:
            self.skipTest(f'no layer shell on {harness.KIND}')
        super().setUp()
        if SEAT and harness.KIND == 'kwin-wayland':
            start_fake_input(self)

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
        below = self.start_xterm('below', '200x58+0+0', background=BELOW, command=(
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
        self.fish('the fish')
        with pet.stopped():
            box, image = self.fish('the fish, held still')
            click(*see_through_point(image, box))
        harness.poll(lambda: os.path.exists(presses), 20, 'a press beside the fish to reach the terminal below')
        self.assertIsNone(pet.panel(), 'the press beside the fish brought up the panel')
        type_text('k0xk1x')
        try:
            harness.poll(lambda: read(presses + '.keys') == 'k0xk1x', 20, 'the terminal below to receive "k0xk1x"')
        except AssertionError as e:
            raise AssertionError(f'{e}; it got {read(presses + ".keys")!r}, presses {read(presses)!r}') from None

    def test_left_drag_moves_the_fish_and_the_panel_then_lets_it_swim(self):
        if not SEAT:
            self.skipTest(f'no seat to press with on {harness.KIND}')
        pet = self.start_pet()
        target = (300, 250)
        self.fish('the fish')
        self.addCleanup(pointer, ('up', 1))
        with pet.stopped():
            box, _ = self.fish('the fish, held still')
            x, y = (box[0] + box[2]) // 2, (box[1] + box[3]) // 2
            steps = 8
            pointer(('move', x, y), ('down', 1),
                    *[('move', x + (target[0] - x) * i // steps, y + (target[1] - y) * i // steps)
                      for i in range(1, steps + 1)])

        # The ticks go on swimming while the button is held (until the next
        # motion brings the fish back under the pointer): each may take a
        # step of up to 14 px across and down.
        def near_target():
            box = fish_box(harness.screenshot())
            centre = box and ((box[0] + box[2]) // 2, (box[1] + box[3]) // 2)
            return centre and abs(centre[0] - target[0]) + abs(centre[1] - target[1]) <= 120 and centre
        harness.poll(near_target, 20, f'the fish held at {target}, pressed at {(x, y)}')
        pointer(('up', 1))
        harness.poll(pet.panel, 20, 'the panel after the release')
        close_panel()
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
        self.addCleanup(shutil.rmtree, state, True)  # after the stop below: cleanups run last first
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
        # The first ticks load the panel, hidden, with the value: wait for a swim.
        grim = dict(os.environ, WAYLAND_DISPLAY=own['GUIZZOLO_WAYLAND_DISPLAY'], XDG_RUNTIME_DIR=own['XDG_RUNTIME_DIR'])

        def fish_there():
            shot = subprocess.run(['grim', '-t', 'ppm', '-'], env=grim, capture_output=True, timeout=10).stdout
            return shot and fish_box(Image.open(io.BytesIO(shot)).convert('RGB'))
        first = harness.poll(fish_there, 30, 'the fish on a sway of its own')
        harness.poll(lambda: (fish_there() or first) != first, 30, 'the fish to swim on a sway of its own')
        subprocess.run([script, 'stop', state], check=True, timeout=60)
        harness.poll(lambda: not pet.running(), 20, 'the program to end with its compositor')
        # As with a lost X server: the value is kept, and the status says the
        # session did not end as it should.
        self.assertEqual(pet.proc.returncode, 1)
        self.assertGreater(os.path.getmtime(store), 946684800, 'the value was not stored at the end')
        with open(store, 'rb') as f:
            stored = f.read()
        # The value as the swim left it: each tick may take one hunger step.
        self.assertRegex(stored, rb'^\d+\r\n$')
        self.assertTrue(40 <= int(stored) <= 57, f'stored {stored!r}, started from 57')


if __name__ == '__main__':
    harness.main()
