# Drives cyclowis.exe on the private Wine desktop from Linux: the desktop's environment, the
# long-lived traytool helper (windows, icons, registry, pixels), the meter's process and X input.
import argparse
import os
import queue
import re
import subprocess
import sys
import threading
import time
import unittest

ICON = 16  # pixels square

# Window messages and commands the tests send, as the shell and the user's clicks would.
WM_COMMAND = 0x0111
WM_SYSCOMMAND = 0x0112
WM_USER = 0x0400
TBM_GETPOS = WM_USER
SC_MINIMIZE = 0xF020
SC_RESTORE = 0xF120
SC_CLOSE = 0xF060
BM_GETSTATE = 0x00F2
BST_PUSHED = 0x0004

# Identifiers of the program's resources.
IDOK = 1
IDCANCEL = 2
IDC_HIDE = 3
IDM_ABOUT = 106
IDC_DELAYTEXT = 1017
IDC_DELAY = 1023
IDC_SETDEFAULT = 1026
REG_DWORD = 4


def desktop_environment():
    """The environment of the desktop named by CYCLOWISP_DESKTOP (DISPLAY, WINEPREFIX, ...)."""
    folder = os.environ.get("CYCLOWISP_DESKTOP")
    if not folder or not os.path.isfile(os.path.join(folder, "desktop.env")):
        raise RuntimeError("CYCLOWISP_DESKTOP does not name a running desktop (scripts/desktop.sh start DIR)")
    out = subprocess.run(["bash", "-c", '. "$1/desktop.env" && env -0', "bash", folder],
                         check=True, capture_output=True).stdout
    return dict(item.split("=", 1) for item in out.decode().split("\0") if "=" in item)


def wait_for(what, probe, timeout=20.0, interval=0.2):
    """Polls probe() until it returns something true and returns that; fails after timeout seconds
    with the last value seen. Generous deadlines: Windows code runs emulated here."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.0f s waiting for %s; last seen: %r" % (timeout, what, value))
        time.sleep(interval)


class Probe:
    """One traytool.exe under Wine that answers one command per line; a Wine start costs seconds,
    so the whole suite talks to a single one."""

    def __init__(self, tool, env):
        self.process = subprocess.Popen(["wine", tool], env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.answers = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.answers.put(line.rstrip("\r\n"))
        self.answers.put(None)

    def __call__(self, *words):
        """Runs one command; returns the answer's words after "ok", raises on "err"."""
        command = " ".join(str(w) for w in words)
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        try:
            answer = self.answers.get(timeout=60)
        except queue.Empty:
            raise AssertionError("traytool did not answer %r" % command)
        if answer is None:
            raise AssertionError("traytool ended while running %r" % command)
        if not answer.startswith("ok"):
            raise AssertionError("traytool %r: %s" % (command, answer))
        return answer[3:]

    def windows(self, kind):
        """Handles of the meter dialogs ("meters", hidden ones too), About boxes or visible menus."""
        return self(kind).split()

    def state(self, hwnd):
        fields = dict(f.split("=", 1) for f in self("state", hwnd).split())
        state = {k: int(v) for k, v in fields.items() if k in ("exists", "visible", "iconic", "enabled", "foreground")}
        if "rect" in fields:
            state["rect"] = tuple(int(v) for v in fields["rect"].split(","))
            state["owner"] = fields["owner"]
        return state

    def item(self, dialog, control):
        return self("item", dialog, control)

    def rect(self, hwnd):
        return self.state(hwnd)["rect"]

    def text(self, hwnd):
        return self("text", hwnd)

    def send(self, hwnd, message, wparam=0, lparam=0):
        return int(self("send", hwnd, hex(message), hex(wparam), hex(lparam)))

    def post(self, hwnd, message, wparam=0, lparam=0):
        self("post", hwnd, hex(message), hex(wparam), hex(lparam))

    def tray_icons(self):
        """Every icon of the notification area as the screen shows it, left to right, each as 16
        rows of '#' (black), '.' (transparent) and '?' (any other colour)."""
        return [picture.split("/") for picture in self("trayicons").split()]

    def icon_centre(self, slot):
        """Screen point in the middle of the tray's icon SLOT (0 is the leftmost)."""
        rects = wait_for("icon %d in the tray" % slot, lambda: (lambda r: r if len(r) > slot else None)(
            self("iconrects").split()))
        left, top, right, bottom = (int(v) for v in rects[slot].split(","))
        return (left + right) // 2, (top + bottom) // 2

    def menu_item(self, n):
        """Screen point of text item N (separators not counted) of the open popup menu."""
        x, y = self("menuitem", n).split()
        return int(x), int(y)

    def icons(self, hwnd):
        """Which of the window's icons 0, 1, 2 the notification area holds."""
        return [self("icon", hwnd, uid) == "1" for uid in range(3)]

    def stored_delay(self):
        """(type, value) of the stored "Delay", or None."""
        words = self("delay").split()
        return None if words == ["none"] else (int(words[0]), int(words[1]))

    def close(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.write("quit\n")
                self.process.stdin.flush()
                self.process.wait(timeout=20)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()


class Meter:
    """One running cyclowis.exe and its dialog's handle."""

    def __init__(self, exe, env, probe, args=()):
        self.probe = probe
        before = set(probe.windows("meters"))
        self.process = subprocess.Popen(["wine", exe, *args], env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        found = wait_for("the meter dialog of the new copy",
                         lambda: [h for h in probe.windows("meters") if h not in before], timeout=60)
        self.hwnd = found[0]

    def state(self):
        return self.probe.state(self.hwnd)

    def icons(self):
        return self.probe.icons(self.hwnd)

    def control(self, control):
        return self.probe.item(self.hwnd, control)

    def delay_label(self):
        return self.probe.text(self.control(IDC_DELAYTEXT))

    def slider_position(self):
        return self.probe.send(self.control(IDC_DELAY), TBM_GETPOS)

    def wait_exit(self, timeout=30):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("cyclowis.exe still runs %d s after it was told to exit" % timeout)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class Screen:
    """The X side of the desktop: real mouse and keyboard input, and what is mapped."""

    def __init__(self, env):
        self.env = env

    def run(self, *args):
        return subprocess.run(args, env=self.env, check=True, capture_output=True, text=True).stdout

    def xdotool(self, *args):
        self.run("xdotool", *[str(a) for a in args])

    def click(self, x, y, button=1):
        self.xdotool("mousemove", x, y, "click", button)

    def double_click(self, x, y):
        self.xdotool("mousemove", x, y, "click", "--repeat", 2, "--delay", 100, 1)

    def key(self, name):
        self.xdotool("key", name)

    def shown_x_windows(self, title):
        """X windows with this exact title that are mapped and viewable."""
        result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title)],
                                env=self.env, capture_output=True, text=True)
        return result.stdout.split()


def headrooms(grids):
    """The graph's columns, icon after icon, left to right, as headroom values (transparent rows
    above a black bar reaching the bottom); None for a column that is no such bar."""
    columns = []
    for grid in grids:
        for x in range(ICON):
            column = "".join(row[x] for row in grid)
            empty = len(column) - len(column.lstrip("."))
            columns.append(empty if column[empty:] == "#" * (ICON - empty) else None)
    return columns


def main(suite_globals):
    """Runs a suite's tests: --exe and --tool name cyclowis.exe and traytool.exe, which go into the
    suite's EXE and TOOL; the other arguments are unittest's."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True, help="cyclowis.exe")
    parser.add_argument("--tool", required=True, help="traytool.exe")
    args, rest = parser.parse_known_args()
    suite_globals["EXE"], suite_globals["TOOL"] = args.exe, args.tool
    unittest.main(argv=[sys.argv[0], "-v", *rest])
