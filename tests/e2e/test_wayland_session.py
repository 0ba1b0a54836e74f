#!/usr/bin/env python3
"""In a Wayland session with XWayland, the pet runs on X11."""
import time

import harness
from harness import E2ETest


class WaylandSession(E2ETest):
    def test_pet_chooses_x11_when_a_display_is_there(self):
        pet = self.start_pet(env={'WAYLAND_DISPLAY': 'wayland-0', 'XDG_SESSION_TYPE': 'wayland',
                                  'QT_QPA_PLATFORM': None})
        window = pet.wait_window()
        self.assertIn('_NET_WM_STATE_ABOVE', harness.wm_state(window))
        self.assert_moves(pet, window)
        harness.poll(lambda: time.monotonic() - pet.started >= 3, 20, '3 s of swimming')
        self.assert_quiet(pet)


if __name__ == '__main__':
    harness.main()
