#!/usr/bin/env python3
"""The program prints nothing in normal use."""
import time

import harness
import panel_helpers as ph
from harness import E2ETest


class Quiet(E2ETest):
    def test_nothing_printed_while_swimming(self):
        pet = self.start_pet()
        window = pet.wait_window()
        harness.poll(lambda: time.monotonic() - pet.started >= 3, 20, '3 s of swimming')
        self.assert_moves(pet, window, interval=0.5)
        self.assert_quiet(pet)

    def test_nothing_printed_through_the_panel(self):
        pet = self.start_pet()
        window = pet.wait_window()
        ph.wait_moved(window, harness.geometry(window), 30, 'the first swim tick')
        # The middle of the window is fish body in both pictures, also one
        # swim step later.
        harness.click_in_window(window, 44, 26)
        panel = harness.poll(pet.panel, 30, 'the control panel after a press on the fish')
        harness.activate(panel)
        harness.run('xdotool', 'key', '--clearmodifiers', 'alt+F4')
        harness.poll(lambda: pet.panel() is None, 20, 'the panel to close')
        self.assert_moves(pet, window)
        self.assertTrue(pet.running())
        self.assert_quiet(pet)


if __name__ == '__main__':
    harness.main()
