#!/usr/bin/env python3
"""What the pet, its panel and its message boxes tell the window manager:
no taskbar entry, never a demand for attention, a panel with a frame, a title
and a close box, and no owner window that is not on the screen."""
import re
import time

import harness
import panel_helpers as ph
from harness import E2ETest

UTILITY = '_NET_WM_WINDOW_TYPE_UTILITY'
TOOLBAR = '_NET_WM_WINDOW_TYPE_TOOLBAR'
# Openbox keeps minimise on any utility window whatever the Motif hints
# ask, but lets a toolbar one be closed; mutter and KWin do not.
OPENBOX = ('openbox', 'openbox-picom', 'openbox-xcompmgr')


def allowed_actions(window):
    return set(re.findall(r'_NET_WM_ACTION_\w+', harness.run(
        'xprop', '-id', str(window), '_NET_WM_ALLOWED_ACTIONS', check=False)))


def transient_for(window):
    """The window named by WM_TRANSIENT_FOR, or None."""
    ids = harness._window_ids(harness.run('xprop', '-id', str(window), 'WM_TRANSIENT_FOR',
                                          check=False))
    return ids[0] if ids else None


class DesktopHints(E2ETest):
    def open_panel(self, pet):
        window = pet.wait_window()
        ph.wait_moved(window, harness.geometry(window), 10, 'the first swim tick')
        ph.press(window, ph.FISH_POINT, 3)
        return window, ph.wait_panel(pet)

    def test_pet_has_no_taskbar_entry(self):
        if not harness.supported('_NET_WM_STATE_SKIP_TASKBAR'):
            self.skipTest(f'{harness.KIND} has no taskbar')
        pet = self.start_pet()
        window = pet.wait_window()
        wanted = {'_NET_WM_STATE_SKIP_TASKBAR'}
        if harness.supported('_NET_WM_STATE_SKIP_PAGER'):  # fluxbox knows no pager
            wanted.add('_NET_WM_STATE_SKIP_PAGER')
        harness.poll(lambda: wanted <= harness.wm_state(window), 30,
                     'the pet marked skip taskbar and pager')
        # Still so after ticks, which show the pet and put it on top again.
        moved = ph.wait_moved(window, harness.geometry(window), 30, 'a swim tick')
        ph.wait_moved(window, moved, 30, 'another swim tick')
        self.assertIn('_NET_WM_STATE_SKIP_TASKBAR', harness.wm_state(window))

    def test_pet_never_demands_attention(self):
        pet = self.start_pet()
        window = pet.wait_window()
        other = self.start_xterm('ordinary', '80x20+400+300')
        harness.activate(other)
        deadline = time.monotonic() + 3
        while time.monotonic() < deadline:
            state = harness.wm_state(window)
            self.assertNotIn('_NET_WM_STATE_DEMANDS_ATTENTION', state,
                             f'the pet asks for attention ({time.monotonic() - pet.started:.1f} s '
                             'after start)')
            time.sleep(0.1)

    def test_panel_is_a_framed_utility_window_with_a_close_box(self):
        pet = self.start_pet(store=b'50\r\n')
        _, panel = self.open_panel(pet)
        time.sleep(0.5)
        self.assertEqual(harness.property_atoms(panel, '_NET_WM_WINDOW_TYPE'),
                         [TOOLBAR if harness.KIND in OPENBOX else UTILITY], 'the panel window type')
        _, _, top, _ = ph.frame_extents(panel)
        if harness.KIND not in NO_FRAME_EXTENTS:
            self.assertGreater(top, 0, 'the panel has no title bar')
        actions = allowed_actions(panel)
        if actions:  # where the window manager publishes them
            self.assertIn('_NET_WM_ACTION_CLOSE', actions, 'the panel cannot be closed')
            kept = actions & {'_NET_WM_ACTION_MINIMIZE', '_NET_WM_ACTION_MAXIMIZE_HORZ',
                              '_NET_WM_ACTION_MAXIMIZE_VERT'}
            self.assertEqual(kept, set(), 'the panel can be minimised or maximised')
        harness.keep_screenshot(self.artifact('panel-frame.png'))

    def test_panel_and_message_boxes_name_no_hidden_owner(self):
        pet = self.start_pet(store=b'50\r\n')
        _, panel = self.open_panel(pet)
        owner = transient_for(panel)
        if owner is not None:
            self.assertTrue(ph.mapped(owner), f'the panel is transient for 0x{owner:x}, '
                            'a window not on the screen')
        ph.click_panel(panel, ph.centre(ph.EXIT))
        box = harness.poll(ph.message_boxes, 20, 'the credit box')[0]
        owner = transient_for(box)
        try:
            if owner is not None:
                self.assertTrue(ph.mapped(owner), f'the message box is transient for 0x{owner:x}, '
                                'a window not on the screen')
        finally:
            ph.answer_box()
            ph.wait_exit(pet)


# Window managers that draw frames but publish no _NET_FRAME_EXTENTS for
# them.
NO_FRAME_EXTENTS = ('weston-nested',)


if __name__ == '__main__':
    harness.main()
