#!/usr/bin/python3
"""What the pet costs on a Wayland compositor's layer shell, beside the floor
there (bench/floor_layer.c: the same fish on the same shell, nothing else).

Starts sway nested in an Xvfb (scripts/virtual-desktop.sh --desktop sway,
with its audio server), runs the two interleaved, ROUNDS rounds of DURATION
seconds each, and prints min / median over the rounds of:

  process CPU, steady (after the first STEADY_AFTER seconds), ms/s
  peak RSS at the end (the panel never shown), MB
  first frame: ms from exec to the first commit with a picture (read from a
    separate start with WAYLAND_DEBUG=1, libwayland's own time stamps)

    bench/bench_wayland.py [--pet PATH] [--duration S] [--rounds N]
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import SOUNDS, cpu_ns  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HERE = os.path.dirname(os.path.abspath(__file__))
STEADY_AFTER = 3.0
LAYER_XML = os.path.join(ROOT, "platform", "wayland", "protocols", "wlr-layer-shell-unstable-v1.xml")


def build_floor(folder):
    for kind, out in (("client-header", "wlr-layer-shell-unstable-v1.h"), ("private-code", "layer-shell.c")):
        subprocess.run(["wayland-scanner", kind, LAYER_XML, os.path.join(folder, out)], check=True)
    exe = os.path.join(folder, "floor_layer")
    subprocess.run(["cc", "-O2", "-I", folder, os.path.join(HERE, "floor_layer.c"),
                    os.path.join(folder, "layer-shell.c"), "-o", exe, "-lwayland-client"], check=True)
    return exe


def desktop_env(state):
    env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "SESSION_MANAGER")}
    with open(os.path.join(state, "env")) as f:
        for line in f:
            m = re.match(r"export (\w+)=(.*)", line.strip())
            if m:
                env[m.group(1)] = m.group(2)
    env["WAYLAND_DISPLAY"] = env["GUIZZOLO_WAYLAND_DISPLAY"]
    env["XDG_SESSION_TYPE"] = "wayland"
    return env


def peak_rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return float("nan")


def one_run(argv, env, cwd, duration):
    proc = subprocess.Popen(argv, env=env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(STEADY_AFTER)
    c0, t0 = cpu_ns(proc.pid), time.monotonic()
    time.sleep(duration - STEADY_AFTER)
    c1, t1 = cpu_ns(proc.pid), time.monotonic()
    rss = peak_rss_mb(proc.pid)
    proc.terminate()
    proc.wait(10)
    return {"cpu": (c1 - c0) / 1e6 / (t1 - t0), "rss": rss}


def first_frame_ms(argv, env, cwd):
    """From exec to the first commit after a picture is attached, in ms."""
    env = dict(env, WAYLAND_DEBUG="1")
    # libwayland stamps each line with the wall clock in µs, cut to 32 bits.
    start_us = int(time.time() * 1e6) % 2**32
    proc = subprocess.Popen(argv, env=env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    attached = False
    try:
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            line = proc.stderr.readline()
            if not line:
                break
            m = re.match(r"\[\s*(\d+)\.(\d+)\]\s+-?>?\s*(wl_surface@\d+)\.(attach|commit)\((.*)\)", line)
            if not m:
                continue
            if m.group(4) == "attach" and "wl_buffer@" in m.group(5):
                attached = True
            elif m.group(4) == "commit" and attached:
                stamp_us = int(m.group(1)) * 1000 + int(m.group(2))
                return ((stamp_us - start_us) % 2**32) / 1000
    finally:
        proc.terminate()
        proc.wait(10)
    return float("nan")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--pet", default=os.path.join(ROOT, "build", "NuvoNuvo"))
    p.add_argument("--duration", type=float, default=15)
    p.add_argument("--rounds", type=int, default=3)
    args = p.parse_args()
    state = tempfile.mkdtemp(prefix="guizzolo-bench-wl-")
    try:
        subprocess.run([os.path.join(ROOT, "scripts", "virtual-desktop.sh"), "start", state, "--desktop", "sway"],
                       check=True)
        env = desktop_env(state)
        floor = build_floor(state)
        folder = os.path.join(state, "program")
        os.makedirs(folder)
        pet = os.path.join(folder, "NuvoNuvo")
        shutil.copy2(args.pet, pet)
        for name in SOUNDS + ("NuvoNuvo-qt.so",):
            src = os.path.join(os.path.dirname(args.pet), name)
            if os.path.exists(src):
                shutil.copy2(src, os.path.join(folder, name))
        with open(os.path.join(folder, "Ph.ini"), "wb") as f:
            f.write(b"100\r\n")
        programs = {"floor": [floor], "pet": [pet]}
        results = {name: [] for name in programs}
        for r in range(args.rounds):
            for name, argv in programs.items():
                run = one_run(argv, env, folder, args.duration)
                run["first"] = first_frame_ms(argv, env, folder)
                results[name].append(run)
                print(f"round {r + 1} {name}: cpu {run['cpu']:.2f} ms/s, peak RSS {run['rss']:.1f} MB, "
                      f"first frame {run['first']:.1f} ms", flush=True)
        print(f"\nsway 1.7 nested in Xvfb, {args.rounds} rounds of {args.duration:g} s: min / median")
        for key, label, unit in (("cpu", "process CPU steady", "ms/s"), ("rss", "peak RSS", "MB"),
                                 ("first", "first frame", "ms")):
            for name in programs:
                values = [run[key] for run in results[name]]
                print(f"  {label:20} {name:6} {min(values):8.2f} / {statistics.median(values):8.2f} {unit}")
        floor_cpu = statistics.median(run["cpu"] for run in results["floor"])
        pet_cpu = statistics.median(run["cpu"] for run in results["pet"])
        print(f"  process CPU steady {pet_cpu / floor_cpu:.2f}x the floor's (at most 1.5x)")
        print(f"  peak RSS {max(run['rss'] for run in results['pet']):.1f} MB (at most 6 MB before the panel)")
        print(f"  first frame {statistics.median(run['first'] for run in results['pet']):.1f} ms (at most 20 ms)")
    finally:
        subprocess.run([os.path.join(ROOT, "scripts", "virtual-desktop.sh"), "stop", state])
        shutil.rmtree(state, ignore_errors=True)


if __name__ == "__main__":
    main()
