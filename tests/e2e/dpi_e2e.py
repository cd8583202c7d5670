#!/usr/bin/env python3
# cyclowis.exe at the display scaling its desktop runs at (scripts/at-dpi.sh sets it): three icons
# of the taskbar's icon size S, read back from the screen, showing a graph of 3 x S columns and S
# rows, one column per sample; on a dark notification area (with --dark, under with-trayer.sh) in
# white bars.
#   at-dpi.sh DPI [with-trayer.sh] dpi_e2e.py --exe cyclowis.exe --tool traytool.exe [--dark]
import os
import time
import unittest

import harness
from harness import (IDCANCEL, WM_COMMAND, Meter, Probe, check_graph, crossing_readings, desktop_environment, headroom,
                     icon_size, wait_for)

EXE = TOOL = None
DARK = False

# The taskbar's icon size at each display scaling, in pixels square (Wine's small-icon size).
SIZE = {96: 16, 120: 20, 144: 24, 192: 32}


class ScaledTaskbar(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.env = desktop_environment()
        cls.probe = Probe(TOOL, cls.env)
        cls.meters = []
        scaling = cls.probe.scaling()
        cls.dpi = scaling["system"]
        if "CYCLOWISP_DPI" in os.environ:
            assert cls.dpi == int(os.environ["CYCLOWISP_DPI"]), "the desktop runs at %d DPI, not at %s" % (
                cls.dpi, os.environ["CYCLOWISP_DPI"])
        cls.size = SIZE[cls.dpi]
        # The slowest delay, and no reading but the ones fed one tick at a time.
        cls.probe("cleardelay")
        cls.probe("setdelay", 50)
        cls.probe("usage", 0, "dword")
        cls.probe("theme", 0 if DARK else "none")
        cls.probe("bars", "none")

    @classmethod
    def tearDownClass(cls):
        for meter in cls.meters:
            meter.kill()
        cls.probe("logpixels", cls.dpi)
        cls.probe("theme", "none")
        cls.probe("cleardelay")
        cls.probe("usage", "none")
        cls.probe.close()

    def start_meter(self):
        """A meter of its own: one that runs already is ended first, as the user would (a start
        while it runs would only show its dialog), and its icons have left the tray."""
        while self.meters:
            earlier = self.meters.pop()
            if earlier.process.poll() is None:
                self.probe.post(earlier.hwnd, WM_COMMAND, IDCANCEL)
                earlier.wait_exit()
        wait_for("the earlier icons to leave the tray", lambda: not self.probe.tray_icons(), timeout=30)
        meter = Meter(EXE, self.env, self.probe)
        self.meters.append(meter)
        wait_for("the new meter's three icons", lambda: meter.icons() == [True] * 3, timeout=60)
        return meter

    def meter_icons(self):
        """The meter's icons as the screen shows them, in the meter's order. Wine's tray window
        puts each new icon right of the earlier ones, the dark panel left of them."""
        icons = self.probe.tray_icons()
        return icons[:3][::-1] if DARK else icons[:3]

    def assert_graph(self, readings):
        """Waits until the meter's icons show the graph of these readings (the newest 3 x S) at
        the taskbar's size, in the bar colour the taskbar asks for; fails showing what was seen."""
        columns = [headroom(u, self.size) for u in readings[-3 * self.size:]]
        problem = []

        def shown():
            problem[:] = [check_graph(self.meter_icons(), columns, self.size, white=DARK, docked=DARK)]
            return problem[0] is None

        try:
            wait_for("the graph", shown, timeout=20, interval=0.5)
        except AssertionError:
            self.fail(problem[0])

    def test_1_a_graph_of_3s_columns_fills_icons_of_the_taskbars_size(self):
        meter = self.start_meter()  # the first program with a window starts the shell
        scaling = self.probe.scaling()
        self.assertEqual((scaling["smicon"], scaling["shelldpi"]), (self.size, self.dpi),
                         "a process started now: small icons %d, the taskbar at %d DPI" % (
                             scaling["smicon"], scaling["shelldpi"]))
        self.assertEqual(self.probe("traywindow") == "0x0", DARK,
                         "the icons went to an X tray panel" if not DARK else "the icons went to Wine's own tray")
        icons = self.meter_icons()
        self.assertEqual(icon_size(icons), self.size, "the tray shows icons of %s rows" % [len(i) for i in icons])

        # Every headroom from full to empty and back, an empty column, a graph filled once over.
        readings = crossing_readings(self.size)
        meter.feed(readings)
        self.assert_graph(readings)
        # The tooltips of the last reading, as the pointer over each icon brings them up; the
        # sample is mistyped now, so the meter's own tick must not come before the hovers end.
        meter.hold_timer()
        tips = [self.probe("tooltip", slot) for slot in range(3)]
        self.assertEqual(tips, ["%d %%" % readings[-1]] * 3)

    def test_2_a_meter_started_at_another_dpi_draws_at_the_taskbars(self):
        # Collected only where the desktop runs at another DPI than 96, on the light area (see
        # load_tests); at 96 it would be a meter started at the shell's own DPI.
        self.assertNotEqual(self.dpi, 96, "the desktop runs at 96 DPI, the meter's own")
        # A process started now reads 96 DPI, while the shell keeps the DPI it started with, as
        # a program on another monitor or started after a scaling change sees it on Windows.
        self.probe("logpixels", 96)
        try:
            scaling = self.probe.scaling()
            self.assertEqual((scaling["system"], scaling["shelldpi"]), (96, self.dpi))
            meter = self.start_meter()
        finally:
            self.probe("logpixels", self.dpi)
        icons = self.meter_icons()
        self.assertEqual(icon_size(icons), self.size)
        readings = crossing_readings(self.size)[::-1]
        meter.feed(readings)
        self.assert_graph(readings)


def load_tests(loader, tests, pattern):
    """Every test, except a meter started at 96 DPI under a shell at another: that one only where
    scripts/at-dpi.sh runs the suite at another DPI (CYCLOWISP_DPI), and once, on the light area."""
    names = loader.getTestCaseNames(ScaledTaskbar)
    if DARK or int(os.environ.get("CYCLOWISP_DPI", "96")) == 96:
        names = [n for n in names if n != "test_2_a_meter_started_at_another_dpi_draws_at_the_taskbars"]
    return unittest.TestSuite(ScaledTaskbar(n) for n in names)


if __name__ == "__main__":
    harness.main(globals(), flags=("--dark",))
