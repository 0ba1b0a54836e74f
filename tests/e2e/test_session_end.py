#!/usr/bin/env python3
"""Session end: SIGTERM, SIGHUP and SIGINT (logout, a closed terminal,
Ctrl+C) unload the loaded panel, so Ph.ini holds the pet's copy of the hunger
value, and the program ends at once with status 0, also while a message box
waits for its answer."""
import os
import signal
import subprocess
import time

import harness
import panel_helpers as ph
from harness import E2ETest

SWIM = 25  # seconds: some 60 state-1 ticks, about six hunger steps


class SessionEnd(E2ETest):
    def start(self, store):
        pet = self.start_pet(store=store)
        ph.age_store(pet)
        return pet

    def assert_ends_on(self, pet, number):
        sent = time.monotonic()
        os.kill(pet.proc.pid, number)
        try:
            status = pet.proc.wait(3)
        except subprocess.TimeoutExpired:
            self.fail(f'still running 3 s after signal {number}')
        took = time.monotonic() - sent
        self.assertEqual(status, 0, f'exit status after signal {number}')
        self.assertLess(took, 1.0, f'{took:.2f} s to end after signal {number}')
        self.assert_quiet(pet)
        return took

    def test_each_ending_signal_stores_the_days_hunger(self):
        signals = (signal.SIGTERM, signal.SIGHUP, signal.SIGINT)
        pets = [self.start(b'50\r\n') for _ in signals]
        for pet in pets:
            pet.wait_window()
        time.sleep(SWIM)
        harness.screenshot(self.artifact('swimming.png'))
        for pet, number in zip(pets, signals):
            with self.subTest(signal=signal.Signals(number).name):
                self.assertTrue(pet.running())
                took = self.assert_ends_on(pet, number)
                data = ph.read_store(pet)
                self.assertTrue(ph.store_written(pet), f'Ph.ini not written; it holds {data!r}')
                value = ph.store_number(data)
                self.assertIsNotNone(value, f'Ph.ini holds {data!r}')
                self.assertTrue(30 <= value < 50, f'the pet copy {value} after {SWIM} s of swimming from 50')
                print(f'{signal.Signals(number).name}: ended in {took * 1000:.0f} ms, Ph.ini {value}')

    def test_a_waiting_message_box_does_not_hold_up_the_end(self):
        pet = self.start(b'21\r\n')
        pet.wait_window()
        harness.poll(ph.message_boxes, 40, 'the hunger alert')
        harness.screenshot(self.artifact('alert.png'))
        self.assert_ends_on(pet, signal.SIGTERM)
        self.assertTrue(ph.store_written(pet), 'Ph.ini not written')
        # The pet copy is refreshed before the step: it still holds 21.
        self.assertEqual(ph.read_store(pet), b'21\r\n')
        harness.poll(lambda: not ph.message_boxes(), 3, 'the box to go with the program')


if __name__ == '__main__':
    harness.main()
