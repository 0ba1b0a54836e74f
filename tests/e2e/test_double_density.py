#!/usr/bin/env python3
"""On a screen of twice the usual density (Xft.dpi 192, or QT_SCALE_FACTOR=2)
the fish and the panel are drawn twice as large, with no key colour and no
blended edge."""
import os
import subprocess

from PIL import Image

import harness
import panel_helpers as ph
from harness import E2ETest

PET_SIZE = (174, 106)
PANEL_SIZE = (652, 186)


def fish_palette():
    """Every colour of the two fish pictures."""
    colours = set()
    for name in ('fish_left.gif', 'fish_right.gif'):
        with Image.open(os.path.join(ph.ASSETS, name)) as image:
            colours |= {c for _, c in image.convert('RGB').getcolors(1 << 16)}
    return colours


class DoubleDensity(E2ETest):
    def set_dpi(self, dpi):
        saved = harness.run('xrdb', '-query', check=False)
        self.addCleanup(subprocess.run, ['xrdb', '-load', '-'], input=saved, text=True,
                        env=harness.desktop_env(), timeout=10)
        subprocess.run(['xrdb', '-merge', '-'], input=f'Xft.dpi: {dpi}\n', text=True,
                       env=harness.desktop_env(), timeout=10, check=True)

    def test_double_density(self):
        palette = fish_palette()
        for dpi, scale in ((192, None), (96, '2')):
            with self.subTest(dpi=dpi, QT_SCALE_FACTOR=scale):
                self.set_dpi(dpi)
                pet = self.start_pet(store=b'50\r\n', env={'QT_SCALE_FACTOR': scale})
                window = pet.wait_window()
                self.assertEqual(harness.geometry(window)[2:], PET_SIZE, 'pet window size')
                self.assert_clean_fish(window, palette, f'dpi{dpi}-scale{scale}')
                ph.wait_moved(window, harness.geometry(window), 10, 'the first swim tick')
                ph.press(window, (ph.FISH_POINT[0] * 2, ph.FISH_POINT[1] * 2), 3)
                panel = ph.wait_panel(pet)
                # The size once the panel has it (a window may map before its
                # last resize): a wrong size still shows after the deadline.
                try:
                    harness.poll(lambda: (r := ph.client_rect(panel)) and r[2:] == PANEL_SIZE, 10, 'the panel size')
                except AssertionError:
                    pass
                self.assertEqual(ph.client_rect(panel)[2:], PANEL_SIZE, 'panel client size')
                pet.stop()

    def assert_clean_fish(self, window, palette, name):
        """A shot while the window stands still: no key colour anywhere, and
        inside the window only the fish's own colours or what lies beside it."""
        def still_shot_with_fish():
            before = harness.geometry(window)
            shot = harness.screenshot()
            if harness.geometry(window) != before:
                return None
            x, y, w, h = before
            fish = sum(1 for _, p in harness.pixels(shot, (x, y, x + w, y + h))
                       if harness.is_fish_blue(p))
            return (before, shot) if fish > 4 * 300 else None
        before, shot = harness.poll(still_shot_with_fish, 20, 'the fish drawn, standing still')
        shot.save(self.artifact(f'{name}.png'))
        colours = harness.count_colours(shot)
        self.assertEqual(sum(n for c, n in colours.items() if harness.is_near_key(c)), 0,
                         'key colour (or near it) on screen')
        x, y, w, h = before
        outside = {shot.getpixel((x - 2, py)) for py in range(y, y + h) if x >= 2}
        stray = {p for _, p in harness.pixels(shot, (x, y, x + w, y + h))} - palette - outside
        self.assertEqual(stray, set(), 'blended colours on the fish edges')


if __name__ == '__main__':
    harness.main()
