#!/usr/bin/env python3
"""Exits 0 when the screenshot shows the fish (enough of its blue body) and
no pixel of the key colour nor anything cyan-like left by blending it.

    fish_in_screenshot.py SCREENSHOT.png
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'e2e'))
from PIL import Image  # noqa: E402

from harness import count_colours, is_fish_blue, is_near_key  # noqa: E402

# The fish's blue body covers about 470 pixels at 96 dpi, its smallest size
# on the virtual desktop; a stray icon or cursor has no such blue.
MIN_FISH_PIXELS = 200


def main(path):
    colours = count_colours(Image.open(path).convert('RGB'))
    fish = sum(n for c, n in colours.items() if is_fish_blue(c))
    key = sum(n for c, n in colours.items() if is_near_key(c))
    print(f'{path}: {fish} fish-blue pixels, {key} key-coloured or cyan-like pixels')
    return 0 if fish >= MIN_FISH_PIXELS and key == 0 else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
