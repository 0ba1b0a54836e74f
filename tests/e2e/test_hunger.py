#!/usr/bin/env python3
"""Hunger: the panel loads at the first tick, an empty store counts from 100,
the alerts at 20 and 10, and death, which leaves the store untouched.

The hunger value is read from outside through Ph.ini: pressing the fish shows
the panel, and closing the panel with its close box writes the pet's copy of
the value there."""

import harness
import moments
import panel_helpers as ph
from harness import E2ETest

# A wait that succeeds ends at once; these only bound a failing one.
BOX_WAIT = 30


class Hunger(E2ETest):
    def first_tick(self, pet):
        """Waits for the pet window and for its first move (a tick ran)."""
        window = pet.wait_window()
        ph.wait_moved(window, harness.geometry(window), 10, 'the first swim tick')
        return window

    def sample(self, pet, window):
        """The pet's copy of the hunger value, as written by closing the panel
        that a right press on the fish shows."""
        ph.press(window, ph.FISH_POINT, 3)
        panel = ph.wait_panel(pet)
        ph.close_panel(pet, panel)
        return ph.read_store(pet)

    def test_first_start_counts_down_from_100(self):
        # Tick 1 makes a hunger step; tick 2, in state 1, copies it to the
        # pet's copy; no other step follows for 15 s.
        pet = self.start_pet(store=None, moment=moments.ONE_STEP_THEN_CALM)
        window = self.first_tick(pet)
        self.assertIsNone(ph.visible_panel(pet), 'the panel is on screen at start')
        self.assertIsNone(ph.read_store(pet), 'loading the panel wrote Ph.ini')
        # One more tick of swimming in state 1, then the pet's copy.
        ph.wait_moved(window, harness.geometry(window), 10)
        data = self.sample(pet, window)
        harness.screenshot(self.artifact('screen.png'))
        self.assertEqual(data, b'99\r\n', 'the first value after the empty field')
        self.assertTrue(pet.running())

    def test_panel_reads_the_store_at_the_first_tick(self):
        pet = self.start_pet(store=b'50\r\n')
        window = self.first_tick(pet)
        # A store changed after the panel loaded is not read again.
        ph.write_store(pet, b'30\r\n')
        ph.wait_moved(window, harness.geometry(window), 10, 'a later swim tick')
        data = self.sample(pet, window)
        value = ph.store_number(data)
        self.assertIsNotNone(value, f'Ph.ini after closing the panel: {data!r}')
        # Only falling from 50 can leave more than 30, however many hunger
        # steps a busy machine's ticks brought.
        self.assertTrue(30 < value <= 50,
                        f'the pet copy {value} does not come from the 50 read at the first tick')

    def assert_dies(self, store):
        pet = self.start_pet(store=store, moment=moments.HUNGER_AT_ONCE)
        pet.wait_window()
        harness.poll(ph.message_boxes, BOX_WAIT, 'the death box')
        harness.screenshot(self.artifact('death.png'))
        self.assertTrue(pet.running())
        ph.answer_box()
        ph.wait_exit(pet, 5)
        self.assertEqual(ph.read_store(pet), store, 'Ph.ini changed by the death')

    def test_death_at_1_leaves_the_store(self):
        self.assert_dies(b'1\r\n')

    def test_death_of_a_value_that_is_not_a_number(self):
        self.assert_dies(b'abc\r\n')

    def assert_alert(self, store):
        pet = self.start_pet(store=store, moment=moments.HUNGER_AT_ONCE)
        window = pet.wait_window()
        start = harness.geometry(window)
        harness.poll(ph.message_boxes, BOX_WAIT, 'the hunger alert')
        harness.screenshot(self.artifact('alert.png'))
        self.assertTrue(pet.running(), 'the program ended at the alert')
        # The step of the first tick comes before its move: the time of day
        # that the pet was started at chose these draws.
        self.assertEqual(harness.geometry(window), start, 'the fish swam before its first tick\'s alert')
        ph.answer_box()
        moved = ph.wait_moved(window, start, BOX_WAIT, 'the fish to swim on after the alert')
        # Two ticks more: the pet has gone on past the step that alerted.
        ph.wait_moved(window, moved, BOX_WAIT, 'the fish to swim on after the alert')
        self.assertTrue(pet.running(), 'the program ended after the alert')
        self.assertEqual(ph.message_boxes(), [], 'another box after the alert')
        self.assertEqual(ph.read_store(pet), store, 'the alert wrote Ph.ini')

    def test_alert_at_20(self):
        self.assert_alert(b'21\r\n')

    def test_alert_at_10(self):
        self.assert_alert(b'11\r\n')


if __name__ == '__main__':
    harness.main()
