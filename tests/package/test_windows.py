#!/usr/bin/python3
"""Checks of the Windows release files under Wine, as a user would meet them.

Usage: test_windows.py DIST_DIR ARTIFACT_DIR   (run as root)

Wine runs as the unprivileged user nobody, with a prefix of its own, on a
private virtual desktop, so that a folder can really be made unwritable for
the user running the program.
- Guizzolo-VERSION-setup.exe /S: files in C:\\Program Files\\Guizzolo, the
  Start-menu shortcut, the Apps & features entry. The program, started by
  its shortcut, swims; with the program folder unwritable, a feed from the
  panel reaches the user's VirtualStore copy of Ph.ini; a restart reads it
  back. Uninstall.exe /S removes the program folder, the shortcut and the
  entry, and leaves Ph.ini.
- Guizzolo-VERSION-win64.zip: one folder with the executable, the wave
  files and the two texts; unpacked, the pet swims.
Exit status 0 when every check passed.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'e2e', 'wine'))
from desktop import DESKTOP, WINE, WINESERVER, Desktop, wait_for  # noqa: E402
import test_wine  # noqa: E402

NOBODY = 65534
VERSION = '1.00'
KEY = (0, 255, 255)
SOUNDS = ('Sound.wav', 'Sound2.wav', 'Sound3.wav', 'Sound4.wav')
INSTALLED = {'NuvoNuvo.exe', *SOUNDS, 'LEGGIMI.txt', 'README.txt', 'Uninstall.exe'}
UNINSTALL_KEY = r'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Guizzolo'
PROGRAM = r'C:\Program Files\Guizzolo'
# The panel's feed and exit buttons: left, top, width, height in twips.
FEED = (3240, 120, 1575, 255)
EXIT = (2760, 1080, 2055, 255)

results = []


def check(name, ok, detail=''):
    results.append((name, bool(ok), detail))
    print(('PASS ' if ok else 'FAIL ') + name + (f': {detail}' if detail else ''), flush=True)
    return ok


def as_nobody(argv):
    return ['setpriv', f'--reuid={NOBODY}', f'--regid={NOBODY}', '--clear-groups', '--', *argv]


def chown_tree(path):
    for folder, dirs, files in os.walk(path):
        for name in [folder] + [os.path.join(folder, n) for n in dirs + files]:
            os.lchown(name, NOBODY, NOBODY)


class UserDesktop(Desktop):
    """The private desktop of the Wine checks, with Wine run by nobody."""

    def start(self):
        os.chmod(self.root, 0o755)
        os.chown(self.home, NOBODY, NOBODY)
        # No sound server: nobody could not reach the one in root's folder.
        subprocess.run([DESKTOP, 'start', self.state, '--no-sound'], check=True, stdout=subprocess.DEVNULL)
        self.env = dict(PATH=os.environ.get('PATH', '/usr/bin:/bin'), LANG='C.UTF-8')
        with open(os.path.join(self.state, 'env')) as f:
            for line in f:
                if line.startswith('export '):
                    key, value = line[len('export '):].strip().split('=', 1)
                    self.env[key] = value.strip('\'"')
        self.display = self.env['DISPLAY']
        self.prefix = os.path.join(self.root, 'prefix')
        os.makedirs(self.prefix)
        os.chown(self.prefix, NOBODY, NOBODY)
        runtime = os.path.join(self.root, 'runtime')
        os.makedirs(runtime, mode=0o700)
        os.chown(runtime, NOBODY, NOBODY)
        self.wine_env = dict(self.env, HOME=self.home, USER='nobody', LOGNAME='nobody',
                             XDG_RUNTIME_DIR=runtime, WINEPREFIX=self.prefix, WINEDEBUG='-all',
                             WINEARCH='win64',
                             WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d')
        self.wine('wineboot', '-i', timeout=300)
        self.drive_c = os.path.join(self.prefix, 'drive_c')
        return self

    def wine(self, *args, timeout=120):
        """Runs a Windows program as nobody to its end, and waits until every
        process of this prefix has ended (an uninstaller goes on in a copy of
        itself); returns (exit status, output)."""
        done = subprocess.run(as_nobody([WINE, *args]), env=self.wine_env, capture_output=True,
                              text=True, errors='replace', timeout=timeout)
        subprocess.run(as_nobody([WINESERVER, '-w']), env=self.wine_env, timeout=timeout)
        return done.returncode, done.stdout + done.stderr

    def launch(self, program):
        """Starts a Windows program (a Windows path) as nobody, in the background."""
        return self._spawn(as_nobody([WINE, program]), env=self.wine_env)

    def stop(self):
        if hasattr(self, 'wine_env'):
            subprocess.run(as_nobody([WINESERVER, '-k']), env=self.wine_env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for proc in reversed(list(self.procs)):
            self.end(proc)
        subprocess.run([DESKTOP, 'stop', self.state], stdout=subprocess.DEVNULL)
        if os.environ.get('GUIZZOLO_KEEP_TEMP') != '1':
            shutil.rmtree(self.root, ignore_errors=True)

    def unix(self, windows_path):
        assert windows_path[:3].upper() == 'C:\\'
        return os.path.join(self.drive_c, *windows_path[3:].split('\\'))


def registry_values(d, key):
    """{name: (type, data)} of one registry key, by Wine's reg.exe."""
    status, text = d.wine('reg', 'query', key)
    values = {}
    for line in text.splitlines():
        match = re.match(r'^\s+(\S+)\s+(REG_\w+)\s+(.*?)\s*$', line)
        if match:
            values[match.group(1)] = (match.group(2), match.group(3))
    return values if status == 0 else None


class Checks:
    def __init__(self, dist, artifacts):
        self.dist = dist
        self.artifacts = artifacts
        self.d = UserDesktop()
        # The panel and pet helpers of the Wine checks, on this desktop.
        self.run = test_wine.Run(None, artifacts, self.d)

    def file(self, pattern):
        found = glob.glob(os.path.join(self.dist, pattern))
        return found[0] if len(found) == 1 else None

    def shot(self, name):
        return self.d.screenshot(os.path.join(self.artifacts, name))

    def swims(self, name):
        """Waits for the pet; checks it moves and no key colour shows."""
        try:
            pet = self.run.pet()
        except TimeoutError:
            check(f'{name}: the pet window appears', False)
            return None
        first = self.d.geometry(pet)
        try:
            wait_for('the fish to swim', lambda: self.d.geometry(pet) not in (None, first), 10)
            moved = True
        except TimeoutError:
            moved = False
        time.sleep(0.5)
        shot = self.shot(f'{name}.png')
        cyan = test_wine.cyan_count(shot)
        check(f'{name}: the pet swims, no key colour on screen', moved and cyan == 0,
              f'moved {moved}, key-coloured pixels {cyan}')
        return pet

    def store_places(self):
        """Every Ph.ini under the user's VirtualStore (there should be one)."""
        return glob.glob(os.path.join(self.d.drive_c, 'users', '*', 'AppData', 'Local', 'VirtualStore',
                                      'Program Files', 'Guizzolo', 'Ph.ini'))

    def feed(self, pet, store_probe):
        panel = self.run.press_panel_open(pet)
        if not check('a press on the fish brings up the panel', panel is not None):
            return None
        return self.run.press_in_panel(panel, FEED, store_probe, 'the feed to be stored')

    def close_panel(self, panel):
        for _ in range(3):
            self.run.panel_origin(panel)
            pg = self.d.geometry(panel) or (0, 0, 0, 0)
            # Not held still: Wine's close box follows the button as it is
            # when the press is taken, and a late press finds it up.
            self.run.click_at(pg[0] + pg[2] - 12, pg[1] + 11, 1)
            try:
                wait_for('the panel to close', lambda: not self.d.find(test_wine.PANEL), 10)
                return True
            except TimeoutError:
                pass
        return False

    def end_by_exit_button(self, pet):
        """The exit button, then OK on the credit box: the program ends. The
        feed's panel is used if it is still open, as a user would: a press on
        the fish could rebuild it as a new window (see press_panel_open)."""
        still_open = self.d.find(test_wine.PANEL)
        panel = still_open[0] if still_open else self.run.press_panel_open(pet)
        if panel is None or not self.run.press_in_panel(panel, EXIT, lambda: self.d.find('Guizzolo'),
                                                     'the credit message'):
            return False
        self.d.xdo('key', 'Return')
        try:
            wait_for('the program to end', lambda: not self.d.find('Form1') and not self.d.find('Guizzolo'), 20)
            return True
        except TimeoutError:
            return False

    # --- the installer ----------------------------------------------------------
    def installer(self):
        d = self.d
        setup = self.file(f'Guizzolo-{VERSION}-setup.exe')
        if not check('dist/ holds the installer', setup):
            return
        local = os.path.join(d.root, os.path.basename(setup))
        shutil.copy(setup, local)
        os.chmod(local, 0o644)
        status, text = d.wine(local, '/S', timeout=300)
        check('silent install (setup.exe /S) succeeds', status == 0, text[-300:])
        folder = d.unix(PROGRAM)
        present = set(os.listdir(folder)) if os.path.isdir(folder) else set()
        check(r'C:\Program Files\Guizzolo holds the program, wave files, texts and uninstaller',
              present == INSTALLED, f'{sorted(present)}')
        zipped = self.file(f'Guizzolo-{VERSION}-win64.zip')
        if zipped and 'NuvoNuvo.exe' in present:
            with zipfile.ZipFile(zipped) as z:
                exe = next(n for n in z.namelist() if n.endswith('/NuvoNuvo.exe'))
                same = z.read(exe) == open(os.path.join(folder, 'NuvoNuvo.exe'), 'rb').read()
            check('the installed NuvoNuvo.exe is the one in the zip', same)

        shortcut = os.path.join(d.drive_c, 'ProgramData', 'Microsoft', 'Windows', 'Start Menu', 'Programs',
                                'Guizzolo.lnk')
        link = open(shortcut, 'rb').read() if os.path.exists(shortcut) else b''
        target = PROGRAM + r'\NuvoNuvo.exe'
        check('a Start-menu shortcut for all users points at the program',
              target.encode('utf-16-le') in link or target.encode() in link, shortcut)

        values = registry_values(d, UNINSTALL_KEY) or {}
        exe = PROGRAM + r'\NuvoNuvo.exe'
        uninstaller = PROGRAM + r'\Uninstall.exe'
        size = int(values.get('EstimatedSize', ('', '0x0'))[1], 16)
        check('Apps & features entry: name, version, publisher, uninstall commands, icon, size',
              values.get('DisplayName', (0, ''))[1] == 'Guizzolo'
              and values.get('DisplayVersion', (0, ''))[1] == VERSION
              and values.get('Publisher', (0, ''))[1]
              and values.get('UninstallString', (0, ''))[1] == f'"{uninstaller}"'
              and values.get('QuietUninstallString', (0, ''))[1] == f'"{uninstaller}" /S'
              and values.get('DisplayIcon', (0, ''))[1].startswith(f'"{exe}"')
              and values.get('EstimatedSize', ('',))[0] == 'REG_DWORD' and 500 < size < 5000,
              repr(values))

        # What a standard user meets: a program folder that refuses new files.
        os.chmod(folder, 0o555)
        for name in present:
            os.chmod(os.path.join(folder, name), 0o444)
        probe = subprocess.run(as_nobody(['sh', '-c', f'touch "{folder}/probe" 2>/dev/null']))
        check('the program folder is unwritable for the user running Wine', probe.returncode != 0)

        # First run: from the shortcut, as a user starts it.
        starter = d._spawn(as_nobody([WINE, 'start', '/unix', shortcut]), env=d.wine_env)
        pet = self.swims('installed-first-run')
        fed = None
        if pet:
            fed = self.feed(pet, lambda: [p for p in self.store_places() if open(p, 'rb').read() == b'100\r\n'])
        places = self.store_places()
        check("a feed reaches the user's VirtualStore Ph.ini (100 CR LF)", fed,
              f'{places} {[open(p, "rb").read() for p in places]}')
        check('nothing was written into the program folder', set(os.listdir(folder)) == INSTALLED,
              sorted(os.listdir(folder)))
        ended = pet is not None and self.end_by_exit_button(pet)
        check('the exit button ends the program started from the shortcut', ended)
        if not ended:
            d.wine('taskkill', '/f', '/im', 'NuvoNuvo.exe', timeout=30)
        d.end(starter)

        # A restart reads it back: closing the panel stores the pet's copy of
        # what was read (an empty line had nothing been read).
        proc = d.launch(PROGRAM + r'\NuvoNuvo.exe')
        value = steps = None
        try:
            pet = self.swims('installed-restart')
            if pet and places:
                time.sleep(1.0)
                os.utime(places[0], (1e9, 1e9))
                panel = self.run.press_panel_open(pet)
                closed = bool(panel) and self.close_panel(panel)
                steps = f'panel {panel}, closed {closed}'
                if closed:
                    try:
                        wait_for('the store to be written', lambda: os.stat(places[0]).st_mtime > 1e9 + 1, 30)
                        match = re.fullmatch(rb'(\d+)\r\n', open(places[0], 'rb').read())
                        value = int(match.group(1)) if match else None
                    except TimeoutError:
                        pass
        finally:
            d.end(proc)
        check('a restart reads the VirtualStore Ph.ini back (the closed panel stores 90..100)',
              value is not None and 90 <= value <= 100, f'{value!r}; {steps}')
        d.wine('wineboot', '-e', timeout=60)  # any process left ends before the uninstall

        # An administrator uninstalls: the folder is writable for them again.
        os.chmod(folder, 0o755)
        for name in os.listdir(folder):
            os.chmod(os.path.join(folder, name), 0o644)
        kept = {p: open(p, 'rb').read() for p in self.store_places()}
        status, text = d.wine(PROGRAM + r'\Uninstall.exe', '/S', timeout=120)
        check('silent uninstall (Uninstall.exe /S) removes the program folder and the shortcut',
              status == 0 and not os.path.exists(folder) and not os.path.exists(shortcut),
              f'status {status}, left {os.listdir(folder) if os.path.exists(folder) else []}')
        check('the Apps & features entry is gone', registry_values(d, UNINSTALL_KEY) is None)
        check("the user's Ph.ini stays", kept and all(os.path.exists(p) and open(p, 'rb').read() == c
                                                     for p, c in kept.items()), repr(kept))

        # A Ph.ini in the program folder itself (an elevated run wrote it
        # there) is the user's too: it stays, and with it the folder.
        status, text = d.wine(local, '/S', timeout=300)
        if check('a second silent install', status == 0 and os.path.isdir(folder), text[-300:]):
            with open(os.path.join(folder, 'Ph.ini'), 'wb') as f:
                f.write(b'42\r\n')
            chown_tree(folder)
            status, text = d.wine(PROGRAM + r'\Uninstall.exe', '/S', timeout=120)
            left = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
            check('uninstalling leaves a Ph.ini in the program folder, and only that',
                  status == 0 and left == ['Ph.ini']
                  and open(os.path.join(folder, 'Ph.ini'), 'rb').read() == b'42\r\n', f'left {left}')

    # --- the zip ---------------------------------------------------------------------
    def portable(self):
        d = self.d
        zipped = self.file(f'Guizzolo-{VERSION}-win64.zip')
        if not check('dist/ holds the zip', zipped):
            return
        with zipfile.ZipFile(zipped) as z:
            names = sorted(z.namelist())
            top = {n.split('/')[0] for n in names}
            files = {n.split('/', 1)[1] for n in names if '/' in n and not n.endswith('/')}
            check('the zip holds one folder with the program, the wave files and the two texts',
                  len(top) == 1 and files == INSTALLED - {'Uninstall.exe'}, repr(names))
            texts = {n: z.read(n) for n in names if n.endswith('.txt')}
            check('LEGGIMI.txt and README.txt: short UTF-8 texts with Windows line ends',
                  len(texts) == 2 and all(t.startswith(b'\xef\xbb\xbf') and b'\r\n' in t
                                          and b'\n' not in t.replace(b'\r\n', b'') and len(t) < 3000
                                          and b'1.00' in t for t in texts.values()), repr(list(texts)))
            place = os.path.join(d.drive_c, 'users', 'Public', 'Guizzolo')
            z.extractall(place)
        chown_tree(place)
        folder = os.path.join(place, top.pop())
        proc = d.launch('C:' + os.path.join(folder, 'NuvoNuvo.exe')[len(d.drive_c):].replace('/', '\\'))
        try:
            self.swims('portable')
        finally:
            d.end(proc)

    def all(self):
        try:
            self.d.start()
            self.installer()
            self.portable()
        finally:
            self.d.stop()


def main():
    dist, artifacts = sys.argv[1], sys.argv[2]
    if os.getuid() != 0:
        print('needs root: Wine runs as the user nobody')
        return 77
    os.makedirs(artifacts, exist_ok=True)
    Checks(dist, artifacts).all()
    failed = [r for r in results if not r[1]]
    print(f'\n{len(results) - len(failed)} of {len(results)} checks passed')
    return 1 if failed or not results else 0


if __name__ == '__main__':
    sys.exit(main())
