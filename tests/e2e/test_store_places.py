#!/usr/bin/env python3
"""Where the hunger value goes: beside the real executable whatever its
folder is called, through a symlinked Ph.ini, without a killed writer's
leftovers, and into the user's own copy when the program folder is read-only
(run as the user nobody, for whom permissions hold)."""
import os
import shutil
import stat
import subprocess
import time

import harness
import panel_helpers as ph
from harness import E2ETest

NOBODY = 65534


class PetAsNobody(harness.Pet):
    """The program run as the user nobody, with a home of its own."""

    def __init__(self, folder, **options):
        super().__init__(folder, **options)
        os.chown(self.env['HOME'], NOBODY, NOBODY)
        for name in ('XDG_STATE_HOME', 'XDG_RUNTIME_DIR', 'XDG_CONFIG_HOME', 'XDG_CACHE_HOME'):
            self.env.pop(name, None)

    def start(self):
        self._out = open(os.path.join(self.cwd, 'stdout'), 'wb')
        self._err = open(os.path.join(self.cwd, 'stderr'), 'wb')
        self.started = time.monotonic()
        self.proc = subprocess.Popen(
            ['setpriv', f'--reuid={NOBODY}', f'--regid={NOBODY}', '--clear-groups', '--',
             os.path.join(self.folder, 'NuvoNuvo')],
            cwd=self.cwd, env=self.env, stdout=self._out, stderr=self._err)
        return self

    def user_store(self):
        return os.path.join(self.env['HOME'], '.local', 'state', 'guizzolo', 'Ph.ini')


def aged(path):
    """Dates a file back to 2001, so that a later write shows in its mtime."""
    os.utime(path, (1e9, 1e9), follow_symlinks=True)
    return path


def written(path):
    try:
        return os.stat(path).st_mtime > 1e9 + 1
    except FileNotFoundError:
        return False


def read(path):
    try:
        with open(path, 'rb') as f:
            return f.read()
    except FileNotFoundError:
        return None


class StorePlaces(E2ETest):
    def close_panel_once(self, pet):
        """After the first swim tick, a right press on the fish shows the
        panel and its close box stores the pet's copy of the value."""
        window = pet.wait_window()
        ph.wait_moved(window, harness.geometry(window), 10, 'the first swim tick')
        ph.press(window, ph.FISH_POINT, 3)
        ph.close_panel(pet, ph.wait_panel(pet))

    def own_pet(self, pet):
        self.addCleanup(self._keep_output, pet, 0)
        self.addCleanup(pet.stop)
        return pet.start()

    def test_a_folder_named_in_no_encoding_keeps_its_store(self):
        # Latin-1 "è" and a lone UTF-8 lead byte: not valid UTF-8.
        folder = os.path.join(self.tmp, os.fsdecode(b'Tarvisio \xe8 \xc3'))
        root_store_before = os.path.exists('/Ph.ini')
        pet = harness.Pet(folder, store=b'50\r\n')
        aged(ph.store_path(pet))
        self.own_pet(pet)
        self.close_panel_once(pet)
        harness.poll(lambda: written(ph.store_path(pet)), 20, 'the panel to store the value beside the program')
        self.assertIn(ph.store_number(ph.read_store(pet)), range(40, 51))
        self.assertEqual(os.path.exists('/Ph.ini'), root_store_before, 'a store at /Ph.ini')
        self.assertTrue(pet.running())

    def test_a_symlinked_store_is_written_through_and_leftovers_go(self):
        pet = harness.Pet(os.path.join(self.tmp, 'program'), store=None)
        data = os.path.join(self.tmp, 'data')
        os.makedirs(data)
        with open(os.path.join(data, 'real.ini'), 'wb') as f:
            f.write(b'50\r\n')
        aged(os.path.join(data, 'real.ini'))
        os.symlink('../data/real.ini', ph.store_path(pet))
        # What a writer killed in the middle leaves, in the target's folder.
        leftover = os.path.join(data, '.real.ini.new-Ab12Cd')
        with open(leftover, 'wb') as f:
            f.write(b'7')
        self.own_pet(pet)
        self.close_panel_once(pet)
        harness.poll(lambda: written(os.path.join(data, 'real.ini')), 5,
                     'the value to reach the file the link points to')
        self.assertTrue(os.path.islink(ph.store_path(pet)), 'the link was replaced by a file')
        self.assertIn(ph.store_number(read(os.path.join(data, 'real.ini'))), range(40, 51))
        self.assertEqual(sorted(os.listdir(data)), ['real.ini'], 'leftovers stay')

    def test_a_read_only_program_folder_keeps_the_value_in_the_users_copy(self):
        os.chmod(self.tmp, 0o755)
        folder = os.path.join(self.tmp, 'program')
        first = PetAsNobody(folder, store=b'50\r\n')
        os.chmod(folder, 0o555)  # owned by root: nobody may not create or write there
        self.own_pet(first)
        self.close_panel_once(first)
        user_store = first.user_store()
        value = ph.store_number(harness.poll(lambda: read(user_store), 20, 'the user\'s copy of the store'))
        self.assertIn(value, range(40, 51))
        self.assertEqual(ph.read_store(first), b'50\r\n', 'the program folder\'s file changed')
        self.assertEqual(os.listdir(folder).count('Ph.ini'), 1)
        home = first.env['HOME']
        for sub in ('.local', '.local/state', '.local/state/guizzolo'):
            st = os.stat(os.path.join(home, sub))
            self.assertEqual((stat.S_IMODE(st.st_mode), st.st_uid), (0o700, NOBODY), sub)
        first.stop()

        # The next run reads the user's copy first, and writes it again.
        with open(user_store, 'wb') as f:
            f.write(b'30\r\n')  # rewritten in place: still nobody's file
        aged(user_store)
        second = PetAsNobody(folder + '2', store=None)
        second.folder = folder
        shutil.rmtree(folder + '2')
        second.env['HOME'] = home
        self.own_pet(second)
        self.close_panel_once(second)
        harness.poll(lambda: written(user_store), 20, 'the user\'s copy to be written again')
        self.assertIn(ph.store_number(read(user_store)), range(25, 31), 'not read back from the user\'s copy')
        self.assertEqual(ph.read_store(second), b'50\r\n')

    def test_a_store_the_user_cannot_read_is_not_written_over(self):
        # Mode 0200: nobody may write the file but not read it. Its value is
        # unknown to the pet, which goes on without it but keeps the file.
        os.chmod(self.tmp, 0o755)
        pet = PetAsNobody(os.path.join(self.tmp, 'program'), store=b'30\r\n')
        os.chown(pet.folder, NOBODY, NOBODY)
        os.chown(ph.store_path(pet), NOBODY, NOBODY)
        os.chmod(ph.store_path(pet), 0o200)
        self.own_pet(pet)
        self.close_panel_once(pet)
        self.assertEqual(ph.read_store(pet), b'30\r\n', 'the value was written over')
        self.assertEqual(stat.S_IMODE(os.stat(ph.store_path(pet)).st_mode), 0o200)
        self.assertTrue(pet.running())


if __name__ == '__main__':
    harness.main()
