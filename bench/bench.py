#!/usr/bin/python3
"""What the pet costs while it swims, beside oneko as a reference.

Runs each program for DURATION seconds (default 60) on one private virtual
desktop and prints, for each: CPU seconds used (and per second), peak RSS,
the time from start to its first mapped window, and the X server's CPU over
the same run. Targets for the pet: CPU at most twice oneko's per second,
peak RSS at most 30 MB, first window within 100 ms.

    bench/bench.py [DURATION] [PATH_TO_NuvoNuvo]
"""
import ctypes
import ctypes.util
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TICK = os.sysconf("SC_CLK_TCK")
MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK  # utime + stime


def peak_rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return float("nan")


class MapWatcher:
    """Reports the first window mapped on the root window after a moment."""

    def __init__(self, display):
        self.x = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        for name in ("XPending", "XConnectionNumber", "XSync", "XNextEvent", "XCloseDisplay"):
            getattr(self.x, name).argtypes = [ctypes.c_void_p] + ([ctypes.c_int] if name == "XSync" else [ctypes.c_void_p] if name == "XNextEvent" else [])
        self.dpy = self.x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise SystemExit(f"cannot open display {display}")
        self.x.XSelectInput(self.dpy, self.x.XDefaultRootWindow(self.dpy), SUBSTRUCTURE_NOTIFY_MASK)
        self.x.XSync(self.dpy, 1)  # drop what came before

    def first_map_after(self, start, timeout):
        event = ctypes.create_string_buffer(192)
        fd = self.x.XConnectionNumber(self.dpy)
        while time.monotonic() - start < timeout:
            while self.x.XPending(self.dpy):
                self.x.XNextEvent(self.dpy, event)
                if ctypes.c_int.from_buffer(event).value == MAP_NOTIFY:
                    return time.monotonic() - start
            select.select([fd], [], [], 0.05)
        return float("nan")

    def close(self):
        self.x.XCloseDisplay(self.dpy)


def measure(name, argv, cwd, env, xserver_pid, duration):
    watcher = MapWatcher(env["DISPLAY"])
    x_before = cpu_seconds(xserver_pid)
    start = time.monotonic()
    proc = subprocess.Popen(argv, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    first_window = watcher.first_map_after(start, 10)
    watcher.close()
    time.sleep(max(0.0, duration - (time.monotonic() - start)))
    if proc.poll() is not None:
        raise SystemExit(f"{name} ended early with {proc.returncode}")
    cpu, rss = cpu_seconds(proc.pid), peak_rss_mb(proc.pid)
    x_cpu = cpu_seconds(xserver_pid) - x_before
    proc.terminate()
    proc.wait(10)
    return {"name": name, "cpu": cpu, "rss": rss, "first": first_window, "x": x_cpu}


def main():
    duration = float(sys.argv[1]) if len(sys.argv) > 1 else 60.0
    program = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "build", "NuvoNuvo"))
    oneko = shutil.which("oneko") or "/usr/games/oneko"
    for needed in (program, oneko):
        if not os.path.exists(needed):
            raise SystemExit(f"missing {needed} (scripts/deps.sh test installs oneko; scripts/build.sh builds the pet)")
    state = tempfile.mkdtemp(prefix="guizzolo-bench-")
    desktop = os.path.join(ROOT, "scripts", "virtual-desktop.sh")
    subprocess.run([desktop, "start", state], check=True)
    try:
        env = dict(os.environ)
        for line in open(os.path.join(state, "env")):
            if line.startswith("export "):
                key, value = line[len("export "):].strip().split("=", 1)
                env[key] = value.strip("'\"")
        env.pop("WAYLAND_DISPLAY", None)
        xserver = int(open(os.path.join(state, "xvfb.pid")).read())
        folder = os.path.join(state, "pet")
        os.makedirs(folder)
        shutil.copy(program, folder)
        for wav in ("Sound.wav", "Sound2.wav", "Sound3.wav", "Sound4.wav"):
            source = os.path.join(os.path.dirname(program), wav)
            if os.path.exists(source):
                shutil.copy(source, folder)
        with open(os.path.join(folder, "Ph.ini"), "wb") as f:
            f.write(b"100\r\n")
        rows = [
            measure("NuvoNuvo", [os.path.join(folder, "NuvoNuvo")], folder, env, xserver, duration),
            measure("oneko", [oneko], state, env, xserver, duration),
        ]
    finally:
        subprocess.run([desktop, "stop", state])
        shutil.rmtree(state, ignore_errors=True)

    print(f"{duration:.0f} s each on one virtual desktop")
    print(f"{'program':<10} {'CPU s':>8} {'CPU s/s':>9} {'peak RSS MB':>12} {'first window ms':>16} {'X server CPU s':>15}")
    for r in rows:
        print(f"{r['name']:<10} {r['cpu']:>8.2f} {r['cpu'] / duration:>9.4f} {r['rss']:>12.1f} "
              f"{r['first'] * 1000:>16.0f} {r['x']:>15.2f}")
    pet, ref = rows
    ratio = pet["cpu"] / ref["cpu"] if ref["cpu"] > 0 else float("inf")
    print(f"pet/oneko CPU ratio: {ratio:.2f} (target <= 2)")
    print(f"pet peak RSS: {pet['rss']:.1f} MB (target <= 30)")
    print(f"pet first window: {pet['first'] * 1000:.0f} ms (target <= 100)")


if __name__ == "__main__":
    main()
