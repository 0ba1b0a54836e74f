#!/usr/bin/env python3
"""The start-up sound plays; without sound files or audio server the pet
swims just the same and says nothing."""
import os
import time

import harness
from harness import E2ETest

SILENCE = 0.001  # RMS; the null sink gives exact zeros when nothing plays
HEARD = 0.01


class Sound(E2ETest):
    def test_startup_sound_reaches_the_sink(self):
        recording = self.record()
        # Only the start-up sound: no swim sound can stand in for it.
        pet = self.start_pet(sounds=('Sound.wav',))
        heard = harness.poll(lambda: recording.peak() > HEARD and time.monotonic() - pet.started,
                             2.5, 'the start-up sound at the audio server')
        time.sleep(0.5)
        recording.stop()
        rms = recording.rms()
        print(f'sound heard {heard:.2f} s after start; RMS of {recording.seconds():.1f} s: {rms:.4f}')
        self.assertGreater(rms, HEARD, 'the start-up sound did not reach the audio server')
        self.assertIsNotNone(pet.pet_window())

    def test_without_sound_files(self):
        recording = self.record()
        pet = self.start_pet(sounds=())
        self.assert_swims_quietly(pet)
        recording.stop()
        self.assertLess(recording.rms(), SILENCE, 'something played without sound files')

    def test_with_an_audio_server_that_never_answers(self):
        server = self.silent_server()
        pet = self.start_pet(env={'PULSE_SERVER': 'unix:' + server.path})
        self.assert_swims_quietly(pet)
        self.assertGreater(server.connections(), 0, 'the program never tried the audio server')

    def test_without_an_audio_server(self):
        absent = os.path.join(self.tmp, 'no-server.socket')
        pet = self.start_pet(env={'PULSE_SERVER': 'unix:' + absent})
        self.assert_swims_quietly(pet)

    def assert_swims_quietly(self, pet):
        window = pet.wait_window(timeout=3)
        self.assert_moves(pet, window)
        harness.poll(lambda: time.monotonic() - pet.started >= 3, 3, '3 s')
        self.assert_moves(pet, window)
        self.assertTrue(pet.running(), 'the program ended')
        self.assert_quiet(pet)


if __name__ == '__main__':
    harness.main()
