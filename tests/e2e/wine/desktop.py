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
SCREEN_W, SCREEN_H = 1280, 1024
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


class Desktop:
    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="guizzolo-wine-")
        self.home = os.path.join(self.root, "home")
        self.runtime = os.path.join(self.root, "run")
        for d in (self.home, self.runtime):
            os.makedirs(d, mode=0o700)
        self.procs = []
        self.display = None
        self.recording = os.path.join(self.root, "sink.raw")
        self.env = None

    # --- start and stop -------------------------------------------------
    def start(self):
        self._start_x()
        self.env = dict(
            PATH=os.environ.get("PATH", "/usr/bin:/bin"),
            HOME=self.home,
            XDG_RUNTIME_DIR=self.runtime,
            DISPLAY=self.display,
            LANG="C.UTF-8",
        )
        self._spawn(["openbox", "--sm-disable"])
        wait_for("the window manager", lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.run_out(["xprop", "-root"]))
        self._start_pulse()
        self.wine_env = dict(
            self.env,
            WINEPREFIX=os.path.join(self.root, "prefix"),
            WINEDEBUG="-all",
            WINEARCH="win64",
            WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
            PULSE_SERVER="unix:" + os.path.join(self.runtime, "pulse", "native"),
            PULSE_LATENCY_MSEC="60",
        )
        subprocess.run([WINE, "wineboot", "-i"], env=self.wine_env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        subprocess.run([WINESERVER, "-w"], env=self.wine_env, check=True, timeout=300)
        return self

    def _start_x(self):
        # Xvfb picks a free display itself and writes its number to the pipe:
        # no race with other virtual desktops started at the same time.
        read_end, write_end = os.pipe()
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                 f"{SCREEN_W}x{SCREEN_H}x24", "-nolisten", "tcp"],
                                pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        self.procs.append(proc)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()

    def _start_pulse(self):
        config = os.path.join(self.root, "own.pa")
        with open(config, "w") as f:
            f.write("load-module module-native-protocol-unix\n"
                    "load-module module-null-sink sink_name=guizzolo_sink\n"
                    "set-default-sink guizzolo_sink\n")
        self._spawn(["pulseaudio", "-n", "-F", config, "--daemonize=no", "--exit-idle-time=-1",
                     "--disable-shm=true"], env=self.env)
        wait_for("pulseaudio", lambda: subprocess.run(["pactl", "info"], env=self.env,
                                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0)
        # One recording for the whole run, started before any program: Wine
        # connects to the sink once, and a late recorder can miss a short sound.
        self._out = open(self.recording, "wb")
        self._spawn(["parec", "-d", "guizzolo_sink.monitor", "--format=s16le", f"--rate={RATE}",
                     "--channels=1", "--raw"], env=self.env, stdout=self._out)

    def stop(self):
        if self.env is not None and hasattr(self, "wine_env"):
            subprocess.run([WINESERVER, "-k"], env=self.wine_env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
                try:
                    proc.wait(10)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        self.procs.clear()
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

    def launch(self, folder):
        return self._spawn([WINE, os.path.join(folder, "NuvoNuvo.exe")], env=self.wine_env)

    def end(self, proc):
        """Ends one program by its PID (the Wine loader process)."""
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        if proc in self.procs:
            self.procs.remove(proc)

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
