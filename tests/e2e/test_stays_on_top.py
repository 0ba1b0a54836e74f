#!/usr/bin/env python3
"""The pet stays above ordinary windows and has no taskbar entry."""
import time

import harness
from harness import E2ETest


class StaysOnTop(E2ETest):
    def test_pet_stays_above_a_newly_activated_window(self):
        pet = self.start_pet()
        window = pet.wait_window()
        harness.poll(lambda: '_NET_WM_STATE_ABOVE' in harness.wm_state(window), 3,
                     'the pet in the top band')
        state = harness.wm_state(window)
        self.assertIn('_NET_WM_STATE_SKIP_TASKBAR', state)
        if harness.supported('_NET_WM_STATE_SKIP_PAGER'):  # fluxbox knows no pager
            self.assertIn('_NET_WM_STATE_SKIP_PAGER', state)

        # An ordinary window over the whole screen, activated (and so raised).
        other = self.start_xterm('ordinary', '200x58+0+0')
        harness.cover_screen(other)
        # weston keeps no stacking list: there the screen alone tells.
        listed = harness.supported('_NET_CLIENT_LIST_STACKING')
        for attempt in range(3):
            harness.activate(other)
            deadline = time.monotonic() + 1
            while time.monotonic() < deadline and listed:
                order = harness.stacking()
                self.assertIn(window, order, 'the pet left the client list')
                self.assertGreater(order.index(window), order.index(other),
                                   'the activated window went above the pet')
                self.assertIn('_NET_WM_STATE_ABOVE', harness.wm_state(window))
                time.sleep(0.05)
            if not listed:
                time.sleep(0.3)  # a tick, in which the pet raises itself
                self.assert_fish_shown(f'above-{attempt}.png')
        self.assertEqual(harness.active_window(), other, 'the pet took the activation')
        self.assertIn('_NET_WM_STATE_SKIP_TASKBAR', harness.wm_state(window))

        # Seen on the screen too: fish pixels over the terminal.
        if not harness.can_capture():
            print(f'no screen capture on {harness.KIND}: the stacking order alone was checked')
            return
        self.assert_fish_shown('above.png')

    def assert_fish_shown(self, name):
        shot = harness.screenshot(self.artifact(name))
        blue = sum(n for c, n in harness.count_colours(shot).items() if harness.is_fish_blue(c))
        self.assertGreater(blue, 300, 'the fish is hidden by the ordinary window')


if __name__ == '__main__':
    harness.main()
