#!/usr/bin/env python3
"""Presses on the fish: a left drag moves it, then the panel comes up with the
focus on the exit button; a right press on the right-facing fish stops it
until the panel is closed; presses beside the fish go to the window below."""
import time

import harness
import moments
import panel_helpers as ph
from harness import E2ETest

OFFSET = (-120, -90)


class Pointer(E2ETest):
    def test_left_drag_moves_the_fish_then_shows_the_panel(self):
        pet = self.start_pet()
        window = pet.wait_window()
        ph.wait_moved(window, harness.geometry(window), 10, 'the first swim tick')

        def moves(share):
            steps = []
            for i in range(share * 3 + 1, share * 3 + 4):
                steps += ['mousemove_relative', '--sync', '--', *(str(d * i // 6 - d * (i - 1) // 6) for d in OFFSET),
                          'sleep', '0.05']
            return steps

        def dragged_to(share, before):
            # Ticks go on during the drag: each may take the fish a step of
            # at most 13 px until the next motion brings it back under the
            # pointer; a drag that did not follow is off by far more.
            want = [before[axis] + OFFSET[axis] * share // 2 for axis in (0, 1)]
            place = None

            def near():
                nonlocal place
                place = harness.geometry(window)
                return all(abs(place[axis] - want[axis]) <= 40 for axis in (0, 1))
            try:
                harness.poll(near, 20, f'the fish dragged to {want}', interval=0.05)
            except AssertionError as e:
                raise AssertionError(f'{e}: it is at {place}, it was at {before}') from None

        # The first half of the drag while the program cannot answer, as on
        # a busy machine: the press and the motion wait in its queue, and
        # the fish must still catch up with the pointer once it takes them.
        self.addCleanup(harness.run, 'xdotool', 'mouseup', '1', check=False)
        with pet.stopped():
            before = harness.geometry(window)
            harness.run('xdotool', 'mousemove', '--window', str(window), *map(str, ph.FISH_POINT),
                        'mousedown', '1', *moves(0))
        dragged_to(1, before)
        harness.run('xdotool', *moves(1))
        dragged_to(2, before)
        harness.run('xdotool', 'mouseup', '1')
        panel = ph.wait_panel(pet)
        harness.keep_screenshot(self.artifact('after-drag.png'))
        if harness.KIND == 'weston-nested':
            return  # no click finds the panel there to activate it (see harness.CANNOT_CHECK)
        # The focus is on the exit button: Space on the panel leaves.
        self.leave_by_key(pet, panel, 'space')

    def leave_by_key(self, pet, panel, key):
        harness.poll(lambda: harness.active_window() == panel or
                     harness.activate(panel) or harness.active_window() == panel,
                     3, 'the panel active')
        harness.run('xdotool', 'key', key)
        harness.poll(ph.message_boxes, 20, f'the credit box after {key} on the panel')
        self.assertIsNone(pet.pet_window(), 'the pet is still there at the credit box')
        ph.answer_box()
        ph.wait_exit(pet)

    def test_return_presses_the_focused_exit_button(self):
        pet = self.start_pet()
        window = pet.wait_window()
        ph.wait_moved(window, harness.geometry(window), 10, 'the first swim tick')
        harness.run('xdotool', 'mousemove', '--window', str(window), *map(str, ph.FISH_POINT),
                    'mousedown', '1', 'sleep', '0.1', 'mouseup', '1')
        self.leave_by_key(pet, ph.wait_panel(pet), 'Return')

    def press_right_facing(self, pet, window):
        """A right press on the fish, which faces right for its first five
        seconds; returns the pet geometry at that press and the panel."""
        ph.wait_facing(window, 'right', 30)
        # Right button down, the pointer dragged on, then up: no drag.
        out = harness.run('xdotool', 'mousemove', '--window', str(window), *map(str, ph.FISH_POINT),
                          'mousedown', '3', 'getwindowgeometry', '--shell', str(window),
                          'mousemove_relative', '--sync', '--', '-60', '-60', 'sleep', '0.2',
                          'mouseup', '3')
        pressed = harness._parse_geometry(out.split('WINDOW=')[1])
        panel = ph.wait_panel(pet, 30)
        # Ten ticks and more: a fish that swam on would have moved.
        self.assertTrue(ph.stays_still(window, 1.0), 'the right-facing fish swims on after a right press')
        return pressed, panel

    def test_right_press_on_the_right_facing_fish_stops_it(self):
        below = self.start_xterm('below', '200x58+0+0', background='#e0e0c0')
        harness.cover_screen(below)
        pet = self.start_pet(store=b'60\r\n', moment=moments.FACING_RIGHT_FOR_5_SECONDS)
        window = pet.wait_window()
        ph.wait_moved(window, harness.geometry(window), 10, 'the first swim tick')
        pressed, panel = self.press_right_facing(pet, window)
        now = harness.geometry(window)
        self.assertLessEqual(abs(now[0] - pressed[0]) + abs(now[1] - pressed[1]), 15,
                             f'a right press dragged the fish ({pressed} -> {now})')
        harness.poll(lambda: not ph.above(window), 20, 'the pet out of the top band')
        harness.keep_screenshot(self.artifact('stopped.png'))

        # A press beside the fish: the window below gets it, the pet nothing.
        # The panel goes to the screen corner farthest from the fish first.
        px = 20 if now[0] > harness.SCREEN[0] // 2 else harness.SCREEN[0] - 360
        py = 40 if now[1] > harness.SCREEN[1] // 2 else harness.SCREEN[1] - 140
        harness.run('xdotool', 'windowmove', '--sync', str(panel), str(px), str(py))
        time.sleep(0.3)
        x, y = now[0] + ph.KEY_POINT[0], now[1] + ph.KEY_POINT[1]
        harness.click(x, y)
        harness.poll(lambda: harness.active_window() == below, 3,
                     f'the window below activated by the press at {x},{y}')
        self.assertTrue(ph.stays_still(window, 1.5), 'the press beside the fish moved it')
        self.assertFalse(ph.above(window), 'the press beside the fish put it back on top')
        self.assertEqual(ph.visible_panel(pet), panel)

        ph.age_store(pet)
        ph.close_panel(pet, panel)
        harness.poll(lambda: ph.store_written(pet), 20, 'Ph.ini written by the close')
        self.assertIsNotNone(ph.store_number(ph.read_store(pet)), ph.read_store(pet))
        ph.wait_moved(window, now, 3, 'the fish to swim after the close')
        harness.poll(lambda: ph.above(window), 20, 'the pet back in the top band')

    def test_middle_press_does_not_drag(self):
        pet = self.start_pet()
        window = pet.wait_window()
        ph.wait_moved(window, harness.geometry(window), 10, 'the first swim tick')
        out = harness.run('xdotool', 'mousemove', '--window', str(window), *map(str, ph.FISH_POINT),
                          'mousedown', '2', 'getwindowgeometry', '--shell', str(window),
                          'mousemove_relative', '--sync', '--', '150', '120', 'sleep', '0.3',
                          'getwindowgeometry', '--shell', str(window), 'mouseup', '2')
        pressed, later = (harness._parse_geometry(b) for b in out.split('WINDOW=')[1:])
        # Swimming moves it by at most 13 px a tick; following the pointer, by 150.
        self.assertGreater(abs(later[0] - pressed[0] - 150) + abs(later[1] - pressed[1] - 120), 60,
                           f'the fish followed a middle drag ({pressed} -> {later})')
        ph.wait_panel(pet)
        harness.poll(lambda: pet.running(), 1, 'the program running')


if __name__ == '__main__':
    harness.main()
