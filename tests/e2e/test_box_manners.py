#!/usr/bin/env python3
"""Message boxes: one that opens during a drag gets the pointer, and one that
opens while another program is typed in leaves it the keyboard."""
import os
import threading

import harness
import moments
import panel_helpers as ph
from harness import E2ETest


class BoxManners(E2ETest):
    def test_box_opened_during_a_drag_gets_the_pointer(self):
        # The first hunger step, at tick 29, brings the alert at 20; the drag
        # keeps the swim ticks (and hunger steps) running.
        pet = self.start_pet(store=b'21\r\n', moment=moments.ALERT_AFTER_A_WHILE)
        window = pet.wait_window()
        ph.wait_moved(window, harness.geometry(window), 10, 'a swim tick')
        harness.run('xdotool', 'mousemove', '--window', str(window), *map(str, ph.FISH_POINT), 'mousedown', '1')
        try:
            self.assertEqual(ph.message_boxes(), [], 'the alert came before the drag began')
            box = harness.poll(ph.message_boxes, 30, 'the hunger alert during the drag')[0]
        finally:
            harness.run('xdotool', 'mouseup', '1')
        place = harness.geometry(window)
        x, y, w, h = harness.geometry(box)
        # A click on the box reaches it: it becomes the active window. While
        # the drag's grab held the pointer, no click reached any window.
        harness.click(x + w // 2, y + 10)
        harness.poll(lambda: harness.active_window() == box, 20, 'the box activated by a click')
        harness.run('xdotool', 'key', 'Return')
        harness.poll(lambda: box not in ph.message_boxes(), 20, 'the box to close on Return')
        # The drag is over where it was (no snap back, no hang): the press
        # goes on to show the panel. The tick that opened the box still takes
        # its own step afterwards, and one more tick may fall before the
        # press handler stops the timers (at most 200 twips, 14 pixels, each
        # way and tick).
        ph.wait_panel(pet)
        after = harness.geometry(window)
        self.assertTrue(abs(after[0] - place[0]) <= 28 and abs(after[1] - place[1]) <= 28,
                        f'the fish jumped from {place} to {after} after the box')
        self.assertTrue(pet.running())

    def test_alert_leaves_the_keyboard_to_the_program_typed_in(self):
        typed = os.path.join(self.tmp, 'typed.txt')
        terminal = self.start_xterm('typing', '60x10+300+450', command=('sh', '-c', f'exec cat > "{typed}"'))
        harness.activate(terminal)
        pet = self.start_pet(store=b'21\r\n', moment=moments.ALERT_AFTER_A_WHILE)
        pet.wait_window()
        harness.activate(terminal)
        stop = threading.Event()
        sent = []
        active = set()

        def type_on():
            n = 0
            while not stop.is_set():
                word = f'w{n} '
                harness.run('xdotool', 'type', '--delay', '20', word, check=False)
                sent.append(word)
                active.add(harness.active_window())
                n += 1

        typist = threading.Thread(target=type_on)
        typist.start()
        try:
            box = harness.poll(ph.message_boxes, 30, 'the hunger alert')[0]
            # Typing goes on under the open alert: a few more words.
            under = len(sent)
            harness.poll(lambda: len(sent) >= under + 3, 30, 'words typed under the alert')
        finally:
            stop.set()
            typist.join()
        harness.screenshot(self.artifact('alert-over-typing.png'))
        self.assertEqual(active, {terminal}, 'the alert took the activation from the terminal')
        self.assertIn(box, harness.stacking()[-3:], 'the alert is not above the other windows')
        harness.run('xdotool', 'type', '--delay', '20', 'after-the-alert')
        harness.run('xdotool', 'key', 'Return')  # meant for the terminal
        # The terminal hands the line to cat at the Return: once it is in the
        # file, the Return has been taken, and by the terminal.
        harness.poll(lambda: 'after-the-alert' in open(typed).read(), 30, 'the keys typed under the alert in the terminal')
        self.assertIn(box, ph.message_boxes(), 'a Return meant for the terminal answered the alert')
        # Answered with a click and Return, as today.
        ph.answer_box()
        self.assertTrue(pet.running())


if __name__ == '__main__':
    harness.main()
