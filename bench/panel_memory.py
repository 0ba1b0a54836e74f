#!/usr/bin/python3
"""How the pet's memory grows as its control panel is opened and closed.

Starts the pet on the virtual desktop of the environment (scripts/virtual-
desktop.sh, then source its env file), then CYCLES times: a right press on
the fish, wait for the panel, close it through the window manager, wait for
it to go. After WARMUP cycles it takes the process's figures as the base,
and prints them every STEP cycles and at the end:

  heap     the [heap] mapping's resident size, KB
  anon     all anonymous resident memory (the heap, thread arenas, Qt's pools), KB
  rss      the whole resident set, KB

    bench/panel_memory.py [--pet PATH] [--cycles N] [--warmup N] [--step N]

--pet is any pet executable (default build/NuvoNuvo); its panel module and
wave files beside it go into a fresh program folder with it.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MODULE = 'NuvoNuvo-qt.so'
PANEL_TITLE = 'NuvoNuvo di Tarvisco'
FISH_POINT = (43, 26)  # fish in both pictures


def xdotool(*args):
    return subprocess.run(['xdotool', *args], capture_output=True, text=True, timeout=10).stdout


def windows(pid, name=None):
    args = ['search', '--all', '--onlyvisible', '--pid', str(pid)]
    if name:
        args += ['--name', f'^{name}$']
    return [int(w) for w in xdotool(*args).split()]


def wait(probe, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(0.02)
    raise SystemExit(f'gave up waiting for {what}')


def figures(pid):
    """(heap, anon, rss) in KB."""
    heap = 0
    with open(f'/proc/{pid}/smaps') as f:
        current = None
        for line in f:
            if '-' in line.split(' ', 1)[0]:
                current = line.split()[-1] if len(line.split()) >= 6 else ''
            elif current == '[heap]' and line.startswith('Rss:'):
                heap += int(line.split()[1])
    rollup = {}
    with open(f'/proc/{pid}/smaps_rollup') as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2 and parts[0].endswith(':') and parts[1].isdigit():
                rollup[parts[0][:-1]] = int(parts[1])
    return heap, rollup.get('Anonymous', 0), rollup.get('Rss', 0)


def cycle(pid, pet):
    """One panel opened by a press on the fish and closed again."""
    for _ in range(50):
        xdotool('mousemove', '--window', str(pet), *map(str, FISH_POINT), 'click', '3')
        try:
            panel = wait(lambda: windows(pid, PANEL_TITLE), 1.0, 'the panel')[0]
            break
        except SystemExit:
            continue  # the fish swam away from the press
    else:
        raise SystemExit(f"no press reached the fish (windows {windows(pid)}, status {os.waitpid(pid, 0)})")
    subprocess.run(['wmctrl', '-i', '-c', hex(panel)], check=True, timeout=10)
    wait(lambda: not windows(pid, PANEL_TITLE), 5, 'the panel to close')


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--pet', default=os.path.join(ROOT, 'build', 'NuvoNuvo'))
    parser.add_argument('--cycles', type=int, default=500)
    parser.add_argument('--warmup', type=int, default=10)
    parser.add_argument('--step', type=int, default=100)
    args = parser.parse_args()
    if not os.environ.get('GUIZZOLO_DESKTOP'):
        sys.exit('no virtual desktop: run scripts/virtual-desktop.sh start DIR and source DIR/env')

    folder = tempfile.mkdtemp(prefix='guizzolo-bench-')
    source = os.path.dirname(os.path.abspath(args.pet))
    shutil.copy2(args.pet, os.path.join(folder, 'NuvoNuvo'))
    for name in (MODULE, 'Sound.wav', 'Sound2.wav', 'Sound3.wav', 'Sound4.wav'):
        if os.path.exists(os.path.join(source, name)):
            shutil.copy2(os.path.join(source, name), os.path.join(folder, name))
    with open(os.path.join(folder, 'Ph.ini'), 'wb') as f:
        f.write(b'100\r\n')
    env = dict(os.environ, HOME=folder)
    proc = subprocess.Popen([os.path.join(folder, 'NuvoNuvo')], cwd=folder, env=env,
                            stdout=subprocess.DEVNULL, stderr=open(os.path.join(folder + '.err'), 'wb'))
    try:
        pet = wait(lambda: windows(proc.pid), 10, 'the pet window')[0]
        base = None
        print(f'{"cycles":>7} {"heap KB":>9} {"anon KB":>9} {"rss KB":>9}   growth since cycle {args.warmup}')
        for n in range(1, args.cycles + 1):
            cycle(proc.pid, pet)
            # The fish is fed now and then: no hunger box stops the run.
            if n % 50 == 0:
                with open(os.path.join(folder, 'Ph.ini'), 'wb') as f:
                    f.write(b'100\r\n')
            if n == args.warmup:
                base = figures(proc.pid)
            if base and (n % args.step == 0 or n == args.cycles):
                now = figures(proc.pid)
                print(f'{n:>7} {now[0]:>9} {now[1]:>9} {now[2]:>9}   '
                      f'heap {now[0] - base[0]:+} KB, anon {now[1] - base[1]:+} KB, rss {now[2] - base[2]:+} KB',
                      flush=True)
    finally:
        proc.terminate()
        proc.wait(timeout=10)
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == '__main__':
    main()
