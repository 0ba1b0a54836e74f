#!/usr/bin/env python3
"""Odd environments: no display (one line on stderr, status 1, no core
dump), scale factors out of range (ignored, said once), and no session bus
(none is started, nothing is left behind)."""
import os
import signal
import time

import harness
import panel_helpers as ph
from harness import E2ETest


class NoDisplay(E2ETest):
    def assert_no_display(self, pet, naming):
        harness.poll(lambda: not pet.running(), 10, 'the program to end')
        self.assertEqual(pet.proc.returncode, 1, 'exit status (134 was an abort with a core dump)')
        out, err = pet.output()
        lines = err.splitlines()
        self.assertEqual(len(lines), 1, f'stderr: {err!r}')
        self.assertIn('no display could be opened', lines[0])
        self.assertIn(naming, lines[0])
        self.assertEqual(out, '')

    def test_display_unset(self):
        self.assert_no_display(self.start_pet(env={'DISPLAY': None}), 'DISPLAY')

    def test_display_pointing_nowhere(self):
        self.assert_no_display(self.start_pet(env={'DISPLAY': ':97.3'}), ':97.3')

    def test_missing_qt_platform_when_the_panel_is_first_needed(self):
        pet = self.start_pet(env={'QT_QPA_PLATFORM': 'nosuchplatform'})
        window = pet.wait_window()
        # The fish needs no Qt: it swims.
        self.assert_moves(pet, window)
        ph.wait_moved(window, harness.geometry(window), 10, 'a swim tick')
        ph.press(window, ph.FISH_POINT, 3)
        self.assert_no_display(pet, 'nosuchplatform')


class ScaleFactors(E2ETest):
    def test_out_of_range_factors_are_ignored_and_said_once(self):
        for value in ('0', '-1', '1000', 'abc'):
            with self.subTest(QT_SCALE_FACTOR=value):
                pet = self.start_pet(env={'QT_SCALE_FACTOR': value})
                window = pet.wait_window()
                self.assertEqual(harness.geometry(window)[2:], (87, 53))
                self.assert_moves(pet, window)
                # The panel (Qt) is not hurt either, and nothing more is said.
                ph.wait_moved(window, harness.geometry(window), 10, 'a swim tick')
                ph.press(window, ph.FISH_POINT, 3)
                panel = ph.wait_panel(pet)
                _, _, w, h = ph.client_rect(panel)
                self.assertEqual((w, h), (326, 93))
                out, err = pet.output()
                lines = err.splitlines()
                self.assertEqual(len(lines), 1, f'stderr: {err!r}')
                self.assertIn(f'QT_SCALE_FACTOR={value}', lines[0])
                self.assertIn('ignored', lines[0])
                pet.stop()


def processes_with_home(home):
    """PIDs of the processes whose environment has this HOME."""
    found = []
    wanted = f'HOME={home}'.encode()
    for pid in filter(str.isdigit, os.listdir('/proc')):
        try:
            with open(f'/proc/{pid}/environ', 'rb') as f:
                if wanted in f.read().split(b'\0'):
                    found.append(int(pid))
        except OSError:
            pass
    return found


class NoSessionBus(E2ETest):
    def test_no_bus_started_and_nothing_left_behind(self):
        runtime = os.path.join(self.tmp, 'runtime')
        os.makedirs(runtime, mode=0o700)
        pet = self.start_pet(env={'DBUS_SESSION_BUS_ADDRESS': None, 'XDG_RUNTIME_DIR': runtime})
        window = pet.wait_window()
        ph.wait_moved(window, harness.geometry(window), 10, 'a swim tick')
        # The panel brings Qt in, with its accessibility bridge and theme.
        ph.press(window, ph.FISH_POINT, 3)
        panel = ph.wait_panel(pet)
        time.sleep(1.5)
        ph.close_panel(pet, panel)
        home = pet.env['HOME']
        others = [p for p in processes_with_home(home) if p != pet.proc.pid]
        pet.stop()
        # A child on its way out is no fault; one still there after 10 s is.
        try:
            harness.poll(lambda: not processes_with_home(home), 10, 'the processes of the pet to end')
        except AssertionError:
            pass
        left = processes_with_home(home)
        for pid in left:  # ours to end, found by the HOME given to the pet
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        names = []
        for pid in others + left:
            try:
                with open(f'/proc/{pid}/cmdline', 'rb') as f:
                    names.append(f.read().replace(b'\0', b' ').decode(errors='replace'))
            except OSError:
                names.append(str(pid))
        self.assertEqual(others, [], f'started beside the pet: {names}')
        self.assertEqual(left, [], f'left behind: {names}')


if __name__ == '__main__':
    harness.main()
