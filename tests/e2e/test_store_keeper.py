#!/usr/bin/env python3
"""Who may write Ph.ini, and when: one running pet per store (a second start
on the same store ends at once without touching it); a close request on the
pet window and an X server that goes away both end the program as a logout
does, storing the pet's copy of the hunger value."""
import os
import shutil
import subprocess

import harness
import panel_helpers as ph
from harness import E2ETest


class StoreKeeper(E2ETest):
    def test_a_second_start_on_the_same_store_ends_at_once(self):
        pet = self.start_pet(store=b'54\r\n')
        window = pet.wait_window()
        ph.age_store(pet)
        with open(os.path.join(self.tmp, 'second.out'), 'wb') as out:
            second = subprocess.Popen([os.path.join(pet.folder, 'NuvoNuvo')], cwd=pet.cwd, env=pet.env,
                                      stdout=out, stderr=out)
            try:
                status = second.wait(10)
            except subprocess.TimeoutExpired:
                harness.end_process(second)
                self.fail('a second copy on the same store is still running after 10 s')
        with open(os.path.join(self.tmp, 'second.out'), 'rb') as f:
            said = f.read()
        self.assertEqual(status, 0, 'exit status of the second copy')
        self.assertEqual(said, b'', 'the second copy printed something')
        self.assertFalse(ph.store_written(pet), 'the second copy wrote Ph.ini')
        self.assertTrue(pet.running())
        self.assertEqual(pet.windows(), [window], 'the second copy showed a window')
        # Another folder, another store: a pet of its own.
        self.start_pet(store=b'54\r\n').wait_window()

    def test_a_close_request_on_the_pet_stores_as_a_logout(self):
        pet = self.start_pet(store=b'54\r\n')
        window = pet.wait_window()
        ph.wait_moved(window, harness.geometry(window), 10, 'the first swim tick')
        ph.age_store(pet)
        harness.close_through_window_manager(window)
        harness.poll(lambda: not pet.running(), 20, 'the program to end at the close request')
        self.assertEqual(pet.proc.returncode, 0)
        self.assertTrue(ph.store_written(pet), 'Ph.ini not written')
        self.assertIsNotNone(ph.store_number(ph.read_store(pet)), repr(ph.read_store(pet)))
        self.assert_quiet(pet)

    def test_a_lost_x_server_stores_as_a_logout(self):
        if not shutil.which('Xvfb'):
            self.skipTest('no Xvfb')
        for shown in (False, True):
            with self.subTest(panel='shown' if shown else 'hidden'):
                server, display = self.own_x_server()
                pet = self.start_pet(store=b'54\r\n', env={'DISPLAY': display})
                on = lambda *args: harness._run_here(*args, check=False, display=display)
                window = harness.poll(lambda: on('xdotool', 'search', '--all', '--pid', str(pet.proc.pid),
                                                 '--name', '^Form1$').split(), 10,
                                      f'the pet window on {display} (running: {pet.running()})')[0]
                where = on('xdotool', 'getwindowgeometry', window)
                # A move: the first swim tick has loaded the panel, hidden.
                harness.poll(lambda: on('xdotool', 'getwindowgeometry', window) != where, 10, 'the first move')
                if shown:
                    harness.poll(lambda: on('xdotool', 'mousemove', '--window', window, *map(str, ph.FISH_POINT),
                                            'click', '3') is not None and
                                 on('xdotool', 'search', '--all', '--pid', str(pet.proc.pid), '--name',
                                    f'^{harness.PANEL_TITLE}$').strip(), 10, 'the panel, at a press on the fish')
                ph.age_store(pet)
                harness.end_process(server)
                harness.poll(lambda: not pet.running(), 20, 'the program to end with its X server')
                self.assertEqual(pet.proc.returncode, 1)
                self.assertTrue(ph.store_written(pet), 'Ph.ini not written')
                self.assertIsNotNone(ph.store_number(ph.read_store(pet)), repr(ph.read_store(pet)))

    def own_x_server(self):
        """A private Xvfb of its own (no window manager); returns it and its
        display. The number is one that no server listens on, not even by an
        abstract socket alone (which Xvfb's own choice would miss, and which
        clients try first)."""
        with open('/proc/net/unix') as f:
            taken = f.read()
        for number in range(100 + os.getpid() % 200, 400):
            name = f'/tmp/.X11-unix/X{number}'
            if f'@{name}\n' in taken or os.path.exists(name) or os.path.exists(f'/tmp/.X{number}-lock'):
                continue
            server = subprocess.Popen(['Xvfb', f':{number}', '-screen', '0', '800x600x24', '-nolisten', 'tcp'],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.addCleanup(harness.end_process, server)
            display = f':{number}'
            harness.poll(lambda: server.poll() is not None or
                         subprocess.run(['xdpyinfo'], env=dict(os.environ, DISPLAY=display),
                                        capture_output=True).returncode == 0, 10, f'Xvfb on {display}')
            if server.poll() is None:
                return server, display
        self.fail('no free display number for a private Xvfb')

if __name__ == '__main__':
    harness.main()
