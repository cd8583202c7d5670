#!/usr/bin/env python3
# What one tick of the meter really costs under Wine, end to end: the processor time (user +
# system, from /proc) of the meter's process, the prefix's wineserver and the shell process
# (explorer.exe) over a fixed number of ticks at the shortest delay, and the meter's peak resident
# memory. cyclowis.exe is set against ref_meter.exe, which does only the least a meter of three
# icons can do per tick, in turns, under two loads: a steady graph (the sample held at one value)
# and a moving graph (sample_feeder rewrites it every 100 ms, so every icon changes every tick).
#   tick_bench.py --build BUILD [--rounds N] [--warmup TICKS] [--ticks TICKS] [--loads steady,moving]
# Needs CYCLOWISP_DESKTOP (a desktop of its own, started by scripts/desktop.sh; see tick-bench.sh).
# A benchmark that reports figures, not a test: nothing here fails on a slow or busy machine.
import argparse
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import IDCANCEL, WM_COMMAND, Probe, desktop_environment, headrooms, wait_for  # noqa: E402

TICK_S = 0.1         # the meter's shortest delay, stored as 1 (tenths of a second)
STEADY_USAGE = 37    # the steady graph's reading: "37 %", headroom 9
OFF_GRAPH_USAGE = 101  # a reading whose column is empty: marks the ticks of the rate check
RATE_CHECK_S = 4.0   # shorter than 48 ticks, so the marked columns never fill the graph
WM_CLOSE = 0x0010
REF_CLASS = "CyclowispTickReference"
REF_GETTICKS = 0x8000 + 1  # WM_APP + 1: the reference answers how many ticks it has run
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
TARGETS = {"steady": 0.3, "moving": 1.05}
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
    """Processes of this prefix whose command name is NAME. Wine names each process after its
    Windows program (comm), 64-bit ones running natively, 32-bit ones inside qemu-i386; other
    desktops' processes of the same name differ in WINEPREFIX."""
    want = ("WINEPREFIX=" + prefix).encode()
    found = []
    for pid in linux_pids():
        if comm(pid) != name[:15]:
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


# --- the programs under Wine ------------------------------------------------------------------------

class Program:
    """One run of cyclowis.exe or ref_meter.exe: its Linux process and its window."""

    def __init__(self, kind, exe, env, probe):
        self.kind, self.probe = kind, probe
        before = set(self.windows())
        self.process = subprocess.Popen(["wine", exe], env=env, stdin=subprocess.DEVNULL,
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
                 lambda: all(probe("icon", self.hwnd, uid) == "1" for uid in range(3)), timeout=60)

    def windows(self):
        return self.probe.windows("meters") if self.kind == "cyclowis" else self.probe("find", REF_CLASS).split()

    def ticks(self):
        """Ticks run so far: only the reference counts them."""
        return self.probe.send(self.hwnd, REF_GETTICKS) if self.kind == "reference" else None

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


def marked_rate(feeder, probe):
    """The meter's real tick rate: hold a reading whose column is empty, wait, and count the empty
    columns at the newest end of the graph; each is one tick since the reading changed."""
    t0 = time.monotonic()
    feeder("hold", OFF_GRAPH_USAGE)
    t_set = (t0 + time.monotonic()) / 2
    time.sleep(RATE_CHECK_S)
    t0 = time.monotonic()
    columns = headrooms(probe.tray_icons()[:3])
    t_seen = (t0 + time.monotonic()) / 2
    n = 0
    for h in reversed(columns):
        if h != 16:
            break
        n += 1
    return n / (t_seen - t_set) if 0 < n < len(columns) else None


def run_once(kind, exe, load, args, env, probe, feeder, server, prefix):
    if load == "steady":
        feeder("hold", STEADY_USAGE)
    else:
        feeder("cycle")
    program = Program(kind, exe, env, probe)
    try:
        explorers = prefix_processes("explorer.exe", prefix)
        if not explorers:
            raise RuntimeError("no explorer.exe in the prefix")
        time.sleep(args.warmup * TICK_S)

        pids = {"meter": [program.pid], "wineserver": [server], "explorer": explorers}
        ticks0 = program.ticks()
        t0 = time.monotonic()
        cpu0 = {p: sum(cpu_seconds(pid) for pid in pids[p]) for p in PROCESSES}
        time.sleep(args.ticks * TICK_S)
        cpu1 = {p: sum(cpu_seconds(pid) for pid in pids[p]) for p in PROCESSES}
        t1 = time.monotonic()
        ticks1 = program.ticks()
        peak = peak_rss_kib(program.pid)

        wall = t1 - t0
        if kind == "reference":
            rate = (ticks1 - ticks0) / wall
        else:
            rate = marked_rate(feeder, probe)
        # Normalised by the ticks the window should hold; the rate seen is reported beside it.
        ticks = wall / TICK_S
        result = {p: (cpu1[p] - cpu0[p]) * 1000 / ticks for p in PROCESSES}
        result["total"] = sum(result[p] for p in PROCESSES)
        result["rss"] = peak
        result["rate"] = rate
        return result
    finally:
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


def report(results, args):
    lines = ["Per tick at Delay 0.1 s, %d ticks after %d of warm-up, mean ±sd of %d rounds; "
             "processor time in ms (user + system)." % (args.ticks, args.warmup, args.rounds), "",
             "| load | program | meter process | wineserver | explorer.exe | total | peak RSS | ticks/s |",
             "|---|---|---|---|---|---|---|---|"]
    names = {"cyclowis": "`cyclowis.exe`", "reference": "`ref_meter.exe`"}
    for load in args.loads:
        for kind in PROGRAMS:
            runs = results[load][kind]
            rss = summary([r["rss"] for r in runs])[0]
            lines.append("| %s | %s | %s | %s | %s | %s | %s | %s |" % (
                load, names[kind], *(cell([r[p] for r in runs]) for p in PROCESSES + ("total",)),
                "%.0f MiB" % (rss / 1024) if rss else "n/a", cell([r["rate"] for r in runs], 1)))
    lines += ["", "| load | total, cyclowis / reference | target | met |", "|---|---|---|---|"]
    for load in args.loads:
        ours = summary([r["total"] for r in results[load]["cyclowis"]])[0]
        ref = summary([r["total"] for r in results[load]["reference"]])[0]
        ratio = ours / ref
        target = TARGETS[load]
        lines.append("| %s | %.2f | ≤ %.2f | %s |" % (load, ratio, target, "yes" if ratio <= target else "no"))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, help="the windows preset's build folder")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--warmup", type=int, default=60, help="ticks before measuring (more than 48)")
    parser.add_argument("--ticks", type=int, default=300, help="ticks measured per run")
    parser.add_argument("--loads", default="steady,moving")
    parser.add_argument("--out", help="also write the table here")
    args = parser.parse_args()
    args.loads = args.loads.split(",")
    exes = {"cyclowis": os.path.join(args.build, "cyclowis.exe"),
            "reference": os.path.join(args.build, "bench", "ref_meter.exe")}

    env = desktop_environment()
    prefix = env["WINEPREFIX"]
    probe = Probe(os.path.join(args.build, "tests", "tools", "traytool.exe"), env)
    feeder = None
    try:
        probe("setdelay", 1)
        if probe("delay") != "4 1 4":  # REG_DWORD 1, four bytes
            raise RuntimeError("the stored Delay did not read back as 1: %s" % probe("delay"))
        feeder = Probe(os.path.join(args.build, "bench", "sample_feeder.exe"), env)
        server = wineserver_pid(prefix)
        log("wineserver pid %d" % server)
        results = {load: {kind: [] for kind in PROGRAMS} for load in args.loads}
        for load in args.loads:
            for n in range(args.rounds):
                for kind in PROGRAMS:
                    r = run_once(kind, exes[kind], load, args, env, probe, feeder, server, prefix)
                    results[load][kind].append(r)
                    log("%s round %d %-9s meter %.2f server %.2f explorer %.2f total %.2f ms/tick, "
                        "peak %d KiB, %s ticks/s" % (load, n + 1, kind, r["meter"], r["wineserver"],
                                                    r["explorer"], r["total"], r["rss"] or 0,
                                                    "%.2f" % r["rate"] if r["rate"] else "n/a"))
        table = report(results, args)
        print(table)
        if args.out:
            with open(args.out, "w") as f:
                f.write(table + "\n")
    finally:
        if feeder:
            feeder.close()
        probe.close()


if __name__ == "__main__":
    main()
