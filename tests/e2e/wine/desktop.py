"""A private desktop for running NuvoNuvo.exe under Wine.

Xvfb + openbox + a private PulseAudio with a null sink, a recording of that
sink's monitor, and a quiet Wine prefix of our own, all under one temporary
folder. Every process is started here and ended by its PID.
"""

import array
import math
import os
import shutil
import signal
import subprocess
import tempfile
import time

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
DESKTOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                       "scripts", "virtual-desktop.sh")
RATE = 44100


def wait_for(what, test, timeout=30.0, every=0.1):
    """Polls test() until it returns something true; generous deadlines only."""
    end = time.monotonic() + timeout
    while True:
        result = test()
        if result:
            return result
        if time.monotonic() > end:
            raise TimeoutError(f"timed out waiting for {what}")
        time.sleep(every)


def hold_session(as_user, env):
    """Wine's session processes (services and the rest) on the real clock for
    the whole run, held by an idle console program; returns it. Started by a
    first program whose wall clock libfaketime stops, they would run on a
    clock that stands still: under Wine 10 that program and every later one
    then hang before their first window."""
    holder = subprocess.Popen(as_user + [WINE, "cmd", "/c", "pause"], env=env, stdin=subprocess.PIPE,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    # A program's start waits for the services: once this one has run, they
    # are up, and the holder keeps them.
    subprocess.run(as_user + [WINE, "cmd", "/c", "exit"], env=env, check=True, timeout=120,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return holder


class Desktop:
    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="guizzolo-wine-")
        self.state = os.path.join(self.root, "desktop")
        self.home = os.path.join(self.root, "home")
        os.makedirs(self.home, mode=0o700)
        self.procs = []
        self.recording = os.path.join(self.root, "sink.raw")
        self.env = None

    # --- start and stop -------------------------------------------------
    def start(self):
        # The same private desktop as the other end-to-end tests: Xvfb,
        # openbox and a PulseAudio null sink named guizzolo_sink.
        subprocess.run([DESKTOP, "start", self.state], check=True, stdout=subprocess.DEVNULL)
        self.env = dict(PATH=os.environ.get("PATH", "/usr/bin:/bin"), LANG="C.UTF-8")
        with open(os.path.join(self.state, "env")) as f:
            for line in f:
                if line.startswith("export "):
                    key, value = line[len("export "):].strip().split("=", 1)
                    self.env[key] = value.strip("'\"")
        self.env["HOME"] = self.home
        self.display = self.env["DISPLAY"]
        # The system's browser, as Wine reaches it (xdg-open on the PATH): a
        # stub that writes down the address it is given.
        stubs = os.path.join(self.root, "stubs")
        os.makedirs(stubs)
        self.browsed = os.path.join(self.root, "browsed.txt")
        stub = os.path.join(stubs, "xdg-open")
        with open(stub, "w") as f:
            f.write(f'#!/bin/sh\nprintf "%s\\n" "$@" >> "{self.browsed}"\n')
        os.chmod(stub, 0o755)
        self.env["PATH"] = stubs + os.pathsep + self.env["PATH"]
        # One recording for the whole run, started before any program: Wine
        # connects to the sink once, and a late recorder can miss a short sound.
        self._out = open(self.recording, "wb")
        # A short latency: parec's default hands the data over in 2 s lumps,
        # which eats into the wait for a sound.
        self._spawn(["parec", "-d", "guizzolo_sink.monitor", "--format=s16le", f"--rate={RATE}",
                     "--channels=1", "--raw", "--latency-msec=30"], env=self.env, stdout=self._out)
        self.wine_env = dict(
            self.env,
            WINEPREFIX=os.path.join(self.root, "prefix"),
            WINEDEBUG="-all",
            WINEARCH="win64",
            WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
            PULSE_LATENCY_MSEC="60",
        )
        subprocess.run([WINE, "wineboot", "-i"], env=self.wine_env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        subprocess.run([WINESERVER, "-w"], env=self.wine_env, check=True, timeout=300)
        self.procs.append(hold_session([], self.wine_env))
        return self

    def stop(self):
        if hasattr(self, "wine_env"):
            subprocess.run([WINESERVER, "-k"], env=self.wine_env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        for proc in reversed(list(self.procs)):
            self.end(proc)
        subprocess.run([DESKTOP, "stop", self.state], stdout=subprocess.DEVNULL)
        if os.environ.get("GUIZZOLO_KEEP_TEMP") != "1":
            shutil.rmtree(self.root, ignore_errors=True)

    def _spawn(self, argv, env=None, stdout=subprocess.DEVNULL):
        proc = subprocess.Popen(argv, env=env if env is not None else self._xenv(), stdout=stdout,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        self.procs.append(proc)
        return proc

    def _xenv(self):
        return self.env or dict(PATH=os.environ.get("PATH", "/usr/bin:/bin"), HOME=self.home)

    # --- the program ------------------------------------------------------
    def program_folder(self, exe_dir, name, store=None, sounds=True):
        """A fresh program folder with the executable (and the wave files)."""
        folder = os.path.join(self.root, name)
        os.makedirs(folder)
        shutil.copy2(os.path.join(exe_dir, "NuvoNuvo.exe"), folder)
        if sounds:
            for wav in ("Sound.wav", "Sound2.wav", "Sound3.wav", "Sound4.wav"):
                shutil.copy2(os.path.join(exe_dir, wav), folder)
        if store is not None:
            with open(os.path.join(folder, "Ph.ini"), "wb") as f:
                f.write(store)
        return folder

    def launch(self, folder, moment=None):
        """moment: a moments.Moment to stop the program's wall clock at
        (libfaketime works on the Windows program's own Wine process: its
        time of day, and so its draws, are those of the moment)."""
        env = dict(self.wine_env, **moment.env()) if moment else self.wine_env
        return self._spawn([WINE, os.path.join(folder, "NuvoNuvo.exe")], env=env)

    def end(self, proc):
        """Ends one process started here, by its PID (for a program, the Wine
        loader process)."""
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        if proc in self.procs:
            self.procs.remove(proc)
        # What libfaketime leaves of a program with a stopped clock.
        for name in (f"/dev/shm/faketime_shm_{proc.pid}", f"/dev/shm/sem.faketime_sem_{proc.pid}"):
            try:
                os.unlink(name)
            except OSError:
                pass

    # --- looking and touching ---------------------------------------------
    def run_out(self, argv, check=False):
        r = subprocess.run(argv, env=self._xenv(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           text=True, check=check)
        return r.stdout

    def xdo(self, *args):
        return self.run_out(["xdotool", *map(str, args)])

    def find(self, name):
        """X windows whose name is exactly `name` and which are mapped."""
        out = self.run_out(["xdotool", "search", "--onlyvisible", "--name", f"^{name}$"])
        return [int(w) for w in out.split()]

    def geometry(self, window):
        """Absolute x, y, width, height of an X window."""
        out = self.run_out(["xwininfo", "-id", str(window)])
        values = {}
        for line in out.splitlines():
            line = line.strip()
            for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
                if line.startswith(key + ":"):
                    values[key] = int(line.split(":")[1])
        if len(values) < 4:
            return None
        return (values["Absolute upper-left X"], values["Absolute upper-left Y"], values["Width"], values["Height"])

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self._xenv(), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def root_prop(self, name):
        return self.run_out(["xprop", "-root", name])

    # --- sound ------------------------------------------------------------
    def pulse_list(self, what):
        """The audio server's short list of clients, sink-inputs, ... (for a
        failure's detail)."""
        return self.run_out(["pactl", "list", "short", what]).strip()

    def recorded_seconds(self):
        return os.path.getsize(self.recording) / 2 / RATE

    def rms(self, start_second=0.0):
        """RMS (0..1) of the recording from start_second on."""
        with open(self.recording, "rb") as f:
            f.seek(int(start_second * RATE) * 2)
            data = f.read()
        samples = array.array("h")
        samples.frombytes(data[: len(data) // 2 * 2])
        if not samples:
            return 0.0
        return math.sqrt(sum(s * s for s in samples) / len(samples)) / 32768.0
