#!/usr/bin/python3
"""Checks of the Debian package, as a user would meet it.

Usage: test_deb.py DEB BUILD_DIR ARTIFACT_DIR
DEB is dist/guizzolo_*.deb, BUILD_DIR the build it was made from
(build-package/). Needs the virtual desktop's environment (source the env
file of scripts/virtual-desktop.sh) and root, to install into a private
root and to run the program as the unprivileged user nobody.

1. What is in it: the files, the control fields, lintian (no errors), the
   desktop entry and AppStream validators, dependencies that cover every
   library the executable and its modules need.
2. Installed with dpkg into a private root folder (this machine's packages
   stay as they are): the program started as `guizzolo`, by nobody, from a
   program folder nobody cannot write: it swims; a feed from the panel
   reaches ~/.local/state/guizzolo/Ph.ini; a restart reads it back; removing
   the package leaves that file.
3. With CI=true (a throwaway machine) also a real `apt-get install ./DEB` and
   purge.
Exit status 0 when every check passed.
"""
import gzip
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'e2e'))
import harness  # noqa: E402
import panel_helpers as ph  # noqa: E402

NOBODY = 65534
SOUNDS = ('Sound.wav', 'Sound2.wav', 'Sound3.wav', 'Sound4.wav')
ICON_SIZES = (16, 32, 48, 64, 128, 256)
APP_ID = 'org.example.guizzolo'
# Every file and link of the package, apart from the program folder's
# modules (any *.so the build puts beside the executable, checked apart).
EXPECTED = {
    'usr/bin/guizzolo',
    'usr/lib/guizzolo/NuvoNuvo',
    *(f'usr/lib/guizzolo/{s}' for s in SOUNDS),
    'usr/share/applications/guizzolo.desktop',
    *(f'usr/share/icons/hicolor/{n}x{n}/apps/guizzolo.png' for n in ICON_SIZES),
    f'usr/share/metainfo/{APP_ID}.metainfo.xml',
    'usr/share/man/man6/guizzolo.6.gz',
    'usr/share/doc/guizzolo/changelog.gz',
    'usr/share/doc/guizzolo/copyright',
}

results = []


def check(name, ok, detail=''):
    results.append((name, bool(ok), detail))
    print(('PASS ' if ok else 'FAIL ') + name + (f': {detail}' if detail else ''), flush=True)
    return ok


def out(*argv, env=None, check_rc=False):
    done = subprocess.run(argv, capture_output=True, text=True, env=env)
    if check_rc and done.returncode:
        raise AssertionError(f'{" ".join(argv)}: {done.returncode} {done.stderr}')
    return done


# --- 1. the package itself ------------------------------------------------------

def package_files(tree):
    found = set()
    for folder, dirs, files in os.walk(tree):
        for name in files + [d for d in dirs if os.path.islink(os.path.join(folder, d))]:
            found.add(os.path.relpath(os.path.join(folder, name), tree))
    return found


def control_fields(deb):
    text = out('dpkg-deb', '-f', deb, check_rc=True).stdout
    fields, key = {}, None
    for line in text.splitlines():
        if line.startswith(' ') and key:
            fields[key] += '\n' + line
        elif ':' in line:
            key, value = line.split(':', 1)
            fields[key] = value.strip()
    return fields


def needed_libraries(path):
    dump = out('objdump', '-p', path, check_rc=True).stdout
    return re.findall(r'^\s*NEEDED\s+(\S+)', dump, re.M)


def owning_package(soname):
    """The Debian package (without architecture) that holds a library this
    machine's loader finds for soname."""
    for line in out('ldconfig', '-p').stdout.splitlines():
        parts = line.strip().split(' => ')
        if len(parts) == 2 and parts[0].split()[0] == soname and 'x86-64' in parts[0]:
            real = os.path.realpath(parts[1])
            for candidate in (parts[1], real, re.sub(r'^/lib/', '/usr/lib/', real)):
                found = out('dpkg', '-S', candidate)
                if found.returncode == 0:
                    return found.stdout.split(':')[0]
    return None


def check_contents(deb, build, tree):
    out('dpkg-deb', '-x', deb, tree, check_rc=True)
    files = package_files(tree)
    # A module the program loads from its folder is whatever shared object
    # the build puts beside its executable.
    modules = {f'usr/lib/guizzolo/{n}' for n in os.listdir(build)
               if re.search(r'\.so(\.\d+)*$', n) and os.path.isfile(os.path.join(build, n))}
    check('the package holds the program folder, launcher, menu entry, icons, metainfo and documents',
          files == EXPECTED | modules,
          f'missing {sorted((EXPECTED | modules) - files)}, unexpected {sorted(files - EXPECTED - modules)}')
    link = os.path.join(tree, 'usr/bin/guizzolo')
    check('usr/bin/guizzolo is a relative link to the executable in the program folder',
          os.path.islink(link) and os.readlink(link) == '../lib/guizzolo/NuvoNuvo', os.readlink(link)
          if os.path.islink(link) else 'not a link')
    wrong = []
    for rel in files:
        mode = os.lstat(os.path.join(tree, rel)).st_mode
        want = 0o755 if rel == 'usr/lib/guizzolo/NuvoNuvo' else 0o644
        if stat.S_ISREG(mode) and stat.S_IMODE(mode) != want:
            wrong.append(f'{rel} {stat.S_IMODE(mode):o}')
    check('the executable has mode 755, every other file (modules too) 644', not wrong, wrong)
    for name in ('guizzolo.6.gz', 'changelog.gz'):
        path = next(os.path.join(tree, r) for r in files if r.endswith(name))
        with open(path, 'rb') as f:
            head = f.read(10)
        # gzip -9n: no name, no time stamp (bytes 4-7), best compression (8).
        check(f'{name} is compressed reproducibly', head[:2] == b'\x1f\x8b' and head[4:8] == b'\0\0\0\0'
              and head[8] == 2 and not head[3] & 0x08, head.hex())
    with gzip.open(os.path.join(tree, 'usr/share/doc/guizzolo/changelog.gz'), 'rt') as f:
        first = f.readline()
    check('the changelog names this version', first.startswith('guizzolo (1.00) '), first.strip())

    control = os.path.join(tree, 'DEBIAN')
    out('dpkg-deb', '-e', deb, control, check_rc=True)
    members = sorted(os.listdir(control))
    check('no maintainer scripts: installing runs nothing', members == ['control', 'md5sums'], members)
    shutil.rmtree(control)

    fields = control_fields(deb)
    check('control fields: package, version 1.00, maintainer, section, homepage, description',
          fields.get('Package') == 'guizzolo' and fields.get('Version') == '1.00'
          and re.fullmatch(r'.+ <[^@ ]+@[^@ ]+>', fields.get('Maintainer', ''))
          and fields.get('Section') and fields.get('Homepage', '').startswith('https://')
          and len(fields.get('Description', '').splitlines()) >= 3, repr(fields))

    # Every library the executable and its modules need comes from a package
    # the package depends on.
    depends = {re.split(r'[ (]', d.strip())[0] for d in fields.get('Depends', '').split(',') if d.strip()}
    missing = []
    for rel in sorted(files):
        path = os.path.join(tree, rel)
        if os.path.islink(path) or not os.path.isfile(path):
            continue
        with open(path, 'rb') as f:
            if f.read(4) != b'\x7fELF':
                continue
        for soname in needed_libraries(path):
            if os.path.exists(os.path.join(tree, 'usr/lib/guizzolo', soname)):
                continue
            owner = owning_package(soname)
            if owner not in depends:
                missing.append(f'{rel}: {soname} ({owner})')
    check('Depends covers every library of the executable and its modules', not missing and depends,
          f'Depends {sorted(depends)}; not covered: {missing}')

    # A library the program opens by name at run time (dlopen) is in no
    # NEEDED entry, so dpkg-shlibdeps cannot see it: it must be named by hand.
    opened, unlisted = [], []
    for rel in sorted(files):
        path = os.path.join(tree, rel)
        if os.path.islink(path) or not os.path.isfile(path):
            continue
        with open(path, 'rb') as f:
            data = f.read()
        if not data.startswith(b'\x7fELF'):
            continue
        named = {m.decode() for m in re.findall(rb'(lib[A-Za-z0-9_+-]+\.so(?:\.\d+)+)\0', data)}
        for soname in sorted(named - set(needed_libraries(path))):
            owner = owning_package(soname)
            opened.append(soname)
            if owner not in depends:
                unlisted.append(f'{rel} opens {soname} ({owner})')
    check('Depends covers every library the program opens at run time', not unlisted,
          f'opened: {opened}; not covered: {unlisted}')
    check('the fonts of the panel are recommended', 'fonts-dejavu-core' in fields.get('Recommends', '')
          and 'fonts-liberation' in fields.get('Recommends', ''), fields.get('Recommends'))

    lint = out('lintian', '--pedantic', '--display-info', deb)
    tags = [line for line in lint.stdout.splitlines() if re.match(r'^[EWIPX]: ', line)]
    print('lintian:\n  ' + '\n  '.join(tags or ['(nothing)']))
    check('lintian finds no error', lint.returncode in (0, 2) and not any(t.startswith('E:') for t in tags),
          f'exit {lint.returncode}; {[t for t in tags if t.startswith("E:")]} {lint.stderr.strip()[-300:]}')
    desktop = os.path.join(tree, 'usr/share/applications/guizzolo.desktop')
    v = out('desktop-file-validate', desktop)
    check('desktop-file-validate passes', v.returncode == 0 and not v.stdout.strip(), v.stdout + v.stderr)
    entry = open(desktop, encoding='utf-8').read()
    check('the desktop entry: name, Italian and English comment, categories, icon, launcher',
          re.search(r'^Name=Guizzolo$', entry, re.M) and re.search(r'^Comment=\S', entry, re.M)
          and re.search(r'^Comment\[it\]=\S', entry, re.M)
          and re.search(r'^Categories=Game;Amusement;$', entry, re.M)
          and re.search(r'^Icon=guizzolo$', entry, re.M)
          and re.search(r'^Exec=/usr/bin/guizzolo$', entry, re.M), entry)
    check('no autostart entry', not any('autostart' in f for f in files))
    meta = os.path.join(tree, f'usr/share/metainfo/{APP_ID}.metainfo.xml')
    v = out('appstreamcli', 'validate', '--no-net', '--pedantic', meta)
    print('appstreamcli:', v.stdout.strip())
    check('appstreamcli validate --no-net passes', v.returncode == 0, v.stdout + v.stderr)
    text = open(meta, encoding='utf-8').read()
    check('metainfo: id, name, summary, description, licenses, content rating, launchable',
          all(tag in text for tag in (f'<id>{APP_ID}</id>', '<name>', '<summary>', '<description>',
                                      '<metadata_license>', '<project_license>', '<content_rating',
                                      '<launchable type="desktop-id">guizzolo.desktop</launchable>')))
    for n in ICON_SIZES:
        from PIL import Image
        with Image.open(os.path.join(tree, f'usr/share/icons/hicolor/{n}x{n}/apps/guizzolo.png')) as im:
            check(f'icon {n}x{n} is a {n} x {n} PNG with transparency', im.format == 'PNG'
                  and im.size == (n, n) and im.mode == 'RGBA', f'{im.format} {im.size} {im.mode}')

    sim = out('apt-get', '-s', '-o', 'Debug::NoLocking=1', 'install', os.path.abspath(deb))
    check("apt can resolve the package's dependencies on this system (simulated install)",
          sim.returncode == 0 and 'Inst guizzolo' in sim.stdout, (sim.stdout + sim.stderr)[-400:])


def check_any_prefix(build):
    """cmake --install into another prefix: the same layout under it, and a
    menu entry that names that prefix's launcher."""
    top = tempfile.mkdtemp(prefix='guizzolo-prefix-')
    try:
        prefix = os.path.join(top, 'opt', 'guizzolo')
        done = out('cmake', '--install', build, '--prefix', prefix)
        files = package_files(prefix)
        want = {f[len('usr/'):] for f in EXPECTED}
        check('cmake --install --prefix DIR lays out the same files under DIR',
              done.returncode == 0 and want <= files, f'{done.stderr[-300:]} missing {sorted(want - files)}')
        launcher = os.path.join(prefix, 'bin', 'guizzolo')
        check('DIR/bin/guizzolo leads to DIR/lib/guizzolo/NuvoNuvo',
              os.path.realpath(launcher) == os.path.join(prefix, 'lib', 'guizzolo', 'NuvoNuvo'))
        entry = os.path.join(prefix, 'share', 'applications', 'guizzolo.desktop')
        text = open(entry, encoding='utf-8').read() if os.path.exists(entry) else ''
        check("the menu entry starts DIR's launcher", f'\nExec={launcher}\n' in text,
              re.findall(r'^Exec=.*$', text, re.M))
    finally:
        shutil.rmtree(top, ignore_errors=True)


# --- 2. installed into a private root, used by nobody -----------------------------

class InstalledPet:
    """The installed program, started as `guizzolo` by the user nobody."""

    def __init__(self, launcher, home, log_dir):
        self.launcher = launcher
        self.home = home
        self.log_dir = log_dir
        self.proc = None

    def start(self):
        env = harness.desktop_env()
        env.update(HOME=self.home, USER='nobody', LOGNAME='nobody',
                   XDG_RUNTIME_DIR=os.path.join(self.home, 'runtime'),
                   # The test's sound server lives in root's private folder.
                   PULSE_SERVER='unix:' + os.path.join(self.home, 'no-sound-server'))
        for name in ('XDG_STATE_HOME', 'XDG_CONFIG_HOME', 'XDG_DATA_HOME', 'XDG_CACHE_HOME'):
            env.pop(name, None)
        n = len(os.listdir(self.log_dir))
        self._out = open(os.path.join(self.log_dir, f'run{n}.out'), 'wb')
        self.proc = subprocess.Popen(
            ['setpriv', f'--reuid={NOBODY}', f'--regid={NOBODY}', '--clear-groups', '--',
             self.launcher], cwd=self.home, env=env, stdout=self._out, stderr=subprocess.STDOUT)
        return self

    def stop(self):
        if self.proc:
            harness.end_process(self.proc)
            self._out.close()
            self.proc = None

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def windows(self):
        return harness.search('--pid', str(self.proc.pid))

    def pet_window(self):
        found = [w for w in self.windows()
                 if harness.window_name(w) not in (harness.PANEL_TITLE, harness.BOX_TITLE)]
        return found[0] if len(found) == 1 else None


def as_nobody(path, mode):
    os.makedirs(path, exist_ok=True)
    os.chown(path, NOBODY, NOBODY)
    os.chmod(path, mode)


def swims(pet, artifacts, name):
    window = harness.poll(pet.pet_window, 15, 'the pet window')
    first = harness.geometry(window)
    try:
        ph.wait_moved(window, first, 10, 'the fish to swim')
        moved = True
    except AssertionError:
        moved = False
    shot = harness.screenshot(os.path.join(artifacts, name))
    key = harness.count_colours(shot).get(harness.KEY, 0)
    check(f'{name}: the installed program swims, no key colour on screen', moved and key == 0,
          f'moved {moved}, key-coloured pixels {key}')
    return window


def open_panel(pet, window):
    for _ in range(5):
        ph.press(window, ph.FISH_POINT, 3)
        try:
            return ph.wait_panel(pet, 3)
        except AssertionError:
            time.sleep(0.3)
    return None


def check_installed(deb, artifacts):
    root_dir = tempfile.mkdtemp(prefix='guizzolo-root-')
    os.chmod(root_dir, 0o755)
    home = os.path.join(tempfile.mkdtemp(prefix='guizzolo-home-'), 'nobody')
    os.chmod(os.path.dirname(home), 0o755)
    as_nobody(home, 0o755)
    as_nobody(os.path.join(home, 'runtime'), 0o700)
    logs = os.path.join(artifacts, 'installed-program')
    os.makedirs(logs, exist_ok=True)
    pet = None
    try:
        for sub in ('var/lib/dpkg/info', 'var/lib/dpkg/updates', 'var/lib/dpkg/triggers', 'var/log'):
            os.makedirs(os.path.join(root_dir, sub))
        open(os.path.join(root_dir, 'var/lib/dpkg/status'), 'w').close()
        # The private root has none of the libraries: they come from this
        # machine, checked above by apt's simulated install.
        done = out('dpkg', f'--root={root_dir}', '--force-depends', '-i', deb)
        installed = check('dpkg installs the package into a private root', done.returncode == 0,
                          '' if done.returncode == 0 else done.stderr.strip()[-300:])
        if not installed:
            return
        program = os.path.join(root_dir, 'usr/lib/guizzolo')
        launcher = os.path.join(root_dir, 'usr/bin/guizzolo')
        check('the program folder belongs to root and nobody cannot write it',
              os.stat(program).st_uid == 0 and not os.stat(program).st_mode & 0o022)
        state = os.path.join(home, '.local/state/guizzolo')
        store = os.path.join(state, 'Ph.ini')

        pet = InstalledPet(launcher, home, logs).start()
        window = swims(pet, artifacts, 'installed-first-run.png')
        panel = open_panel(pet, window)
        fed = None
        if check('a press on the fish brings up the panel', panel is not None):
            for _ in range(3):
                # Not xdotool's --sync: a second press at the same place would
                # wait for a move that never comes.
                x, y, _, _ = ph.client_rect(panel)
                fx, fy = ph.centre(ph.FEED)
                harness.run('xdotool', 'mousemove', str(x + fx), str(y + fy), 'sleep', '0.2', 'click', '1')
                try:
                    fed = harness.poll(lambda: os.path.exists(store) and open(store, 'rb').read() == b'100\r\n',
                                       4, 'the per-user store')
                    break
                except AssertionError:
                    pass
        content = open(store, 'rb').read() if os.path.exists(store) else None
        check('a feed reaches ~/.local/state/guizzolo/Ph.ini (100 CR LF)', fed, repr(content))
        if os.path.isdir(state):
            mode = stat.S_IMODE(os.stat(state).st_mode)
            check('~/.local/state/guizzolo is private to its user (0700) and theirs',
                  mode == 0o700 and os.stat(state).st_uid == NOBODY, f'{mode:o}')
        extra = [n for n in os.listdir(program) if n not in ('NuvoNuvo', *SOUNDS) and '.so' not in n]
        check('nothing written into the program folder', not extra, extra)
        pet.stop()

        # A restart reads the per-user value: the panel's close stores the
        # pet's copy of what was read (an empty line had nothing been read).
        pet = InstalledPet(launcher, home, logs).start()
        window = swims(pet, artifacts, 'installed-restart.png')
        ph.wait_moved(window, harness.geometry(window), 10, 'the first swim tick')
        time.sleep(0.5)
        panel = open_panel(pet, window)
        value = None
        if panel and os.path.exists(store):
            os.utime(store, (1e9, 1e9))
            ph.close_panel(pet, panel)
            harness.poll(lambda: os.stat(store).st_mtime > 1e9 + 1, 5, 'the store to be written')
            value = ph.store_number(open(store, 'rb').read())
        check('a restart reads the per-user Ph.ini back (the closed panel stores 90..100)',
              value is not None and 90 <= value <= 100, repr(value))
        pet.stop()
        pet = None

        done = out('dpkg', f'--root={root_dir}', '--purge', 'guizzolo')
        left = [r for r in package_files(os.path.join(root_dir, 'usr'))]
        check('purging the package removes every file it installed', done.returncode == 0 and not left,
              f'{done.stderr.strip()[-200:]} left: {left}')
        check("the user's Ph.ini stays after the package is gone",
              os.path.exists(store) and ph.store_number(open(store, 'rb').read()) is not None)
    finally:
        if pet:
            pet.stop()
        shutil.rmtree(root_dir, ignore_errors=True)
        shutil.rmtree(os.path.dirname(home), ignore_errors=True)


# --- 3. a real install, on a throwaway machine only -------------------------------

def check_real_install(deb):
    if os.environ.get('CI') != 'true':
        print('SKIP real apt install and purge (only with CI=true, on a throwaway machine)')
        return
    if out('dpkg-query', '-W', 'guizzolo').returncode == 0:
        check('no guizzolo installed before the real install', False)
        return
    env = dict(os.environ, DEBIAN_FRONTEND='noninteractive')
    done = out('apt-get', '-o', 'DPkg::Lock::Timeout=900', 'install', '-y', '--no-install-recommends',
               os.path.abspath(deb), env=env)
    check('apt-get install ./guizzolo_*.deb', done.returncode == 0, done.stderr[-400:])
    found = shutil.which('guizzolo')
    check('guizzolo is on the PATH and leads to /usr/lib/guizzolo/NuvoNuvo',
          found and os.path.realpath(found) == '/usr/lib/guizzolo/NuvoNuvo', found)
    done = out('apt-get', '-o', 'DPkg::Lock::Timeout=900', 'purge', '-y', 'guizzolo', env=env)
    check('apt-get purge guizzolo removes it', done.returncode == 0
          and not os.path.exists('/usr/lib/guizzolo') and not os.path.lexists('/usr/bin/guizzolo'))


def main():
    deb, build, artifacts = sys.argv[1:4]
    if not os.environ.get('GUIZZOLO_DESKTOP'):
        print('no virtual desktop: run scripts/virtual-desktop.sh start DIR and source DIR/env')
        return 77
    os.makedirs(artifacts, exist_ok=True)
    tree = tempfile.mkdtemp(prefix='guizzolo-deb-')
    try:
        check_contents(deb, build, tree)
    finally:
        shutil.rmtree(tree, ignore_errors=True)
    check_any_prefix(build)
    check_installed(deb, artifacts)
    check_real_install(deb)
    failed = [r for r in results if not r[1]]
    print(f'\n{len(results) - len(failed)} of {len(results)} checks passed')
    return 1 if failed or not results else 0


if __name__ == '__main__':
    sys.exit(main())
