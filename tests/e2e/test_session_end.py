#!/usr/bin/env python3
"""Session end: SIGTERM, SIGHUP and SIGINT (logout, a closed terminal,
Ctrl+C) and the session manager's Die at a logout unload the loaded panel, so
Ph.ini holds the pet's copy of the hunger value, and the program ends at once
with status 0, also while a message box waits for its answer."""
import os
import queue
import signal
import subprocess
import threading
import time

import harness
import moments
import panel_helpers as ph
from harness import E2ETest

# The pets' draws: a hunger step at the first tick, copied to the pet's copy
# by the next ticks of state 1, and no other step for 15 s.
CALM = moments.ONE_STEP_THEN_CALM


def wait_copied(pet):
    """Waits until the pet has swum two ticks: its copy holds the first
    tick's step (a tick refreshes the copy before its own step)."""
    window = pet.wait_window()
    first = ph.wait_moved(window, harness.geometry(window), 30, 'the first swim tick')
    ph.wait_moved(window, first, 30, 'a second swim tick')


class SessionEnd(E2ETest):
    def start(self, store, moment):
        pet = self.start_pet(store=store, moment=moment)
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
        pets = [self.start(b'50\r\n', CALM) for _ in signals]
        for pet in pets:
            wait_copied(pet)
        harness.screenshot(self.artifact('swimming.png'))
        for pet, number in zip(pets, signals):
            with self.subTest(signal=signal.Signals(number).name):
                self.assertTrue(pet.running())
                took = self.assert_ends_on(pet, number)
                data = ph.read_store(pet)
                self.assertTrue(ph.store_written(pet), f'Ph.ini not written; it holds {data!r}')
                value = ph.store_number(data)
                self.assertIsNotNone(value, f'Ph.ini holds {data!r}')
                # A day's hunger that is lost shows as 50.
                self.assertEqual(value, 49, 'the pet copy after one hunger step from 50')
                print(f'{signal.Signals(number).name}: ended in {took * 1000:.0f} ms, Ph.ini {value}')

    def test_a_waiting_message_box_does_not_hold_up_the_end(self):
        pet = self.start(b'21\r\n', moments.HUNGER_AT_ONCE)
        pet.wait_window()
        harness.poll(ph.message_boxes, 30, 'the hunger alert')
        harness.screenshot(self.artifact('alert.png'))
        self.assert_ends_on(pet, signal.SIGTERM)
        self.assertTrue(ph.store_written(pet), 'Ph.ini not written')
        # The pet copy is refreshed before the step: it still holds 21.
        self.assertEqual(ph.read_store(pet), b'21\r\n')
        harness.poll(lambda: not ph.message_boxes(), 20, 'the box to go with the program')


class SessionManager:
    """Our own session manager (tests/mini_sm.cpp), read
    line by line."""

    def __init__(self, test):
        self.proc = subprocess.Popen([os.environ['GUIZZOLO_MINI_SM']], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        test.addCleanup(self.proc.stdout.close)
        test.addCleanup(self.proc.stdin.close)
        test.addCleanup(harness.end_process, self.proc)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        self.address = self.expect('SESSION_MANAGER=', 5)[len('SESSION_MANAGER='):]

    def _read(self):
        try:
            for line in self.proc.stdout:
                self.lines.put(line.strip())
        except ValueError:  # closed by the cleanup
            pass

    def expect(self, prefix, timeout):
        deadline = time.monotonic() + timeout
        while True:
            try:
                line = self.lines.get(timeout=max(deadline - time.monotonic(), 0.01))
            except queue.Empty:
                raise AssertionError(f'the session manager did not see "{prefix}..." in {timeout} s')
            if line.startswith(prefix):
                return line

    def shutdown(self):
        self.proc.stdin.write('shutdown\n')
        self.proc.stdin.flush()


class SessionManagerLogout(E2ETest):
    def test_die_at_logout_stores_the_days_hunger(self):
        if not os.environ.get('GUIZZOLO_MINI_SM'):
            self.skipTest('no session manager built')
        manager = SessionManager(self)
        pet = self.start_pet(store=b'50\r\n', env={'SESSION_MANAGER': manager.address}, moment=CALM)
        ph.age_store(pet)
        manager.expect('registered ', 10)
        manager.expect('save-yourself-done ', 10)  # the save after registering
        wait_copied(pet)
        self.assertTrue(pet.running())
        manager.shutdown()
        manager.expect('save-yourself-done ', 5)
        manager.expect('die ', 5)
        sent = time.monotonic()
        try:
            status = pet.proc.wait(3)
        except subprocess.TimeoutExpired:
            self.fail('still running 3 s after the session manager said die')
        self.assertEqual(status, 0)
        data = ph.read_store(pet)
        self.assertTrue(ph.store_written(pet), f'Ph.ini not written; it holds {data!r}')
        value = ph.store_number(data)
        self.assertIsNotNone(value, f'Ph.ini holds {data!r}')
        self.assertEqual(value, 49, 'the pet copy after one hunger step from 50')
        print(f'die: ended in {(time.monotonic() - sent) * 1000:.0f} ms, Ph.ini {value}')
        self.assert_quiet(pet)


if __name__ == '__main__':
    harness.main()
