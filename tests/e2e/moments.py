"""Moments of the day to stop a pet's wall clock at, so that a test knows its
swim in advance instead of waiting for chance.

The program seeds its draws once, at load, from the seconds since midnight;
libfaketime (Debian's faketime) stops the wall clock of the pet's process at
a chosen moment, while the monotonic clock that drives the ticks runs on
(FAKETIME_DONT_FAKE_MONOTONIC). Each moment below was found once with

    build/swim_moments find PATTERN TICKS STORE

which runs the program's own load, ticks and draws on the fake desktop and
lists the moments whose swim matches PATTERN (one token a tick: the state,
h for a hunger step, then m move, t turn, s sound, e edge, d death, and !
for a hunger alert). The tests check that what the moment brings does
happen, and the harness checks, where the tool is built beside the program,
that the moment still brings it (it would not after a change to the draws).
"""
import glob
import os
import re
import subprocess

import harness

SWIM_MOMENTS = os.path.join(os.path.dirname(harness.EXE), 'swim_moments')
_LIBRARY = sorted(glob.glob('/usr/lib/*/faketime/libfaketime.so.1'))


class Moment:
    def __init__(self, clock, pattern, ticks, store='100'):
        self.clock = clock      # HH:MM:SS
        self.pattern = pattern  # what swim_moments found there
        self.ticks = ticks
        self.store = store      # the Ph.ini it was found with ('-': none)
        self._checked = False

    def env(self):
        """The environment that stops the pet's wall clock at this moment."""
        if not _LIBRARY:
            raise AssertionError('libfaketime is missing (scripts/deps.sh test installs it)')
        if not self._checked:
            self.check()
        return {'LD_PRELOAD': _LIBRARY[0], 'FAKETIME': f'2026-01-01 {self.clock}',
                'FAKETIME_DONT_FAKE_MONOTONIC': '1'}

    def check(self):
        """Fails when the tool says the moment no longer brings its pattern."""
        self._checked = True
        if not os.access(SWIM_MOMENTS, os.X_OK):
            return
        tokens = ' '.join(token for token, _ in self.path(self.ticks))
        if not re.search(self.pattern, tokens):
            raise AssertionError(f'{self.clock} no longer brings {self.pattern!r} (its swim: {tokens}); '
                                 f'find another with: swim_moments find PATTERN {self.ticks} {self.store}')

    def path(self, ticks):
        """[(token, (x, y))]: each tick's token and the pet window's place after it."""
        out = subprocess.run([SWIM_MOMENTS, 'path', self.clock, str(ticks), self.store],
                             capture_output=True, text=True, check=True, timeout=30).stdout
        return [(token, (int(x), int(y))) for token, x, y in (line.split() for line in out.splitlines())]


# Tick 1 makes a hunger step, and no other comes for six seconds: a store of
# 21 shows the alert at once, 11 too, 1 (and anything not a number) dies.
HUNGER_AT_ONCE = Moment('00:01:16', r'^1hm! 1[mse]( [1-4][mste]){60}', 62, '21')

# Ticks 1, 2 and 11 make hunger steps: from 1 the fish dies at tick 1, and
# a tick that ran while the death message waits would bring another at once.
STEPS_AT_ONCE = Moment('00:00:03', r'^1hm! 1hm( 1[mse]){8} 1hm', 11, '21')

# Tick 1 makes a hunger step, the next ticks (the first 1.6 s) stay in
# state 1 and copy it to the pet's copy, and no other step comes for 15 s:
# from 50 the pet keeps 49.
ONE_STEP_THEN_CALM = Moment('01:07:35', r'^1hm( 1[mse]){15}( [1-4][mste]){135}', 152, '50')

# The first hunger step comes at tick 29 (the alert, from 21), after more
# than two seconds of swimming in all four states.
ALERT_AFTER_A_WHILE = Moment('00:00:11', r'^1[mste]( [1-4][mste]){19,30} 1hm!', 40, '21')

# The first five seconds all in state 1: the fish faces right.
FACING_RIGHT_FOR_5_SECONDS = Moment('00:03:28', r'^1h?[mse]( 1h?[mse]){49}', 50, '50')

# No sound in the first 15 s.
NO_SOUND = Moment('00:00:13', r'^([1-4]h?[mte] ){150}', 151)

# A sound every one or two seconds for the first eight seconds (ticks 3 to
# 81), and more after 12 s and 30 s.
SOUNDS_OFTEN = Moment('22:46:12', r'^(\S+ ){0,15}(\S*s (\S+ ){0,15}){15}', 400)


class Swim:
    """A pet's swim from its moment: each tick's token and place, to tell
    from the pet window's place how far the swim has got."""

    def __init__(self, moment, ticks):
        self.path = moment.path(ticks)

    def ticks_with(self, kind):
        """The ticks (numbered from 1) whose token ends in kind ('s', 'm', ...)."""
        return [n for n, (token, _) in enumerate(self.path, 1) if token.endswith(kind)]

    def latest_tick(self, window, timeout=30):
        """Waits until the pet window stands at a place of the swim; returns
        the last tick that it may be at (a tick that does not move leaves
        it where the one before did)."""
        def tick():
            g = harness.geometry(window)
            for n, (_, place) in enumerate(self.path, 1):
                if g and place == g[:2]:
                    while n < len(self.path) and self.path[n][1] == place:
                        n += 1
                    return n
            return None
        return harness.poll(tick, timeout, 'the pet at a place of its swim', interval=0.02)

    def past(self, window, tick):
        """Whether the pet window stands where only a tick after tick puts it."""
        earlier = {place for _, place in self.path[:tick]}
        g = harness.geometry(window)
        return bool(g) and g[:2] not in earlier and any(place == g[:2] for _, place in self.path[tick:])
