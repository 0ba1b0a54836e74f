#!/usr/bin/env python3
"""Typing into another program while the fish swims loses nothing."""
import os
import threading
import time

import harness
import panel_helpers as ph
from harness import E2ETest

TEXT = 'Il guizzolo nuota: 0123456789 abc XYZ'


class Keyboard(E2ETest):
    def test_typing_while_the_fish_swims(self):
        pet = self.start_pet()
        pet_window = pet.wait_window()
        typed = os.path.join(self.tmp, 'typed.txt')
        terminal = self.start_xterm('typing', '60x10+300+250',
                                    command=('sh', '-c', f'exec cat > "{typed}"'))
        harness.activate(terminal)
        # Let the pet tick a few times with the terminal active first.
        moved = ph.wait_moved(pet_window, harness.geometry(pet_window), 30, 'a swim tick')
        ph.wait_moved(pet_window, moved, 30, 'another swim tick')

        active_seen = set()
        stop = threading.Event()

        def watch():
            while not stop.is_set():
                active_seen.add(harness.active_window())
                time.sleep(0.03)

        watcher = threading.Thread(target=watch)
        watcher.start()
        try:
            # About 3 s of typing to the focused window (xdotool waits half
            # the delay after each key press and half after each release).
            harness.run('xdotool', 'type', '--delay', '160', TEXT, timeout=30)
            harness.run('xdotool', 'key', 'Return')
        finally:
            stop.set()
            watcher.join()

        def arrived():
            with open(typed, encoding='utf-8', errors='replace') as f:
                return f.read()
        got = harness.poll(lambda: os.path.exists(typed) and arrived().endswith('\n') and arrived(),
                           3, 'the typed line in the file')
        self.assertEqual(got, TEXT + '\n', 'typed characters were lost or changed')
        self.assertNotIn(pet_window, active_seen, 'the pet took the activation while typing')
        self.assertEqual(active_seen, {terminal}, 'the activation moved while typing')
        self.assertTrue(pet.running())


if __name__ == '__main__':
    harness.main()
