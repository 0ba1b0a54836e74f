#!/usr/bin/python3
"""What the pet costs while it swims, beside the floor (bench/floor.c: plain
xcb, the same window and moves, nothing else) and oneko.

Runs the three programs interleaved, ROUNDS rounds of DURATION seconds each,
on one private virtual desktop (scripts/virtual-desktop.sh, with its audio
server), and prints min / median over the rounds of:

  process CPU, whole run and steady (after the first STEADY_AFTER seconds), ms/s
  X server, window manager and audio server CPU while it runs (steady), ms/s
  wakeups per second of the process (context switches of all its threads, steady)
  peak RSS and private memory (Private_Clean + Private_Dirty) at the end, MB
  first window: ms from exec to the first window mapped on the desktop

    bench/bench.py [--pet PATH] [--before PATH] [--duration S] [--rounds N] [--quick]

--pet benches any pet executable (default build/NuvoNuvo); the wave files
beside it (else those of assets/) go into its program folder. --before adds
a second pet (an older build, say) to the same rounds, for a side-by-side. --quick runs
one round of 8 s, to check that everything works. CPU figures come from the
processes' CPU clocks (nanoseconds, threads that ended included). Run it on a
quiet machine: anything else running shows in every figure.
"""
import argparse
import ctypes
import ctypes.util
import os
import random
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HERE = os.path.dirname(os.path.abspath(__file__))
SOUNDS = ("Sound.wav", "Sound2.wav", "Sound3.wav", "Sound4.wav")
STEADY_AFTER = 5.0
SAMPLE = 0.25  # seconds between looks at the threads' context switches
MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19

libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)


class Timespec(ctypes.Structure):
    _fields_ = [("tv_sec", ctypes.c_long), ("tv_nsec", ctypes.c_long)]


def cpu_ns(pid):
    """CPU time of a whole process (all its threads, also those that ended), in ns."""
    clock = ctypes.c_int()
    if libc.clock_getcpuclockid(pid, ctypes.byref(clock)) != 0:
        return None
    t = Timespec()
    if libc.clock_gettime(clock, ctypes.byref(t)) != 0:
        return None
    return t.tv_sec * 1_000_000_000 + t.tv_nsec


def switches(pid):
    """{thread id: voluntary + involuntary context switches} of a process's live threads."""
    out = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return out
    for tid in tids:
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                n = 0
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        n += int(line.split()[1])
                out[tid] = n
        except OSError:
            pass
    return out


def memory_mb(pid):
    """(peak RSS, private memory) in MB."""
    peak = private = float("nan")
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                peak = int(line.split()[1]) / 1024
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            private = sum(int(line.split()[1]) for line in f
                          if line.startswith(("Private_Clean:", "Private_Dirty:"))) / 1024
    except OSError:
        pass
    return peak, private


class MapWatcher:
    """Reports the first window mapped on the desktop after a moment."""

    def __init__(self, display):
        self.x = ctypes.CDLL(ctypes.util.find_library("X11"))
        x = self.x
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        for name in ("XPending", "XConnectionNumber", "XCloseDisplay"):
            getattr(x, name).argtypes = [ctypes.c_void_p]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        self.dpy = x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise SystemExit(f"cannot open display {display}")
        x.XSelectInput(self.dpy, x.XDefaultRootWindow(self.dpy), SUBSTRUCTURE_NOTIFY_MASK)
        x.XSync(self.dpy, 1)  # drop what came before

    def first_map_after(self, start, timeout):
        event = ctypes.create_string_buffer(192)
        fd = self.x.XConnectionNumber(self.dpy)
        while time.monotonic() - start < timeout:
            while self.x.XPending(self.dpy):
                self.x.XNextEvent(self.dpy, event)
                if ctypes.c_int.from_buffer(event).value == MAP_NOTIFY:
                    return time.monotonic() - start
            select.select([fd], [], [], 0.01)
        return float("nan")

    def close(self):
        self.x.XCloseDisplay(self.dpy)


def run_once(name, argv, cwd, env, servers, duration):
    """One program for duration seconds; its figures, and those of the servers."""
    watcher = MapWatcher(env["DISPLAY"])
    start = time.monotonic()
    proc = subprocess.Popen(argv, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    first = watcher.first_map_after(start, 10)
    watcher.close()

    steady_at = start + STEADY_AFTER
    steady = None  # CPU clocks at the start of the steady part
    first_seen, last_seen = {}, {}
    while True:
        now = time.monotonic()
        if now - start >= duration or proc.poll() is not None:
            break
        if steady is None and now >= steady_at:
            steady = {"proc": cpu_ns(proc.pid), **{k: cpu_ns(pid) for k, pid in servers.items()}}
            steady["t"] = now
        if steady is not None:
            for tid, n in switches(proc.pid).items():
                first_seen.setdefault(tid, n)
                last_seen[tid] = n
        time.sleep(min(SAMPLE, max(0.0, duration - (now - start))))
    if proc.poll() is not None:
        raise SystemExit(f"{name} ended early with {proc.returncode}")
    end = time.monotonic()
    total = cpu_ns(proc.pid)
    finals = {k: cpu_ns(pid) for k, pid in servers.items()}
    peak, private = memory_mb(proc.pid)
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(10)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()

    span = end - steady["t"]
    row = {
        "cpu": total / 1e6 / (end - start),
        "cpu_steady": (total - steady["proc"]) / 1e6 / span,
        "wakeups": sum(last_seen[t] - first_seen[t] for t in last_seen) / span,
        "rss": peak,
        "private": private,
        "first": first * 1000,
    }
    for k in servers:
        row[k] = (finals[k] - steady[k]) / 1e6 / span if finals[k] is not None and steady[k] is not None \
            else float("nan")
    return row


def build_floor(folder):
    exe = os.path.join(folder, "floor")
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "xcb", "xcb-shape"], check=True,
                           capture_output=True, text=True).stdout.split()
    subprocess.run(["cc", "-O2", os.path.join(HERE, "floor.c"), "-o", exe, *flags], check=True)
    return exe


def desktop_env(state):
    env = dict(os.environ)
    with open(os.path.join(state, "env")) as f:
        for line in f:
            if line.startswith("export "):
                key, value = line[len("export "):].strip().split("=", 1)
                env[key] = value.strip("'\"")
    for name in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "SESSION_MANAGER"):
        env.pop(name, None)
    env["HOME"] = os.path.join(state, "home")
    return env


def pet_folder(state, program, name="pet"):
    folder = os.path.join(state, name)
    os.makedirs(folder)
    shutil.copy(program, os.path.join(folder, "NuvoNuvo"))
    # The module the program opens for its panel, where the build has one.
    module = program + "-qt.so"
    if os.path.exists(module):
        shutil.copy(module, folder)
    for wav in SOUNDS:
        for source in (os.path.join(os.path.dirname(program), wav), os.path.join(ROOT, "assets", wav)):
            if os.path.exists(source):
                shutil.copy(source, folder)
                break
    return folder


def fed(folder):
    # A fed fish: no hunger message within a few minutes.
    with open(os.path.join(folder, "Ph.ini"), "wb") as f:
        f.write(b"100\r\n")


ROWS = [
    ("process CPU, whole run (ms/s)", "cpu", "{:.2f}"),
    ("process CPU, steady (ms/s)", "cpu_steady", "{:.2f}"),
    ("X server CPU (ms/s)", "xserver", "{:.2f}"),
    ("window manager CPU (ms/s)", "wm", "{:.2f}"),
    ("audio server CPU (ms/s)", "audio", "{:.2f}"),
    ("X + WM + audio (ms/s)", "servers", "{:.2f}"),
    ("wakeups/s, process", "wakeups", "{:.1f}"),
    ("peak RSS (MB)", "rss", "{:.1f}"),
    ("private memory (MB)", "private", "{:.1f}"),
    ("first window (ms)", "first", "{:.0f}"),
]


def report(results, names, duration, rounds):
    print(f"{rounds} round(s) of {duration:g} s each, interleaved, on one virtual desktop; "
          f"steady = after the first {STEADY_AFTER:g} s; min / median")
    width = max(len(label) for label, _, _ in ROWS)
    print(f"{'':<{width}}  " + "  ".join(f"{n:>17}" for n in names))
    for label, key, fmt in ROWS:
        cells = []
        for n in names:
            values = [r[key] for r in results[n]]
            cells.append(f"{fmt.format(min(values))} / {fmt.format(statistics.median(values))}")
        print(f"{label:<{width}}  " + "  ".join(f"{c:>17}" for c in cells))

    def median(name, key):
        return statistics.median(r[key] for r in results[name])

    def ratio(key):
        floor = median("floor", key)
        return median("pet", key) / floor if floor > 0 else float("inf")

    print("targets (pet, medians, swimming with sound, panel never shown):")
    print(f"  process CPU steady {ratio('cpu_steady'):.2f}x the floor's (at most 1.5x)")
    print(f"  X + WM + audio {ratio('servers'):.2f}x the floor's (at most 1.2x)")
    print(f"  peak RSS {median('pet', 'rss'):.1f} MB (at most 6 MB)")
    print(f"  first window {median('pet', 'first'):.0f} ms (within 20 ms)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--pet", default=os.path.join(ROOT, "build", "NuvoNuvo"), help="pet executable")
    parser.add_argument("--duration", type=float, default=60.0, help="seconds per run (default 60)")
    parser.add_argument("--rounds", type=int, default=3, help="rounds (default 3)")
    parser.add_argument("--quick", action="store_true", help="one round of 8 s, to check the bench")
    parser.add_argument("--before", help="another pet executable (an older build), benched beside --pet")
    parser.add_argument("--oneko", default=shutil.which("oneko") or "/usr/games/oneko")
    args = parser.parse_args()
    if args.quick:
        args.duration, args.rounds = 8.0, 1
    if args.duration <= STEADY_AFTER + 1:
        raise SystemExit(f"--duration must be over {STEADY_AFTER + 1:g} s")
    pet = os.path.abspath(args.pet)
    before = os.path.abspath(args.before) if args.before else None
    for needed in [pet, args.oneko] + ([before] if before else []):
        if not os.access(needed, os.X_OK):
            raise SystemExit(f"missing {needed} (scripts/deps.sh test installs bench/packages; "
                             "scripts/build.sh builds the pet)")

    state = tempfile.mkdtemp(prefix="guizzolo-bench-")
    desktop = os.path.join(ROOT, "scripts", "virtual-desktop.sh")
    subprocess.run([desktop, "start", state], check=True)
    try:
        env = desktop_env(state)
        pids = {name: int(open(os.path.join(state, f"{name}.pid")).read())
                for name in ("xvfb", "openbox", "pulseaudio")}
        servers = {"xserver": pids["xvfb"], "wm": pids["openbox"], "audio": pids["pulseaudio"]}
        folder = pet_folder(state, pet)
        floor = build_floor(state)
        programs = {
            "pet": ([os.path.join(folder, "NuvoNuvo")], folder),
            "floor": ([floor], state),
            "oneko": ([args.oneko], state),
        }
        if before:
            programs["before"] = ([os.path.join(pet_folder(state, before, "before"), "NuvoNuvo")],
                                  os.path.join(state, "before"))
        names = list(programs)
        results = {n: [] for n in names}
        for round_no in range(args.rounds):
            # Each round in another order, so no program always follows the same one.
            order = names[round_no % len(names):] + names[:round_no % len(names)]
            for n in order:
                fed(programs[n][1])
                argv, cwd = programs[n]
                row = run_once(n, argv, cwd, env, servers, args.duration)
                row["servers"] = row["xserver"] + row["wm"] + row["audio"]
                results[n].append(row)
                print(f"round {round_no + 1}: {n} done", file=sys.stderr)
                time.sleep(1)  # let the servers settle
    finally:
        subprocess.run([desktop, "stop", state])
        shutil.rmtree(state, ignore_errors=True)
    report(results, names, args.duration, args.rounds)


if __name__ == "__main__":
    random.seed()
    main()
