"""Checks under Wine of what must hold up when the user is busy elsewhere: a
message box that opens while the fish is dragged, a message box that opens
while another program is being typed in, and the end of the session.

Each function takes the running check suite (test_wine.Run) and its check
function, and starts and ends its own programs."""

import os
import subprocess
import time

import moments
from desktop import WINE, wait_for

PANEL = "NuvoNuvo di Tarvisco"
BOX = "Guizzolo"
NOTEPAD = "Untitled - Notepad"


def _wait_window(d, name, timeout):
    try:
        return wait_for(name, lambda: d.find(name), timeout)[0]
    except TimeoutError:
        return None


def _ended(proc, timeout):
    try:
        return proc.wait(timeout)
    except subprocess.TimeoutExpired:
        return None


def box_during_drag(run, check, fish_point):
    """Ph.ini at 21, and a clock whose first hunger step (the alert) comes at
    tick 29: it comes while the left button holds the fish (at fish_point of
    the pet window) in the system's move loop. The box must take the click, and the drag must end with it, so
    the press goes on to the panel."""
    d = run.d
    not_following = []
    for attempt in range(6):
        folder = d.program_folder(run.build, f"drag-box-{attempt}", store=b"21\r\n")
        proc = d.launch(folder, moments.ALERT_AFTER_A_WHILE)
        try:
            pet = run.pet()
            geo = d.geometry(pet)
            x, y = fish_point
            d.xdo("mousemove", geo[0] + x, geo[1] + y)
            time.sleep(0.2)
            if d.find(BOX):
                continue  # the step came before the press: again
            d.xdo("mousedown", 1)
            time.sleep(0.3)
            if d.find(BOX):
                # It may have come between the look and the press, when the
                # press no longer reaches the pet: again, with a new program.
                d.xdo("mouseup", 1)
                continue
            # The box window shows a moment after the tick opened it, so no
            # box yet does not prove the press came first: a press on a pet
            # that a box already disables starts nothing, and so does a press
            # that misses a fish which swam on since its place was read. Only
            # a pet that follows the pointer is known to be in the drag. The
            # pointer goes left and down or right and up, where no swim goes
            # (right and down, left and up, or level), and far: ticks go on
            # in the drag and move the fish by up to 13 px each.
            held = d.geometry(pet)
            step = (-150, 120) if geo[0] > 300 and geo[1] < 560 else (150, -120)
            d.xdo("mousemove", geo[0] + x + step[0], geo[1] + y + step[1])
            time.sleep(0.3)
            moved = d.geometry(pet)
            follows = (held is not None and moved is not None and abs(moved[0] - held[0] - step[0]) <= 60
                       and abs(moved[1] - held[1] - step[1]) <= 60)
            if not follows:
                d.xdo("mouseup", 1)
                not_following.append((held, moved))
                continue
            box = _wait_window(d, BOX, 30)
            if box is None:
                d.xdo("mouseup", 1)
                check("drag: the hunger alert comes while the button is held", False)
                return
            at_box = d.geometry(pet)
            run.shot("drag-box.png")
            d.xdo("mouseup", 1)
            time.sleep(0.5)
            bg = run.aside(box, at_box or (0, 0, 0, 0))
            run.click_at(bg[0] + bg[2] // 2 - 15, bg[1] + bg[3] - 20, 1)  # the OK button
            try:
                wait_for("the box to close", lambda: not d.find(BOX), 5)
                answered = True
            except TimeoutError:
                answered = False
            check("drag: a box that opens during the drag is answered with a click", answered)
            panel = _wait_window(d, PANEL, 5)
            after = d.geometry(pet)
            run.shot("drag-box-answered.png")
            check("drag: the drag ends with the box (the press goes on and the panel comes up)", panel is not None,
                  f"pet at the box {at_box}, after {after}")
            check("drag: the pet stays where the box found it (no snap back)",
                  after is not None and abs(after[0] - at_box[0]) <= 40 and abs(after[1] - at_box[1]) <= 40,
                  f"at the box {at_box}, after {after}")
            check("drag: the program is still running", proc.poll() is None)
            return
        finally:
            d.end(proc)
    if not_following:
        check("drag: the pet follows the held button", False, f"before and after a move of 150, 120: {not_following}")
    else:
        check("drag: the hunger alert comes while the button is held", False, "it came too early six times")


def box_behind_typing(run, check):
    """Notepad is being typed in when the hunger alert comes: the box shows
    above it but the keys, Return included, stay with notepad; a click on the
    box gives it the keyboard."""
    d = run.d
    notepad = d._spawn([WINE, "notepad"], env=d.wine_env)
    try:
        note = _wait_window(d, NOTEPAD, 60)
        if note is None:
            check("typing: notepad comes up", False)
            return
        d.xdo("windowactivate", note)
        time.sleep(0.5)
        d.xdo("type", "before ")
        folder = d.program_folder(run.build, "typing", store=b"21\r\n")
        proc = d.launch(folder, moments.ALERT_AFTER_A_WHILE)
        try:
            box = _wait_window(d, BOX, 30)
            if box is None:
                check("typing: the hunger alert comes", False)
                return
            time.sleep(0.5)
            active = d.xdo("getactivewindow").strip()
            stacking = [int(w, 16) for w in d.root_prop("_NET_CLIENT_LIST_STACKING").split("#")[-1].replace(",", " ").split()
                        if w.startswith("0x")]
            above = box in stacking and note in stacking and stacking.index(box) > stacking.index(note)
            run.shot("typing-box.png")
            check("typing: the box comes up above the window being typed in", above, f"stacking {stacking}")
            check("typing: notepad keeps the keyboard when the box comes up", active == str(note),
                  f"active {active}, notepad {note}, box {box}")
            d.xdo("type", "typed")
            d.xdo("key", "Return")
            time.sleep(1.0)
            check("typing: Return meant for notepad does not answer the box", bool(d.find(BOX)))
            # A press on the box (away from the OK button and from the pet,
            # which may swim above it) makes it active: Return answers it.
            if d.find(BOX):
                pg = d.geometry(d.find("Form1")[0]) if d.find("Form1") else (0, 0, 0, 0)
                bg = run.aside(box, pg or (0, 0, 0, 0))
                spots = [(bg[0] + 12, bg[1] + bg[3] - 12), (bg[0] + bg[2] - 12, bg[1] + bg[3] - 12),
                         (bg[0] + bg[2] - 12, bg[1] + 12), (bg[0] + 12, bg[1] + 12)]
                free = [s for s in spots if not (pg[0] - 4 <= s[0] < pg[0] + pg[2] + 4 and pg[1] - 4 <= s[1] < pg[1] + pg[3] + 4)]
                run.click_at(*free[0], 1)
                time.sleep(0.5)
                d.xdo("key", "Return")
                try:
                    wait_for("the box to close", lambda: not d.find(BOX), 5)
                    closed = True
                except TimeoutError:
                    closed = False
                check("typing: after a click on the box, Return answers it", closed)
            check("typing: the program is still running after the alert", proc.poll() is None)
        finally:
            d.end(proc)
        # What notepad got: saved through its own dialog, read back here.
        saved = os.path.join(d.root, "typed.txt")
        d.xdo("windowactivate", note)
        time.sleep(0.5)
        d.xdo("key", "ctrl+s")
        time.sleep(1.5)
        d.xdo("type", "Z:" + saved.replace("/", "\\"))
        d.xdo("key", "Return")
        try:
            text = wait_for("notepad's file", lambda: os.path.exists(saved) and open(saved, "rb").read(), 10)
        except TimeoutError:
            text = None
        check("typing: every key typed while the box was up reached notepad", text == b"before typed\r\n", repr(text))
    finally:
        d.end(notepad)


def session_end(run, check):
    """The session ends (wineboot --end-session sends WM_QUERYENDSESSION and
    WM_ENDSESSION): the loaded panel is unloaded, Ph.ini holds the pet copy,
    and the program ends. Last of all: it ends every program of the prefix."""
    d = run.d
    folder = d.program_folder(run.build, "session", store=b"50\r\n")
    store = os.path.join(folder, "Ph.ini")
    os.utime(store, (1e9, 1e9))
    # A hunger step at the first tick, copied to the pet's copy by the next
    # ticks of state 1; no other step for 15 s.
    proc = d.launch(folder, moments.ONE_STEP_THEN_CALM)
    try:
        pet = run.pet()
        start = d.geometry(pet)
        first = wait_for("the first swim tick", lambda: (g := d.geometry(pet)) != start and g, 30)
        wait_for("a second swim tick", lambda: d.geometry(pet) != first, 30)
        sent = time.monotonic()
        subprocess.run([WINE, "wineboot", "--end-session"], env=d.wine_env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        status = _ended(proc, 15)
        took = time.monotonic() - sent
        check("session end: the program ends, status 0", status == 0, f"status {status} after {took:.1f} s")
        content = open(store, "rb").read()
        written = os.stat(store).st_mtime > 1e9 + 1
        value = content[:-2].decode(errors="replace") if content.endswith(b"\r\n") else None
        check("session end: Ph.ini holds the pet copy of the day's hunger (one step from 50)",
              written and value == "49", f"written {written}, content {content!r}")
    finally:
        d.end(proc)
