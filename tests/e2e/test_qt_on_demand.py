#!/usr/bin/env python3
"""Qt only when it is needed: a fish that swims and is never pressed has no
Qt library in its memory; a press brings the panel (Qt Widgets) up, and the
fish swims on when it is closed."""
import time

import harness
import panel_helpers as ph
from harness import E2ETest


def qt_libraries(pet):
    with open(f'/proc/{pet.proc.pid}/maps') as f:
        return sorted({line.split()[-1] for line in f if 'libQt6' in line})


class QtOnDemand(E2ETest):
    def test_no_qt_while_swimming_then_the_panel(self):
        recording = self.record()
        pet = self.start_pet(sounds=('Sound.wav',))
        window = pet.wait_window()
        # The start-up sound plays without Qt too.
        harness.poll(lambda: recording.peak() > 0.01, 20, 'the start-up sound')
        harness.poll(lambda: time.monotonic() - pet.started >= 3, 20, '3 s of swimming')
        self.assert_moves(pet, window, interval=0.5)
        self.assertEqual(qt_libraries(pet), [], 'Qt loaded by a fish that was never pressed')
        with open(f'/proc/{pet.proc.pid}/status') as f:
            rss = next(int(line.split()[1]) for line in f if line.startswith('VmRSS'))
        print(f'resident while swimming: {rss} kB')

        ph.wait_moved(window, harness.geometry(window), 10, 'a swim tick')
        ph.press(window, ph.FISH_POINT, 3)
        panel = ph.wait_panel(pet)
        self.assertIn('libQt6Widgets.so.6', ' '.join(qt_libraries(pet)))
        ph.age_store(pet)
        ph.close_panel(pet, panel)
        harness.poll(lambda: ph.store_written(pet), 20, 'the store written by the close box')
        ph.wait_moved(window, harness.geometry(window), 10, 'the fish to swim on after the panel')
        self.assertTrue(pet.running())
        self.assert_quiet(pet)


if __name__ == '__main__':
    harness.main()
