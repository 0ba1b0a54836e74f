#!/usr/bin/env python3
"""At twice the pixels (Xft.dpi 192, or QT_SCALE_FACTOR=2) the fish is drawn
174 x 106 with no key colour, and the panel 652 x 186, as the toolkit draws it."""
import harness
import panel_helpers as ph
from harness import E2ETest


class HiDpi(E2ETest):
    def set_resources(self, text):
        harness.run('xrdb', '-load', '-', input_text=text)

    def check_double(self, pet):
        window = pet.wait_window()
        harness.poll(lambda: harness.geometry(window)[2:] == (174, 106), 20, 'a 174 x 106 window')

        def big_fish():
            # About four times the body of a single-size fish (some 470 pixels).
            colours = harness.count_colours(harness.screenshot())
            return sum(n for c, n in colours.items() if harness.is_fish_blue(c)) > 1500 and colours

        colours = harness.poll(big_fish, 20, 'the fish drawn twice as large (the first tick shows it)')
        harness.screenshot(self.artifact('double.png'))
        self.assertEqual(colours.get(harness.KEY, 0), 0, 'key colour on screen')
        self.assertEqual(sum(n for c, n in colours.items() if harness.is_near_key(c)), 0, 'a cyan fringe')
        ph.wait_moved(window, harness.geometry(window), 10, 'a swim tick')
        harness.click_in_window(window, 2 * ph.FISH_POINT[0], 2 * ph.FISH_POINT[1], 3)
        panel = ph.wait_panel(pet)
        harness.poll(lambda: ph.client_rect(panel) and ph.client_rect(panel)[2:] == (652, 186), 3,
                     f'a 652 x 186 panel (now {ph.client_rect(panel)})')
        self.assert_quiet(pet)

    def test_xft_dpi_192(self):
        saved = harness.run('xrdb', '-query')
        self.addCleanup(self.set_resources, saved)
        self.set_resources(saved + 'Xft.dpi:\t192\n')
        self.check_double(self.start_pet())

    def test_qt_scale_factor_2(self):
        self.check_double(self.start_pet(env={'QT_SCALE_FACTOR': '2'}))


if __name__ == '__main__':
    harness.main()
