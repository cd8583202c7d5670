#!/usr/bin/env python3
# The user's choice of figure, "Measure", end to end: cyclowis.exe with a stand-in pdh.dll
# (tests/tools/pdh_standin.cpp) in the Wine prefix's system directory, whose "% Processor
# Utility" the test sets through the registry, beside the time-based reading, which the test
# feeds through the Windows 9x statistic as the other suites do.
#   measure_e2e.py --exe cyclowis.exe --tool traytool.exe --standin pdh_standin.dll [unittest arguments]
# Needs CYCLOWISP_DESKTOP. Wine's own pdh.dll lacks the counter, so only the meter's process is
# told to load the native one (WINEDLLOVERRIDES pdh=n); the suite fails, never skips, when it
# cannot put the stand-in in place.
import argparse
import os
import shutil
import sys
import time

import harness
import meter_e2e
from harness import Meter, headroom, wait_for

EXE = TOOL = STANDIN = None

COUNTER = r"\Processor Information(_Total)\% Processor Utility"
TIME_BASED = 37      # the time-based reading, fed through the statistic
FIGURE = 8049        # the counter's value in hundredths: 80.49 %, shown as 80 %
SIZE = 16            # the icon size of the desktop, at 96 DPI
SAVED = ".cyclowisp-saved"  # the prefix's own pdh.dll while the stand-in takes its place


def column(usage):
    return headroom(usage, SIZE)


class MeasureChoice(meter_e2e.Desktop):
    """One meter serves the checks of a running program, in name order; the first tick and the
    planted DLL each need a copy of their own."""

    @classmethod
    def setUpClass(cls):
        meter_e2e.EXE, meter_e2e.TOOL = EXE, TOOL
        super().setUpClass()
        prefix = cls.env["WINEPREFIX"]
        # The system directory of 32-bit programs: syswow64 in a 64-bit prefix.
        windows = os.path.join(prefix, "drive_c", "windows")
        folder = next((os.path.join(windows, d) for d in ("syswow64", "system32")
                       if os.path.isdir(os.path.join(windows, d))), None)
        if folder is None:
            raise AssertionError("no system directory in the prefix %s: the stand-in pdh.dll has nowhere to go" % prefix)
        cls.placed = os.path.join(folder, "pdh.dll")
        if os.path.exists(cls.placed) and not os.path.exists(cls.placed + SAVED):
            os.replace(cls.placed, cls.placed + SAVED)
        shutil.copyfile(STANDIN, cls.placed)
        cls.meter_env = dict(cls.env)
        cls.meter_env["WINEDLLOVERRIDES"] = cls.env.get("WINEDLLOVERRIDES", "") + ";pdh=n"
        cls.planted = os.path.join(prefix, "drive_c", "cyclowisp-planted")
        cls.probe("pdh", "clear")
        cls.probe("pdh", "set", "Figure", FIGURE)
        cls.probe("usage", TIME_BASED)
        cls.probe("measure", 1)

    @classmethod
    def tearDownClass(cls):
        try:
            for meter in cls.meters:
                meter.kill()
            cls.probe("pdh", "clear")
            shutil.rmtree(cls.planted, ignore_errors=True)
            if os.path.exists(cls.placed + SAVED):
                os.replace(cls.placed + SAVED, cls.placed)
            else:
                os.remove(cls.placed)
        finally:
            super().tearDownClass()  # the stored settings, Measure among them, and the statistic

    def tearDown(self):
        # Each test reads the tray's first three icons as its own meter's.
        for meter in self.meters:
            meter.kill()
            wait_for("the icons of a copy that ended gone", lambda: self.probe.icons(meter.hwnd) == [False] * 3,
                     timeout=30)

    @classmethod
    def start_meter(cls, *args, exe=None):
        meter = Meter(exe or EXE, cls.meter_env, cls.probe, args)
        cls.meters.append(meter)
        return meter

    def standin(self, name):
        value = self.probe("pdh", "get", name)
        return None if value == "none" else value

    def loads(self):
        answer = self.probe("pdh", "loads")
        return answer.split("\t") if answer else []

    def broadcast_measure(self, *value):
        """Stores Measure and tells every window that a setting changed, as Windows does."""
        self.probe("measure", *value)
        self.probe("settingchange")

    def assert_shows(self, usage, what):
        """Waits for a tick that shows this reading, then hovers for the tooltip."""
        self.wait_graph("a column of %d %% (%s)" % (usage, what), lambda c: c[-1:] == [column(usage)])
        self.assertEqual(self.hover_tooltip(1), "%d %%" % usage, what)

    def assert_keeps_showing(self, usage, what, seconds=3):
        """Several ticks at the default 0.5 s, every one of them this reading."""
        self.assert_shows(usage, what)
        time.sleep(seconds)
        self.assertEqual(meter_e2e.newest_run(self.graph(), column(usage)) >= 2 * seconds, True,
                         "%s: newest columns %s" % (what, self.graph()[-8:]))

    def test_1_task_managers_figure_when_chosen_and_the_time_based_reading_otherwise(self):
        self.start_meter()
        self.assert_shows(80, "Measure 1")
        self.assertEqual(self.standin("Path"), COUNTER, "the counter asked for")
        self.assertEqual(self.standin("Open"), "1")

        # Capped at 100 as Task Manager caps it.
        self.probe("pdh", "set", "Figure", 12345)
        self.assert_shows(100, "a figure of 123.45 %")
        # A tick where the counter has no value shows the time-based reading instead.
        self.probe("pdh", "set", "Figure", "none")
        self.assert_shows(TIME_BASED, "no value from the counter")
        self.probe("pdh", "set", "Figure", FIGURE)
        self.assert_shows(80, "the counter's value back")

        # 0 and values of another type or size: the time-based reading, and no collections.
        for value in ((0,), (1, "sz"), (1, "qword"), (2,)):
            with self.subTest(measure=value):
                self.broadcast_measure(*value)
                wait_for("the query closed", lambda: self.standin("Open") == "0")
                collections = self.standin("Collections")
                self.assert_keeps_showing(TIME_BASED, "Measure %s" % (value,))
                self.assertEqual(self.standin("Collections"), collections, "collections went on")

        self.broadcast_measure(1)
        self.assert_shows(80, "Measure 1 again")

        # The counter missing, as in a broken counter store: tried once, and the time-based
        # reading. Settings broadcasts come often; they try it again only once the choice has
        # been something else in between.
        self.broadcast_measure(0)
        self.probe("pdh", "set", "Counter", 0)
        self.probe("pdh", "set", "Path", "none")
        self.probe("pdh", "set", "LoadCount", 0)
        self.broadcast_measure(1)
        wait_for("the counter asked for", lambda: self.standin("Path") == COUNTER)
        for _ in range(20):
            self.probe("settingchange")
        self.assert_keeps_showing(TIME_BASED, "a missing counter")
        self.assertEqual(self.standin("LoadCount"), "1", "pdh.dll loads during a storm of settings broadcasts")
        self.assertEqual(self.standin("Open"), "0", "the query left open")
        self.broadcast_measure(0)
        self.broadcast_measure(1)
        self.assertEqual(self.standin("LoadCount"), "2", "pdh.dll loads after Measure 0 and 1 again")
        self.probe("pdh", "set", "Counter", "none")

        # Every load came from the system directory.
        loads = self.loads()
        self.assertTrue(loads, "the stand-in never recorded a load")
        for path in loads:
            self.assertRegex(path.lower(), r"^c:\\windows\\(system32|syswow64)\\pdh\.dll$")

    def tick_alone(self, meter):
        """One tick of the meter's, with its own timer held five seconds away (the slowest delay)."""
        meter.hold_timer()
        meter.tick()

    def test_2_the_first_tick_after_a_start_or_a_change_shows_the_figure(self):
        # The slowest delay: the first tick comes 5 s after the start, the next 5 s later. The
        # counter is collected once when it is opened, so that tick has a rate to show.
        self.probe("setdelay", 50)
        self.probe("pdh", "set", "Collections", "none")
        meter = self.start_meter()
        wait_for("the collection at the opening", lambda: self.standin("Collections") == "1", timeout=60,
                 interval=0.1)
        wait_for("the first tick's collection", lambda: self.standin("Collections") == "2", timeout=30,
                 interval=0.1)
        meter.hold_timer()
        columns = self.wait_graph("the first tick's column", lambda c: c[-1:] == [column(80)])
        self.assertEqual(columns, [column(0)] * 47 + [column(80)], "columns after the first tick")
        self.assertEqual(self.hover_tooltip(1), "80 %")
        self.assertEqual(self.standin("Collections"), "2", "another tick came before the checks were done")

        # Measure 0 for a tick, then 1 again: the first tick after the change shows the figure.
        self.broadcast_measure(0)
        self.tick_alone(meter)
        self.wait_graph("a time-based column", lambda c: c[-1:] == [column(TIME_BASED)])
        meter.hold_timer()
        self.broadcast_measure(1)
        self.tick_alone(meter)
        self.assertEqual(self.standin("Collections"), "2", "collections of the query opened by the change")
        self.wait_graph("the figure on the first tick after the change",
                        lambda c: c[-2:] == [column(TIME_BASED), column(80)])

        # Where the collection at the opening failed, the first tick's is the rate's first: that
        # tick shows no reading, the next the figure.
        self.broadcast_measure(0)
        self.tick_alone(meter)
        self.wait_graph("a time-based column", lambda c: c[-1:] == [column(TIME_BASED)])
        meter.hold_timer()
        self.probe("pdh", "set", "FailCollections", 1)
        self.broadcast_measure(1)
        before = self.graph()
        self.tick_alone(meter)
        self.assertEqual(self.standin("Collections"), "2")
        self.assertEqual(self.graph(), before, "a column after the first collection that succeeded")
        meter.hold_timer()
        self.assertIsNone(self.hover_tooltip(1, timeout=3), "a tooltip after the first collection that succeeded")
        self.assertEqual(self.standin("Collections"), "2", "another tick came before the checks were done")
        self.tick_alone(meter)
        self.wait_graph("the figure on the next tick", lambda c: c[-1:] == [column(80)])
        self.assertEqual(self.hover_tooltip(1), "80 %")
        self.probe("setdelay", 5)

    def test_3_a_pdh_dll_beside_the_program_is_never_loaded(self):
        # A copy of the program with the stand-in beside it, where a load by bare name finds it first.
        os.makedirs(self.planted, exist_ok=True)
        copy = os.path.join(self.planted, "cyclowis.exe")
        shutil.copyfile(EXE, copy)
        shutil.copyfile(STANDIN, os.path.join(self.planted, "pdh.dll"))
        self.probe("pdh", "clear")
        self.probe("pdh", "set", "Figure", 5000)
        meter = self.start_meter(exe=copy)
        self.assert_shows(50, "the copy with Measure 1")
        loads = self.loads()
        self.assertTrue(loads, "the stand-in never recorded a load")
        planted = [p for p in loads if "cyclowisp-planted" in p.lower()]
        self.assertEqual(planted, [], "loaded from beside the program; every load: %s" % loads)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--standin", required=True, help="the stand-in pdh.dll")
    known, rest = parser.parse_known_args()
    STANDIN = known.standin
    sys.argv = [sys.argv[0]] + rest
    harness.main(globals())
