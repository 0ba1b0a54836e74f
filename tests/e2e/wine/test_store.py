"""Checks of the Windows build's hunger store under Wine, without a window:
store_tool.exe runs the program's own store code (the same file functions
and choice of place). Writes that permissions must bind run as the user
nobody, in a Wine prefix of its own.

Usage: /usr/bin/python3 tests/e2e/wine/test_store.py BUILD_DIR
Exit status 0 when every check passed.
"""

import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

from desktop import hold_session

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
NOBODY = 65534
ARABIC_SEPARATOR = "\u066b"

results = []


def check(name, ok, detail=""):
    results.append((name, bool(ok), detail))
    print(("PASS " if ok else "FAIL ") + name + (f": {detail}" if detail else ""), flush=True)
    return ok


def windows(path):
    """The Z: drive name of a Unix path."""
    return "Z:" + path.replace("/", "\\")


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def put(path, data, mode=0o644):
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, mode)


class Prefix:
    """A Wine prefix of its own, for root or for nobody."""

    def __init__(self, root, tool, user=None):
        self.user = user
        self.home = os.path.join(root, "home-" + ("nobody" if user else "root"))
        os.makedirs(self.home)
        if user:
            os.chown(self.home, user, user)
        self.tool = tool
        self.env = dict(PATH=os.environ.get("PATH", "/usr/bin:/bin"), HOME=self.home, LANG="C.UTF-8",
                        WINEPREFIX=os.path.join(self.home, "prefix"), WINEDEBUG="-all", WINEARCH="win64",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        self.run([WINE, "wineboot", "-i"], timeout=300)
        self.run([WINESERVER, "-w"], timeout=300)
        # The session held for the prefix's life: each program then starts
        # into a running server, not into one that is going away.
        self.holder = hold_session(self.argv([]), self.env)

    def argv(self, args):
        prefix = ["setpriv", f"--reuid={self.user}", f"--regid={self.user}", "--clear-groups", "--"] \
            if self.user else []
        return prefix + list(args)

    def run(self, args, timeout=60):
        return subprocess.run(self.argv(args), env=self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=timeout)

    def tool_run(self, *args):
        done = self.run([WINE, self.tool, *args])
        return done.returncode, done.stdout.decode("utf-8", "replace").strip()

    def spawn(self, *args, stderr=subprocess.DEVNULL):
        return subprocess.Popen(self.argv([WINE, self.tool, *args]), env=self.env,
                                stdout=subprocess.PIPE, stderr=stderr)

    def stop(self):
        self.run([WINESERVER, "-k"])
        self.holder.kill()
        self.holder.wait()


def symlink_and_leftovers(wine, root):
    prog, data = os.path.join(root, "link-prog"), os.path.join(root, "link-data")
    os.makedirs(prog)
    os.makedirs(data)
    put(os.path.join(data, "real.ini"), b"42\r\n")
    os.symlink("../link-data/real.ini", os.path.join(prog, "Ph.ini"))
    put(os.path.join(data, "real.ini.4000000-123.new"), b"7")  # its writer is gone
    holder = wine.spawn("hold", windows(data), "real.ini")
    held = holder.stdout.readline().strip() == b"held"
    code, _ = wine.tool_run("write", windows(os.path.join(prog, "Ph.ini")), "57")
    check("a symlinked Ph.ini: the file it points to takes the value",
          code == 0 and read(os.path.join(data, "real.ini")) == b"57\r\n", f"exit {code}")
    check("a symlinked Ph.ini: the link stays", os.path.islink(os.path.join(prog, "Ph.ini")))
    left = sorted(n for n in os.listdir(data) if n != "real.ini")
    check("a killed writer's temporary file goes, a working writer's stays",
          held and len(left) == 1 and left[0].startswith("real.ini.") and left[0].endswith("-1.new"),
          repr(left))
    os.kill(holder.pid, signal.SIGKILL)
    holder.wait()


def separators(wine, root):
    folder = os.path.join(root, "locale")
    os.makedirs(folder)
    key = r"HKCU\Control Panel\International"

    def set_separator(value):
        wine.run([WINE, "reg", "add", key, "/v", "sDecimal", "/d", value, "/f"])

    set_separator(ARABIC_SEPARATOR)
    wine.tool_run("format", windows(folder), "19.5")
    written = read(os.path.join(folder, "Ph.ini"))
    set_separator(".")
    _, value = wine.tool_run("value", windows(folder))
    check("19.5 written with U+066B reads back as 19.5 where the separator is the point",
          written == "19\u066b5\r\n".encode() and value == "19.5", f"{written!r} read as {value}")
    set_separator(",")
    _, value = wine.tool_run("value", windows(folder))
    check("... and where it is the comma", value == "19.5", value)
    put(os.path.join(folder, "Ph.ini"), b"abc\r\n")
    _, value = wine.tool_run("value", windows(folder))
    check("abc is still not a number", value == "not a number", value)
    set_separator(".")


def refusals(nobody, root):
    cases = [
        ("a read-only folder without Ph.ini refuses the store", 0o755, None, 0, 2),
        ("a read-only folder whose Ph.ini nobody may write refuses it", 0o755, b"42\r\n", 0o644, 2),
        ("a read-only folder with a writable Ph.ini is written in place", 0o755, b"42\r\n", 0o666, 0),
        ("a Ph.ini made read-only in a writable folder stays", 0o777, b"42\r\n", 0o444, 3),
    ]
    for n, (name, folder_mode, before, file_mode, want) in enumerate(cases):
        folder = os.path.join(root, f"refusal{n}")
        os.makedirs(folder)
        if before is not None:
            put(os.path.join(folder, "Ph.ini"), before, file_mode)
        os.chmod(folder, folder_mode)
        code, _ = nobody.tool_run("write", windows(os.path.join(folder, "Ph.ini")), "57")
        after = read(os.path.join(folder, "Ph.ini"))
        check(name, code == want and after == (b"57\r\n" if want == 0 else before), f"exit {code}, {after!r}")


def kill_bursts(nobody, root):
    folder = os.path.join(root, "bursts")
    os.makedirs(folder)
    store = os.path.join(folder, "Ph.ini")
    put(store, b"100\r\n", 0o666)
    os.chmod(folder, 0o755)  # root's: no temporary file for nobody, so the write goes in place
    stop = threading.Event()
    counts = {"reads": 0, "bad": 0, "empty": 0, "changes": 0}
    seen, torn = set(), set()

    def reader():
        last = None
        while not stop.is_set():
            data = read(store)
            counts["reads"] += 1
            seen.add(data)
            first = data.split(b"\r\n", 1)[0] if data else None
            if first != last:
                counts["changes"] += 1
                last = first
            if not data:
                counts["empty"] += 1
            elif data.split(b"\r\n", 1)[0] not in (b"100", b"7"):
                counts["bad"] += 1
                torn.add(data)

    # A daemon: a check that goes wrong below must not leave the test
    # hanging on a reader that never stops.
    thread = threading.Thread(target=reader, daemon=True)
    thread.start()
    rng = random.Random(5)
    bad_after = 0
    kills = 25
    idle = 0
    ended = []  # the exit statuses and last words of writers that ended by themselves
    for _ in range(kills):
        changes = counts["changes"]
        said = tempfile.TemporaryFile()
        writer = nobody.spawn("loop", windows(store), "7", "100", stderr=said)
        # A Wine process takes a while to start on a busy machine: the kill
        # comes once the reader has seen the writer change the value twice,
        # at a moment drawn from a fixed sequence.
        try:
            wait_for_change = time.monotonic() + 60
            while counts["changes"] < changes + 2:
                if time.monotonic() > wait_for_change or writer.poll() is not None:
                    raise TimeoutError
                time.sleep(0.01)
        except TimeoutError:
            idle += 1
        time.sleep(rng.random() * 0.3)
        if writer.poll() is None:
            os.kill(writer.pid, signal.SIGKILL)
        else:  # it ended by itself, which the writer never should
            idle += 1
            said.seek(0)
            ended.append((writer.returncode, said.read()[-300:]))
        writer.wait()
        said.close()
        data = read(store)
        if data is None or data.split(b"\r\n", 1)[0] not in (b"100", b"7"):
            bad_after += 1
    stop.set()
    thread.join()
    check("kill -9 bursts of an in-place writer leave a whole value", bad_after == 0,
          f"{bad_after} of {kills} kills")
    # The file never holds less than a whole value, but a read() racing the
    # write of the same few bytes may copy them half-written (the kernel
    # does not order a buffered read against a write): one such read in a
    # million and a half was seen once. An empty file is never allowed.
    check("a concurrent reader sees no empty or partial value",
          counts["empty"] == 0 and counts["bad"] * 100000 <= counts["reads"] and counts["reads"] > 100,
          f"{counts['bad']} of {counts['reads']} reads, {counts['empty']} empty: {sorted(torn)[:3]}")
    check("the writer was at work meanwhile", idle == 0 and ({b"7\r\n\r\n", b"100\r\n"} <= seen or
          {b"7\r\n", b"100\r\n"} <= seen), f"{idle} of {kills} writers changed nothing in 60 s (ended by themselves: {ended}); "
          f"seen {sorted(seen, key=repr)[:6]!r}")
    check("no temporary file is left", os.listdir(folder) == ["Ph.ini"], repr(os.listdir(folder)))


def per_user_store(nobody, root):
    local = os.path.join(nobody.env["WINEPREFIX"], "drive_c", "users", "nobody", "AppData", "Local")
    virtual = os.path.join(local, "VirtualStore")

    def user_copy(folder):
        return os.path.join(virtual, folder.lstrip("/"), "Ph.ini")

    writable = os.path.join(root, "portable")
    os.makedirs(writable)
    os.chown(writable, NOBODY, NOBODY)
    _, back = nobody.tool_run("store", windows(writable), "57")
    check("a writable program folder keeps Ph.ini beside the program",
          read(os.path.join(writable, "Ph.ini")) == b"57\r\n" and back == "57"
          and not os.path.exists(user_copy(writable)), back)

    installed = os.path.join(root, "Program Files", "Guizzolo")
    os.makedirs(installed)
    put(os.path.join(installed, "Ph.ini"), b"42\r\n")
    _, back = nobody.tool_run("store", windows(installed), "57")
    check("a read-only program folder: the value goes to VirtualStore and reads back",
          read(user_copy(installed)) == b"57\r\n" and back == "57"
          and read(os.path.join(installed, "Ph.ini")) == b"42\r\n",
          f"{read(user_copy(installed))!r}, read back {back}")
    _, back = nobody.tool_run("value", windows(installed))
    check("the VirtualStore copy is read first from then on", back == "57", back)

    # Neither place takes the file: both stay as they are.
    shutil.rmtree(virtual)
    os.makedirs(virtual)
    os.chmod(virtual, 0o755)  # root's
    _, back = nobody.tool_run("store", windows(installed), "58")
    check("neither place writable: the old file stays and is read",
          read(os.path.join(installed, "Ph.ini")) == b"42\r\n" and back == "42"
          and os.listdir(virtual) == [], back)


def held_and_claimed(wine, root):
    folder = os.path.join(root, "held")
    os.makedirs(folder)
    put(os.path.join(folder, "Ph.ini"), b"30\r\n")
    _, out = wine.tool_run("held", windows(folder))
    check("a store held open without sharing reads as unreadable, not as none; let go, it reads",
          out.split() == ["unreadable", "30"], out)
    _, out = wine.tool_run("claim", windows(folder))
    check("a second claim on the same store is refused", out.split() == ["claimed", "refused"], out)


def main():
    build = os.path.abspath(sys.argv[1])
    root = tempfile.mkdtemp(prefix="guizzolo-wine-store-")
    os.chmod(root, 0o755)
    tool = os.path.join(root, "store_tool.exe")
    shutil.copy2(os.path.join(build, "store_tool.exe"), tool)
    os.chmod(tool, 0o755)
    prefixes = []
    try:
        wine = Prefix(root, tool)
        prefixes.append(wine)
        symlink_and_leftovers(wine, root)
        separators(wine, root)
        held_and_claimed(wine, root)
        nobody = Prefix(root, tool, NOBODY)
        prefixes.append(nobody)
        refusals(nobody, root)
        kill_bursts(nobody, root)
        per_user_store(nobody, root)
    finally:
        for prefix in prefixes:
            prefix.stop()
        shutil.rmtree(root, ignore_errors=True)
    failed = [name for name, ok, _ in results if not ok]
    print(f"{len(results) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
