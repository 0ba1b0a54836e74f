#!/usr/bin/env python3
"""The control panel: its close box, the feed, exit and link controls, and how
it looks."""
import os
import stat
import time

import harness
import moments
import panel_helpers as ph
from harness import E2ETest


class Panel(E2ETest):
    def open_panel(self, pet):
        """Shows the panel with a right press on the fish; returns (pet window, panel)."""
        window = pet.wait_window()
        ph.wait_moved(window, harness.geometry(window), 10, 'the first swim tick')
        ph.press(window, ph.FISH_POINT, 3)
        return window, ph.wait_panel(pet)

    def test_close_box_writes_the_store_and_the_fish_swims_on(self):
        # The fish faces right for five seconds: a press on the right-facing
        # fish leaves it still (for ten ticks and more) and out of the top
        # band. (One on the left-facing fish would reload the panel and let
        # it swim on.)
        pet = self.start_pet(store=b'50\r\n', moment=moments.FACING_RIGHT_FOR_5_SECONDS)
        window, panel = self.open_panel(pet)
        self.assertTrue(ph.stays_still(window, 1.0), 'the fish swims on beside the panel')
        harness.poll(lambda: not ph.above(window), 30, 'the pet out of the top band')
        ph.age_store(pet)
        ph.close_panel(pet, panel)
        harness.poll(lambda: ph.store_written(pet), 20, 'Ph.ini written by the close')
        data = ph.read_store(pet)
        value = ph.store_number(data)
        self.assertIsNotNone(value, f'Ph.ini after the close: {data!r}')
        self.assertTrue(40 <= value <= 50, f'Ph.ini holds {value}, not the pet copy of 50')
        start = harness.geometry(window)
        moved = ph.wait_moved(window, start, 30, 'the fish to swim after the close')
        dx, dy = moved[0] - start[0], moved[1] - start[1]
        # State 1 swims right and down by the same distance; its turn goes to
        # state 3, which swims left only.
        self.assertTrue((dx > 0 and dx == dy) or (dx < 0 and dy == 0),
                        f'first move after the close is ({dx}, {dy}), not state 1')
        harness.poll(lambda: ph.above(window), 30, 'the pet back in the top band')
        self.assertTrue(pet.running())

    def test_feed_button_writes_100(self):
        pet = self.start_pet(store=b'37\r\n')
        _, panel = self.open_panel(pet)
        ph.click_panel(panel, ph.centre(ph.FEED))
        harness.poll(lambda: ph.read_store(pet) == b'100\r\n', 3,
                     f'Ph.ini to hold 100 (it holds {ph.read_store(pet)!r})')
        self.assertEqual(ph.read_store(pet), b'100\r\n')
        self.assertTrue(pet.running())

    def test_exit_button_removes_the_pet_then_thanks(self):
        pet = self.start_pet(store=b'42\r\n')
        window, panel = self.open_panel(pet)
        time.sleep(0.3)
        before = ph.read_store(pet)
        mtime = os.stat(ph.store_path(pet))[stat.ST_MTIME]
        ph.click_panel(panel, ph.centre(ph.EXIT))
        harness.poll(ph.message_boxes, 20, 'the credit box')
        self.assertFalse(ph.mapped(window) if window else False,
                         'the pet window is still shown beside the credit box')
        self.assertIsNone(pet.pet_window(), 'the pet is still there at the credit box')
        harness.keep_screenshot(self.artifact('credit.png'))
        ph.answer_box()
        ph.wait_exit(pet, 5)
        self.assertEqual(ph.read_store(pet), before, 'the exit changed Ph.ini')
        self.assertEqual(os.stat(ph.store_path(pet))[stat.ST_MTIME], mtime, 'the exit wrote Ph.ini')

    def test_link_opens_the_address_in_the_browser(self):
        stub_dir = os.path.join(self.tmp, 'bin')
        os.makedirs(stub_dir)
        calls = os.path.join(self.tmp, 'xdg-open.calls')
        stub = os.path.join(stub_dir, 'xdg-open')
        with open(stub, 'w') as f:
            f.write('#!/bin/sh\nfor a in "$@"; do printf "%s\\n" "$a"; done >> "$XDG_OPEN_CALLS"\n'
                    'printf -- "--\\n" >> "$XDG_OPEN_CALLS"\n')
        os.chmod(stub, 0o755)
        pet = self.start_pet(env={'PATH': stub_dir + os.pathsep + os.environ['PATH'],
                                  'XDG_OPEN_CALLS': calls})
        _, panel = self.open_panel(pet)
        ph.click_panel(panel, ph.centre(ph.LINK))

        def called():
            if not os.path.exists(calls):
                return False
            with open(calls) as f:
                return f.read().endswith('--\n')
        harness.poll(called, 20, 'xdg-open to be called')
        time.sleep(0.5)
        with open(calls) as f:
            self.assertEqual(f.read(), 'https://guizzolo.example.org/\n--\n',
                             'xdg-open got other arguments, or was called more than once')
        self.assertTrue(pet.running())
        self.assertIsNotNone(ph.visible_panel(pet), 'the link closed the panel')

    def test_panel_looks(self):
        pet = self.start_pet(store=b'77\r\n')
        window, panel = self.open_panel(pet)

        def drawn():  # the yellow rule line shows (the fish may cover part of it)
            cx, cy, _, _ = ph.client_rect(panel)
            shot = harness.screenshot()
            return any(shot.getpixel((cx + px, cy + 32)) == (255, 255, 128) for px in (20, 160, 300))
        harness.poll(drawn, 30, 'the panel drawn')
        x, y, w, h = ph.client_rect(panel)
        self.assertEqual((w, h), ph.PANEL_SIZE, 'panel client size')
        before = harness.geometry(window)
        shot = harness.screenshot()
        after = harness.geometry(window)
        client = shot.crop((x, y, x + w, y + h))
        client.save(self.artifact('panel.png'))
        client.resize((w * 3, h * 3)).save(self.artifact('panel-x3.png'))
        # The fish stays on top and may swim over the panel: a point it
        # covered between the two looks (or a tick's step from there) is not
        # the panel's.
        left = min(before[0], after[0]) - x - 14
        top = min(before[1], after[1]) - y - 14
        right = max(before[0] + before[2], after[0] + after[2]) - x + 14
        bottom = max(before[1] + before[3], after[1] + after[3]) - y + 14

        def check(point, colour, what):
            if not (left <= point[0] < right and top <= point[1] < bottom):
                self.assertEqual(client.getpixel(point), colour, what)

        check((2, 2), (0, 0, 0), 'panel background')
        check((200, 32), (255, 255, 128), 'the yellow rule line')
        check((200, 34), (0, 0, 0), 'below the rule line')
        check((318, 42), (64, 0, 0), 'the date line background')
        check((9, 73), (64, 64, 64), 'the link label background')
        # Text on the date line: white pixels in its band.
        white = sum(1 for _, p in harness.pixels(client, (8, 40, 321, 65)) if min(p) > 200)
        self.assertGreater(white, 100, 'no text on the date line')


if __name__ == '__main__':
    harness.main()
