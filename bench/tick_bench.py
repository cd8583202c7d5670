#!/usr/bin/env python3
# What one tick of the meter really costs under Wine, end to end: the processor time (user +
# system, from /proc) of the meter's process, the prefix's wineserver and the shell process
# (explorer.exe) over a fixed number of ticks at the shortest delay, and the meter's peak resident
# memory. cyclowis.exe is set against ref_meter.exe, which does only the least a meter of three
# icons can do per tick, in turns, under four loads: a steady graph (the sample held at one value),
# a moving graph (sample_feeder rewrites it every 100 ms, so every icon changes every tick), the
# steady graph after a switch of the bars' colour, and the moving graph while the session is
# locked. The last two are set against the reference's steady and moving graphs, which nothing
# of the kind changes.
# Both run at each display scaling asked for: 96 DPI (16-pixel icons) and 144 DPI (24-pixel
# icons). Wine reads the DPI (LogPixels) once per process, so for each one the prefix's server is
# restarted, and with it the shell; the prefix's own value is put back at the end.
#   tick_bench.py --build BUILD [--dpi 96,144] [--rounds N] [--warmup TICKS] [--ticks TICKS]
#                 [--loads steady,moving,switched,locked]
# Needs CYCLOWISP_DESKTOP (a desktop of its own, started by scripts/desktop.sh; see tick-bench.sh).
# A benchmark that reports figures, not a test: nothing here fails on a slow or busy machine.
import argparse
import os
import signal
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import (IDCANCEL, WM_COMMAND, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, WTS_SESSION_UNLOCK,  # noqa: E402
                     Probe, desktop_environment, headroom, wait_for)

TICK_S = 0.1         # the meter's shortest delay, stored as 1 (tenths of a second)
STEADY_USAGE = 37    # the steady graph's reading: "37 %", headroom 9 at 16 pixels, 14 at 24
OFF_GRAPH_USAGE = 101  # a reading whose column is empty: marks the ticks of the rate check
RATE_CHECK_S = 4.0   # shorter than 3 x 16 ticks, so the marked columns never fill the graph
ICONS = 3
WM_NULL = 0x0000
WM_CLOSE = 0x0010
REF_CLASS = "CyclowispTickReference"
REF_GETTICKS = 0x8000 + 1  # WM_APP + 1: the reference answers how many ticks it has run
REF_GETSIZE = 0x8000 + 2   # WM_APP + 2: and the size of its icons, the shell's small-icon size
DESKTOP_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts", "desktop.sh")
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
TARGETS = {"steady": 0.3, "moving": 1.05, "switched": 0.3, "locked": 0.3}
# The reference's load that each load is set against.
REFERENCE_LOAD = {"steady": "steady", "moving": "moving", "switched": "steady", "locked": "moving"}
SWITCH_TICKS = 10    # after a switch of colour: its one round, then the graph is still again
PROGRAMS = ("cyclowis", "reference")
PROCESSES = ("meter", "wineserver", "explorer")


def log(*args):
    print(*args, file=sys.stderr, flush=True)


# --- processes on the Linux side -----------------------------------------------------------------

def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def run(args, env, check=True, capture=True):
    """Runs a command to its end. A command that leaves a daemon behind (wineserver -p, wineboot)
    must not capture: the daemon keeps the pipe open, and reading it would never end."""
    out = subprocess.PIPE if capture else subprocess.DEVNULL
    return subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=out, text=True,
                          check=check)


def comm(pid):
    data = read("/proc/%d/comm" % pid)
    return data.decode(errors="replace").strip() if data else None


def linux_pids():
    return [int(name) for name in os.listdir("/proc") if name.isdigit()]


def wineserver_pid(prefix):
    """The prefix's wineserver: it runs natively and works in the folder /tmp/.../server-DEV-INODE
    named after the prefix folder's device and inode, which is how Wine's own clients find it."""
    st = os.stat(prefix)
    folder = "server-%x-%x" % (st.st_dev, st.st_ino)
    for pid in linux_pids():
        name = comm(pid)
        if name and name.startswith("wineserver"):
            try:
                if os.path.basename(os.readlink("/proc/%d/cwd" % pid)) == folder:
                    return pid
            except OSError:
                pass
    raise RuntimeError("no wineserver for %s" % prefix)


def prefix_processes(name, prefix):
    """Processes of this prefix whose command name is NAME (any name when None). Wine names each
    process after its Windows program (comm), 64-bit ones running natively, 32-bit ones inside
    qemu-i386; other desktops' processes of the same name differ in WINEPREFIX."""
    want = ("WINEPREFIX=" + prefix).encode()
    found = []
    for pid in linux_pids():
        if name is not None and comm(pid) != name[:15]:
            continue
        environ = read("/proc/%d/environ" % pid)
        if environ and want in environ.split(b"\0"):
            found.append(pid)
    return found


def cpu_seconds(pid):
    """User + system time of the whole process (all its threads) so far, in seconds."""
    data = read("/proc/%d/stat" % pid)
    if data is None:
        raise RuntimeError("process %d is gone" % pid)
    # The command name in parentheses may hold spaces; the fields after it are fixed.
    fields = data[data.rindex(b")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS  # utime, stime: fields 14 and 15


def peak_rss_kib(pid):
    for line in (read("/proc/%d/status" % pid) or b"").decode().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    return None


# --- display scaling ------------------------------------------------------------------------------

def desktop_dpi(env, dpi=None, boot=True):
    """The desktop's DPI through scripts/desktop.sh dpi: without DPI, the prefix's (96 when it has
    none); with it, LogPixels set and every process of the prefix ended with its server, so that
    each one started from now on (the shell included) reads it afresh. Booted then as a desktop's
    start does, unless BOOT is false."""
    command = [DESKTOP_SCRIPT, "dpi", os.environ["CYCLOWISP_DESKTOP"]]
    if dpi is None:
        return int(run(command, env).stdout.strip())
    # It leaves a server running: nothing may wait for its output to close.
    run(command + [str(dpi)], env, capture=False)
    if boot:
        run(["wineboot", "-i"], env, capture=False)
    return dpi


# --- the graph on the screen -------------------------------------------------------------------------

def screen_rgb(env, left, top, width, height):
    """The screen's pixels in a rectangle, 3 bytes (R, G, B) each, top row first."""
    data = subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (width, height, left, top),
                           "-depth", "8", "rgb:-"], env=env, capture_output=True, check=True).stdout
    if len(data) != width * height * 3:
        raise RuntimeError("the screen capture gave %d bytes for %dx%d pixels" % (len(data), width, height))
    return data


def tray_icons(probe, env, size):
    """The last three icons of Wine's tray window as the screen shows them, each SIZE rows of
    '#' (black), '.' (the tray's background, as the slot's corner shows it) and '?' (other).
    The tray draws a changed icon over the old one without erasing, so it is repainted first; the
    shell hands its pixels to the X server once it next waits for messages, which a sent message
    makes sure of."""
    probe("repaint")
    for tray in probe("find", "Shell_TrayWnd").split():
        probe.send(tray, WM_NULL)
    # The newest three: Wine's tray puts each new icon right of the earlier ones.
    rects = [tuple(int(v) for v in r.split(",")) for r in probe("iconrects").split()][-ICONS:]
    if len(rects) < ICONS:
        raise RuntimeError("the tray holds %d icons" % len(rects))
    left, top = min(r[0] for r in rects), min(r[1] for r in rects)
    width, height = max(r[2] for r in rects) - left, max(r[3] for r in rects) - top
    pixels = screen_rgb(env, left, top, width, height)
    at = lambda x, y: pixels[(y * width + x) * 3:(y * width + x) * 3 + 3]
    grids = []
    for r in rects:
        # The icon sits in the middle of its slot (2 pixels in, the slot being 4 pixels larger).
        x0, y0 = r[0] - left + (r[2] - r[0] - size) // 2, r[1] - top + (r[3] - r[1] - size) // 2
        background = at(r[0] - left, r[1] - top)
        grids.append(["".join("." if at(x, y) == background else "#" if at(x, y) == b"\0\0\0" else "?"
                              for x in range(x0, x0 + size)) for y in range(y0, y0 + size)])
    return grids


def headrooms(grids):
    """The graph's columns, icon after icon, left to right, as headroom values: the bar (rows from
    the headroom down black, the rest background; S for an empty column) that the column matches
    best. Wine 8's shell does not show a 24-pixel monochrome icon exactly (any program's, the
    reference's too): it reads the XOR rows from the wrong place, so the top six rows invert the
    background where the icon's bottom six rows are transparent, and the bottom six rows hold a
    few stray pixels. So a column is read as the nearest bar, which those pixels do not change,
    and is None only when it differs from every bar in half its pixels or more."""
    columns = []
    for grid in grids:
        size = len(grid)
        for x in range(size):
            column = "".join(row[x] for row in grid)
            misses, h = min((sum(c != ("#" if y >= h else ".") for y, c in enumerate(column)), h)
                            for h in range(size + 1))
            columns.append(h if misses < size // 2 else None)
    return columns


# --- the programs under Wine ------------------------------------------------------------------------

def wait_until_quiet(server, window=2.0, limit=60.0):
    """Waits until the freshly booted prefix's server has settled (the services that wineboot
    starts keep it busy for a while), so that the first run measures what the later ones do:
    at most 1 % of a processor over WINDOW seconds, or LIMIT seconds in all. Returns the wait."""
    started = time.monotonic()
    while time.monotonic() - started < limit:
        before = cpu_seconds(server)
        time.sleep(window)
        if cpu_seconds(server) - before <= 0.01 * window:
            break
    return time.monotonic() - started


class Session:
    """The prefix restarted at one DPI, and what talks to it: traytool, the sample feeder, the
    server's pid and the size of the shell's icons, which the reference reports."""

    def __init__(self, dpi, args, exes, env):
        self.dpi, self.env, self.prefix = dpi, env, env["WINEPREFIX"]
        desktop_dpi(env, dpi)
        self.probe = Probe(os.path.join(args.build, "tests", "tools", "traytool.exe"), env)
        self.feeder = None
        try:
            self.probe("setdelay", 1)
            if self.probe("delay") != "4 1 4":  # REG_DWORD 1, four bytes
                raise RuntimeError("the stored Delay did not read back as 1: %s" % self.probe("delay"))
            self.feeder = Probe(os.path.join(args.build, "bench", "sample_feeder.exe"), env)
            self.server = wineserver_pid(self.prefix)
            # A first reference also starts the shell, before anything is measured.
            reference = Program("reference", exes["reference"], self)
            try:
                self.size = reference.size()
            finally:
                reference.stop()
            waited = wait_until_quiet(self.server)
            # The steady graph stops changing once its newest reading has reached every column.
            self.warmup = args.warmup if args.warmup is not None else ICONS * self.size + 12
            log("%d DPI: wineserver pid %d, quiet after %.0f s, icons of %d pixels, %d ticks of warm-up"
                % (dpi, self.server, waited, self.size, self.warmup))
            if self.warmup <= ICONS * self.size:
                log("  the steady graph still moves after %d ticks: it is %d columns wide"
                    % (self.warmup, ICONS * self.size))
        except BaseException:
            self.close()
            raise

    def close(self):
        if self.feeder:
            self.feeder.close()
        self.probe.close()


class Program:
    """One run of cyclowis.exe or ref_meter.exe: its Linux process and its window."""

    def __init__(self, kind, exe, session):
        self.kind, self.probe = kind, session.probe
        probe = self.probe
        before = set(self.windows())
        self.process = subprocess.Popen(["wine", exe], env=session.env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.hwnd = wait_for("the window of %s" % exe,
                             lambda: [h for h in self.windows() if h not in before], timeout=90)[0]
        # /usr/bin/wine ends in an exec of the loader, and Wine names the process after its
        # program, so the started pid is the program's, inside qemu-i386 for a 32-bit program.
        self.pid = self.process.pid
        want = os.path.basename(exe)[:15]
        if comm(self.pid) != want:
            raise RuntimeError("process %d is %r, not %s" % (self.pid, comm(self.pid), want))
        wait_for("the three icons of %s" % exe,
                 lambda: all(probe("icon", self.hwnd, uid) == "1" for uid in range(ICONS)), timeout=60)

    def windows(self):
        return self.probe.windows("meters") if self.kind == "cyclowis" else self.probe("find", REF_CLASS).split()

    def ticks(self):
        """Ticks run so far: only the reference counts them."""
        return self.probe.send(self.hwnd, REF_GETTICKS) if self.kind == "reference" else None

    def size(self):
        """The reference's icon size in pixels."""
        return self.probe.send(self.hwnd, REF_GETSIZE)

    def stop(self):
        if self.process.poll() is None:
            try:
                if self.kind == "cyclowis":
                    self.probe.post(self.hwnd, WM_COMMAND, IDCANCEL)  # the dialog's Exit
                else:
                    self.probe.post(self.hwnd, WM_CLOSE)
                self.process.wait(timeout=30)
            except Exception:  # a benchmark run must leave nothing behind, whatever went wrong
                self.process.kill()
                self.process.wait()
        return self.process.returncode


def check_steady_graph(session):
    """Whether the meter's graph shows the steady reading in every one of its 3 x S columns, which
    it does only when it draws its icons at the shell's size; what it shows otherwise is logged."""
    columns = headrooms(tray_icons(session.probe, session.env, session.size))
    want = headroom(STEADY_USAGE, session.size)
    if columns == [want] * (ICONS * session.size):
        return True
    log("  the steady graph at %d pixels should be %d columns at headroom %d; seen: %s"
        % (session.size, ICONS * session.size, want, columns))
    return False


def marked_rate(session):
    """The meter's real tick rate: hold a reading whose column is empty, wait, and count the empty
    columns at the newest end of the graph; each is one tick since the reading changed."""
    t0 = time.monotonic()
    session.feeder("hold", OFF_GRAPH_USAGE)
    t_set = (t0 + time.monotonic()) / 2
    time.sleep(RATE_CHECK_S)
    t0 = time.monotonic()
    columns = headrooms(tray_icons(session.probe, session.env, session.size))
    t_seen = (t0 + time.monotonic()) / 2
    n = 0
    for h in reversed(columns):
        if h != session.size:
            break
        n += 1
    if not 0 < n < len(columns):
        log("  the rate check saw %d empty columns: %s" % (n, columns))
        return None
    return n / (t_seen - t_set)


def run_once(kind, exe, load, args, session):
    if REFERENCE_LOAD[load] == "steady":
        session.feeder("hold", STEADY_USAGE)
    else:
        session.feeder("cycle", session.size)
    program = Program(kind, exe, session)
    switched = False
    try:
        explorers = prefix_processes("explorer.exe", session.prefix)
        if not explorers:
            raise RuntimeError("no explorer.exe in the prefix")
        time.sleep(session.warmup * TICK_S)
        if load == "switched":
            # Automatic black bars to the user's white ones, as a light-dark switch would: the
            # meter redraws its three icons once, and then the graph stands still again.
            session.probe("bars", 2)
            session.probe("settingchange")
            switched = True
            time.sleep(SWITCH_TICKS * TICK_S)
        if load == "locked" and kind == "cyclowis":
            session.probe.send(program.hwnd, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK)

        pids = {"meter": [program.pid], "wineserver": [session.server], "explorer": explorers}
        ticks0 = program.ticks()
        t0 = time.monotonic()
        cpu0 = {p: sum(cpu_seconds(pid) for pid in pids[p]) for p in PROCESSES}
        time.sleep(args.ticks * TICK_S)
        cpu1 = {p: sum(cpu_seconds(pid) for pid in pids[p]) for p in PROCESSES}
        t1 = time.monotonic()
        ticks1 = program.ticks()
        peak = peak_rss_kib(program.pid)

        wall = t1 - t0
        # The graph is read from the screen below: black bars on the light tray, drawn again.
        if load == "locked" and kind == "cyclowis":
            session.probe.send(program.hwnd, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK)
        if switched:
            switched = False
            session.probe("bars", "none")
            session.probe("settingchange")
            time.sleep(SWITCH_TICKS * TICK_S)
        if kind == "reference":
            rate = (ticks1 - ticks0) / wall
        else:
            if load in ("steady", "switched"):
                check_steady_graph(session)
            rate = marked_rate(session)
        # Normalised by the ticks the window should hold; the rate seen is reported beside it.
        ticks = wall / TICK_S
        result = {p: (cpu1[p] - cpu0[p]) * 1000 / ticks for p in PROCESSES}
        result["total"] = sum(result[p] for p in PROCESSES)
        result["rss"] = peak
        result["rate"] = rate
        return result
    finally:
        if switched:
            session.probe("bars", "none")
            session.probe("settingchange")
        code = program.stop()
        if code not in (0, None):
            log("  %s ended with exit code %s" % (exe, code))


# --- figures -----------------------------------------------------------------------------------------

def summary(values):
    values = [v for v in values if v is not None]
    if not values:
        return None, None
    return statistics.mean(values), (statistics.stdev(values) if len(values) > 1 else 0.0)


def cell(values, digits=2):
    mean, sd = summary(values)
    if mean is None:
        return "n/a"
    return "%.*f ±%.*f" % (digits, mean, digits, sd)


def report(results, sessions, args):
    scales = "; ".join("at %d DPI icons of %d pixels, %d ticks of warm-up" % (dpi, size, warmup)
                       for dpi, (size, warmup) in sessions.items())
    lines = ["Per tick at Delay 0.1 s (%s), %d ticks measured, mean ±sd of %d rounds; "
             "processor time in ms (user + system)." % (scales, args.ticks, args.rounds), "",
             "| DPI | load | program | meter process | wineserver | explorer.exe | total | peak RSS | ticks/s |",
             "|---|---|---|---|---|---|---|---|---|"]
    names = {"cyclowis": "`cyclowis.exe`", "reference": "`ref_meter.exe`"}
    for dpi in results:
        for load in args.loads + [l for l in ("steady", "moving") if l not in args.loads]:
            for kind in PROGRAMS:
                runs = results[dpi][load][kind]
                if not runs:
                    continue
                rss = summary([r["rss"] for r in runs])[0]
                lines.append("| %d | %s | %s | %s | %s | %s | %s | %s | %s |" % (
                    dpi, load, names[kind], *(cell([r[p] for r in runs]) for p in PROCESSES + ("total",)),
                    "%.0f MiB" % (rss / 1024) if rss else "n/a", cell([r["rate"] for r in runs], 1)))
    lines += ["", "| DPI | load | total, cyclowis / reference (its load) | target | met |", "|---|---|---|---|---|"]
    for dpi in results:
        for load in args.loads:
            ours = summary([r["total"] for r in results[dpi][load]["cyclowis"]])[0]
            ref = summary([r["total"] for r in results[dpi][REFERENCE_LOAD[load]]["reference"]])[0]
            ratio = ours / ref
            target = TARGETS[load]
            lines.append("| %d | %s | %.2f (%s) | ≤ %.2f | %s |"
                         % (dpi, load, ratio, REFERENCE_LOAD[load], target, "yes" if ratio <= target else "no"))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, help="the windows preset's build folder")
    parser.add_argument("--dpi", default="96,144",
                        help="display scalings to run, as LogPixels: 96 (16-pixel icons), 144 (24-pixel icons)")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--warmup", type=int,
                        help="ticks before measuring (more than 3 x the icon size; default 3 x size + 12)")
    parser.add_argument("--ticks", type=int, default=300, help="ticks measured per run")
    parser.add_argument("--loads", default="steady,moving,switched,locked",
                        help="steady, moving, switched (steady after a colour switch), locked (moving, session locked)")
    parser.add_argument("--out", help="also write the table here")
    args = parser.parse_args()
    args.loads = args.loads.split(",")
    args.dpi = [int(d) for d in args.dpi.split(",")]
    if any(d < 96 or d > 480 for d in args.dpi) or any(load not in TARGETS for load in args.loads):
        parser.error("DPIs from 96 to 480, loads of " + ", ".join(TARGETS))
    exes = {"cyclowis": os.path.join(args.build, "cyclowis.exe"),
            "reference": os.path.join(args.build, "bench", "ref_meter.exe")}

    # Ended from outside (scripts/tick-bench.sh's trap, a killed job), still put the DPI back.
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit("ended by signal %d" % signum))
    env = desktop_environment()
    saved = desktop_dpi(env)
    log("the prefix's DPI: %d" % saved)
    started = time.monotonic()
    results, sessions = {}, {}
    try:
        for dpi in args.dpi:
            session = Session(dpi, args, exes, env)
            try:
                sessions[dpi] = (session.size, session.warmup)
                results[dpi] = {load: {kind: [] for kind in PROGRAMS} for load in TARGETS}
                # The reference runs each load it is set against once, whichever loads need it.
                references = {REFERENCE_LOAD[load] for load in args.loads}
                for load in args.loads + sorted(references - set(args.loads)):
                    kinds = [k for k in PROGRAMS if k == "cyclowis" and load in args.loads
                             or k == "reference" and load in references]
                    for n in range(args.rounds):
                        for kind in kinds:
                            r = run_once(kind, exes[kind], load, args, session)
                            results[dpi][load][kind].append(r)
                            log("%d DPI %s round %d %-9s meter %.2f server %.2f explorer %.2f total %.2f ms/tick, "
                                "peak %d KiB, %s ticks/s" % (dpi, load, n + 1, kind, r["meter"], r["wineserver"],
                                                            r["explorer"], r["total"], r["rss"] or 0,
                                                            "%.2f" % r["rate"] if r["rate"] else "n/a"))
            finally:
                session.close()
    finally:
        # The prefix's own DPI again, for every process that starts from now on.
        desktop_dpi(env, saved, boot=False)
    log("%.0f s in all" % (time.monotonic() - started))
    table = report(results, sessions, args)
    print(table)
    if args.out:
        with open(args.out, "w") as f:
            f.write(table + "\n")


if __name__ == "__main__":
    main()
