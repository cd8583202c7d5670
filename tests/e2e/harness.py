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

# Window messages and commands the tests send, as the shell and the user's clicks would.
WM_COMMAND = 0x0111
WM_TIMER = 0x0113
WM_HSCROLL = 0x0114
SB_ENDSCROLL = 8
WM_SYSCOMMAND = 0x0112
WM_USER = 0x0400
TBM_GETPOS = WM_USER
TBM_SETPOS = WM_USER + 5
SC_MINIMIZE = 0xF020
SC_RESTORE = 0xF120
SC_CLOSE = 0xF060
BM_GETSTATE = 0x00F2
WM_WTSSESSION_CHANGE = 0x02B1
WTS_SESSION_LOCK = 7
WTS_SESSION_UNLOCK = 8
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
        self.tool, self.env = tool, env
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
        """Every icon of the notification area as the screen shows it, left to right, each as S
        rows of S characters, S being the size the tray shows its icons at (16 at 96 DPI): '#'
        black, 'W' white, '.' transparent, '?' any other colour."""
        return [picture.split("/") for picture in self("trayicons").split()]

    def scaling(self):
        """The display scaling as a process started now sees it: {"system": its DPI, "smicon":
        its small-icon size, "shell": the taskbar window or "0x0", "shelldpi": that window's DPI}.
        (This helper's own answers are those of when it started.)"""
        fields = dict(f.split("=", 1) for f in subprocess.run(
            ["wine", self.tool, "dpi"], env=self.env, capture_output=True, text=True, check=True).stdout.split()[1:])
        return {k: fields[k] if k == "shell" else int(fields[k]) for k in ("system", "smicon", "shell", "shelldpi")}

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

        def new_dialog():
            if self.process.poll() is not None:
                raise AssertionError("cyclowis.exe ended with exit code %d before its dialog appeared; a start while "
                                     "a meter runs in the session only shows that one's" % self.process.returncode)
            return [h for h in probe.windows("meters") if h not in before]

        self.hwnd = wait_for("the meter dialog of the new copy", new_dialog, timeout=60)[0]

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

    def hold_timer(self):
        """Starts the meter's sampling period afresh, as a move of its slider does: at the
        slowest delay, no tick of its own comes for five seconds."""
        if not hasattr(self, "slider"):
            self.slider = int(self.control(IDC_DELAY), 16)
        self.probe.send(self.hwnd, WM_HSCROLL, SB_ENDSCROLL, self.slider)

    def tick(self):
        """One sample cycle, handled by the time this returns: the timer's own message."""
        self.probe.send(self.hwnd, WM_TIMER)

    def feed(self, readings):
        """Feeds each reading to exactly one sample cycle, at the slowest delay: the sample holds
        the reading for one cycle of the tests' own, and a mistyped value (no reading, which
        changes no column) at any other time, while the meter's own timer is kept five seconds
        away. Leaves the mistyped value in place."""
        for usage in readings:
            self.hold_timer()
            self.probe("usage", usage)
            self.tick()
            self.probe("usage", usage, "dword")

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
    above a black bar reaching the bottom); None for a column that is no such bar. Each icon is as
    many pixels square as the tray shows."""
    columns = []
    for grid in grids:
        size = len(grid)
        for x in range(size):
            column = "".join(row[x] for row in grid)
            empty = len(column) - len(column.lstrip("."))
            columns.append(empty if column[empty:] == "#" * (size - empty) else None)
    return columns


def icon_size(icons):
    """S when every icon is S rows of S characters, else None."""
    sizes = {len(rows) for rows in icons} | {len(row) for rows in icons for row in rows}
    return sizes.pop() if len(sizes) == 1 else None


# --- the graph as the meter draws it -----------------------------------------------------------------

def headroom(usage, size):
    """Transparent rows above the bar of a reading on icons SIZE pixels high: d = 100 - usage
    modulo 2^32, floor(2 (S - 1) d / 195), at most S - 1 for readings 0..100; S or more is an
    empty column."""
    d = (100 - usage) % 2**32
    h = 2 * (size - 1) * d // 195
    return min(h, size - 1) if usage <= 100 else h


def crossing_readings(size):
    """3 x SIZE readings, one per column of the graph, that cross every headroom 0..S-1 twice, at
    both ends of each headroom's band of readings, and draw empty columns (readings above 100):
    load falling from 100 %, rising again, and a tail of assorted readings ending with a plain one."""
    k = 2 * (size - 1)
    falling = [100 - -(-195 * h // k) for h in range(size)]                 # the least d of each band
    rising = [100 - min((195 * (h + 1) - 1) // k, 100) for h in reversed(range(size))]  # the largest
    readings = falling + [101, 0xFFFFFFFF, 0] + rising
    readings += [(37 * i + 11) % 101 for i in range(3 * size - len(readings))]
    readings[-1] = 37
    return readings


def expected_masks(columns, size, white=False):
    """The three icons of a graph whose columns have these headrooms (oldest first, 3 x S of
    them), as the meter gives them to the shell: per icon an AND mask and an XOR mask, S rows of
    S bits. AND 0 is a bar pixel, black over XOR 0 and white over XOR 1; AND 1 is transparent."""
    icons = []
    for i in range(3):
        part = columns[i * size:(i + 1) * size]
        bar = [[1 if row >= h else 0 for h in part] for row in range(size)]
        icons.append(([[1 - b for b in r] for r in bar], [[b if white else 0 for b in r] for r in bar]))
    return icons


def view(and_rows, xor_rows, docked):
    """How the tray shows an icon, as tray_icons() reads it. Wine's own tray window combines it
    with its white background: white stands for '.' there, and a transparent pixel over XOR 1 is
    the background inverted, black. An X tray panel shows only the pixels of AND 0, on its own
    background; what a transparent pixel over XOR 1 becomes there is some other colour. A bit
    that is None (unknown) gives '*'."""
    def pixel(a, x):
        if a is None or x is None:
            return "*"
        if docked:
            return ("?" if x else ".") if a else ("W" if x else "#")
        return ("#" if x else ".") if a else ("." if x else "#")
    return ["".join(pixel(a, x) for a, x in zip(ar, xr)) for ar, xr in zip(and_rows, xor_rows)]


def wine8_shell_copy(and_rows, xor_rows):
    """The icon as Wine 8's shell receives it. shell32 hands a monochrome icon to the shell as its
    mask bitmap's bits (AND rows, then XOR rows), each row padded to whole 16-bit words as
    GetBitmapBits gives them (the padding bits 0), but counts the bytes as if the rows were not
    padded, and the shell reads them back the same way: where S is no multiple of 16 the shell
    gets fewer bytes than the mask holds and looks for the XOR rows too early. The AND rows arrive
    whole; the XOR rows read the tail of the AND rows, then the real XOR rows, then bytes past the
    end of what was sent (None: unknown)."""
    size = len(and_rows)
    stride = (size + 15) // 16 * 2

    def row_bytes(bits):
        bits = bits + [0] * (stride * 8 - len(bits))
        return [int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8)]

    mask = [b for row in and_rows + xor_rows for b in row_bytes(row)]
    sent = mask[:(2 * size * size + 15) // 16 * 2]

    def rows_at(offset):
        def bit(r, c):
            i = offset + r * stride + c // 8
            return (sent[i] >> (7 - c % 8)) & 1 if i < len(sent) else None
        return [[bit(r, c) for c in range(size)] for r in range(size)]

    return rows_at(0), rows_at((size * size + 15) // 16 * 2)


def side_by_side(*captioned):
    """Pictures side by side under their captions: each a (caption, list of icons) pair."""
    blocks = []
    for caption, icons in captioned:
        rows = [" ".join(r) for r in zip(*icons)] if icons and len({len(i) for i in icons}) == 1 else \
            [" ".join(icon[y] if y < len(icon) else "" for icon in icons)
             for y in range(max((len(i) for i in icons), default=0))]
        width = max([len(caption)] + [len(r) for r in rows])
        blocks.append([caption.ljust(width)] + [r.ljust(width) for r in rows])
    height = max(len(b) for b in blocks)
    return "\n".join("   ".join(b[y] if y < len(b) else " " * len(b[0]) for b in blocks) for y in range(height))


def matches(seen, model):
    """Whether the seen pictures are the model's, '*' in the model matching any pixel."""
    return len(seen) == len(model) and all(
        len(s) == len(m) and all(len(sr) == len(mr) and all(c == "*" or c == d for c, d in zip(mr, sr))
                                 for sr, mr in zip(s, m))
        for s, m in zip(seen, model))


def check_graph(seen, columns, size, white=False, docked=False):
    """None when the seen icons (in the meter's order) show the graph of these column headrooms
    at SIZE, otherwise a message showing what was expected and what was seen. Where S is no
    multiple of 16, Wine 8's shell cannot show the icons exactly (wine8_shell_copy); there the
    pictures must be what that shell makes of the meter's icons, every pixel it does not leave to
    chance, and the difference is printed as such."""
    masks = expected_masks(columns, size, white)
    exact = [view(a, x, docked) for a, x in masks]
    if seen == exact:
        return None
    if size % 16:
        garbled = [view(*wine8_shell_copy(a, x), docked) for a, x in masks]
        if matches(seen, garbled):
            print("\n  known Wine 8 difference: the shell does not show %d-pixel icons exactly; the pictures"
                  " are what it makes of the meter's (* left to chance)\n%s"
                  % (size, side_by_side(("the meter's icons", exact), ("as Wine 8 shows them", garbled),
                                        ("seen", seen))), flush=True)
            return None
        return "the icons do not show the graph at %d pixels\n%s" % (size, side_by_side(
            ("expected", exact), ("as Wine 8 shows them", garbled), ("seen", seen)))
    return "the icons do not show the graph at %d pixels\n%s" % (size, side_by_side(("expected", exact),
                                                                                  ("seen", seen)))


def main(suite_globals, flags=()):
    """Runs a suite's tests: --exe and --tool name cyclowis.exe and traytool.exe, which go into the
    suite's EXE and TOOL; each of FLAGS (such as "--dark") goes into the suite's global of that
    name in capitals (DARK), true when given; the other arguments are unittest's. A run that
    skipped a test, or ran none, fails: it did not test what it is for. (A test that is not meant
    for a configuration is not collected there; see dpi_e2e.py's load_tests.)"""
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True, help="cyclowis.exe")
    parser.add_argument("--tool", required=True, help="traytool.exe")
    for flag in flags:
        parser.add_argument(flag, action="store_true")
    args, rest = parser.parse_known_args()
    suite_globals["EXE"], suite_globals["TOOL"] = args.exe, args.tool
    for flag in flags:
        suite_globals[flag.lstrip("-").replace("-", "_").upper()] = getattr(args, flag.lstrip("-").replace("-", "_"))
    result = unittest.main(argv=[sys.argv[0], "-v", *rest], exit=False).result
    if result.skipped or not result.testsRun:
        print("\nFAILED: %s" % ("; ".join("%s skipped: %s" % (test.id(), reason) for test, reason in result.skipped)
                                if result.skipped else "no test ran"), flush=True)
        sys.exit(1)
    sys.exit(0 if result.wasSuccessful() else 1)
