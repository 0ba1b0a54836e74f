#!/usr/bin/env python3
"""The start-up sound plays; without sound files or audio server the pet
swims just the same and says nothing. Against the desktop's audio server,
or, with GUIZZOLO_E2E_SOUND_SERVER=pipewire, against PipeWire's pulse server
(which takes a new client's first sound only once it has set up its sink)."""
import os
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import harness
import moments
import panel_helpers as ph
from harness import E2ETest

# Swim sounds every second or two from the start (see moments).
SOUNDS = moments.SOUNDS_OFTEN
SILENCE = 0.001  # RMS; the null sink gives exact zeros when nothing plays
HEARD = 0.01


AUDIO_SERVER = os.path.join(harness.REPO, 'scripts', 'audio-server.sh')
# The run of this test against PipeWire (its second registration) starts
# its own PipeWire, WirePlumber and pulse server and plays into that.
WANTED_SERVER = os.environ.get('GUIZZOLO_E2E_SOUND_SERVER')


class PrivateServer:
    """An audio server of the test's own, of the desktop's kind and with a
    null sink of the same name (scripts/audio-server.sh), that the test can
    stop, kill and start again on the same socket."""

    def __init__(self, folder, kind=None):
        self.folder = folder
        self.kind = kind or os.environ.get('GUIZZOLO_SOUND_SERVER', 'pulseaudio')
        self.env = {}

    def start(self):
        subprocess.run([AUDIO_SERVER, 'start', self.folder, self.kind], check=True, timeout=120,
                       stdout=subprocess.DEVNULL)
        with open(os.path.join(self.folder, 'env')) as f:
            for line in f:
                name, _, value = line.removeprefix('export ').strip().partition('=')
                self.env[name] = shlex.split(value)[0]
        self.server = self.env['PULSE_SERVER']
        return self

    def pid(self):
        with open(os.path.join(self.folder, 'server.pid')) as f:
            return int(f.read())

    def signal(self, number):
        os.kill(self.pid(), number)

    def kill(self):
        if os.path.exists(os.path.join(self.folder, 'server.pid')):
            os.kill(self.pid(), signal.SIGCONT)
            subprocess.run([AUDIO_SERVER, 'stop', self.folder], check=True, timeout=60)


def setUpModule():
    if WANTED_SERVER and WANTED_SERVER != os.environ.get('GUIZZOLO_SOUND_SERVER', 'pulseaudio'):
        server = PrivateServer(tempfile.mkdtemp(prefix='guizzolo-e2e-sound-'), WANTED_SERVER)
        unittest.addModuleCleanup(shutil.rmtree, server.folder, True)
        unittest.addModuleCleanup(server.kill)
        os.environ.update(server.start().env)
    print(f'audio server: {os.environ.get("GUIZZOLO_SOUND_SERVER", "pulseaudio")}')


class Sound(E2ETest):
    def test_startup_sound_reaches_the_sink(self):
        recording = self.record()
        # Only the start-up sound, and a clock that brings no swim sound in
        # the first 15 s: no swim sound can stand in for it.
        pet = self.start_pet(sounds=('Sound.wav',), moment=moments.NO_SOUND)
        heard = harness.poll(lambda: recording.peak() > HEARD and time.monotonic() - pet.started,
                             15, 'the start-up sound at the audio server')
        time.sleep(0.5)
        recording.stop()
        rms = recording.rms()
        print(f'sound heard {heard:.2f} s after start; RMS of {recording.seconds():.1f} s: {rms:.4f}')
        self.assertGreater(rms, HEARD, 'the start-up sound did not reach the audio server')
        self.assertIsNotNone(pet.pet_window())

    def test_without_sound_files(self):
        recording = self.record()
        pet = self.start_pet(sounds=(), moment=SOUNDS)
        self.assert_swims_quietly(pet)
        recording.stop()
        self.assertLess(recording.rms(), SILENCE, 'something played without sound files')

    def test_with_an_audio_server_that_never_answers(self):
        server = self.silent_server()
        pet = self.start_pet(env={'PULSE_SERVER': 'unix:' + server.path}, moment=SOUNDS)
        self.assert_swims_quietly(pet)
        self.assertGreater(server.connections(), 0, 'the program never tried the audio server')

    def test_without_an_audio_server(self):
        absent = os.path.join(self.tmp, 'no-server.socket')
        pet = self.start_pet(env={'PULSE_SERVER': 'unix:' + absent}, moment=SOUNDS)
        self.assert_swims_quietly(pet)

    def test_with_an_audio_server_that_stops_answering(self):
        server = PrivateServer(os.path.join(self.tmp, 'sound'))
        self.addCleanup(server.kill)
        server.start()
        recording = self.record(server.server)
        pet = self.start_pet(env={'PULSE_SERVER': server.server}, moment=SOUNDS)
        harness.poll(lambda: recording.peak() > HEARD, 10, 'the start-up sound')
        recording.stop()
        server.signal(signal.SIGSTOP)
        # Connected, and every later sound goes to a server that never answers:
        # the fish swims on, never held up, past three of them.
        window = pet.wait_window(timeout=10)
        self.swim_past_sounds(pet, window, 3)
        self.assertTrue(pet.running(), 'the program ended')
        self.assert_quiet(pet)

    def test_plays_again_after_the_audio_server_restarts(self):
        server = PrivateServer(os.path.join(self.tmp, 'sound'))
        self.addCleanup(server.kill)
        server.start()
        recording = self.record(server.server)
        pet = self.start_pet(env={'PULSE_SERVER': server.server}, moment=SOUNDS)
        window = pet.wait_window(timeout=10)
        harness.poll(lambda: recording.peak() > HEARD, 10, 'the start-up sound')
        recording.stop()
        server.kill()
        # Sounds come while the server is away: they stay silent, and must not
        # leave the program silent for good.
        self.swim_past_sounds(pet, window, 2)
        server.start()
        recording = self.record(server.server)
        # The moment brings more sounds: one a second or two until 8 s from
        # the start, others at 12 s and 30 s.
        waited = harness.poll(lambda: recording.peak() > HEARD and time.monotonic() - recording.started,
                              60, 'a sound after the audio server came back')
        print(f'heard again {waited:.1f} s after the server came back')
        self.assertTrue(pet.running(), 'the program ended')
        self.assert_quiet(pet)

    def swim_past_sounds(self, pet, window, count):
        """Follows the fish until it has swum past count sounds of its moment
        from where it is now. A sound that held up the ticks (an audio server
        that never answered once held them for 30 s) shows as a fish that
        does not move for 3 s, which its swim never does."""
        swim = moments.Swim(SOUNDS, SOUNDS.ticks)
        now = swim.latest_tick(window)
        last = [n for n in swim.ticks_with('s') if n > now][count - 1]
        place = harness.geometry(window)
        while not swim.past(window, last):
            self.assertTrue(pet.running(), 'the program ended')
            place = ph.wait_moved(window, place, 3, 'the fish to move within 3 s')

    def assert_swims_quietly(self, pet):
        window = pet.wait_window(timeout=10)
        self.swim_past_sounds(pet, window, 3)
        self.assertTrue(pet.running(), 'the program ended')
        self.assert_quiet(pet)


if __name__ == '__main__':
    if WANTED_SERVER == 'pipewire' and not all(map(shutil.which, ('pipewire', 'wireplumber', 'pipewire-pulse'))):
        print('pipewire, wireplumber and pipewire-pulse are needed')
        sys.exit(77)
    harness.main()
