#!/usr/bin/env python3
# cyclowis.exe on a dark notification area: an X system tray panel tinted like a dark taskbar
# (scripts/with-trayer.sh starts it), where the bars must be white, and where a switch of the
# taskbar's colour must show at once, not at the next tick.
#   with-trayer.sh dark_e2e.py --exe cyclowis.exe --tool traytool.exe [unittest arguments]
import time
import unittest

import harness
from harness import IDCANCEL, WM_COMMAND, Meter, Probe, desktop_environment, headrooms, wait_for

EXE = TOOL = None

# Readings fed through the sample value and the headroom each draws.
HEADROOM = {37: 9, 50: 7, 100: 0}


class DarkTaskbar(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.env = desktop_environment()
        cls.probe = Probe(TOOL, cls.env)
        # The slowest delay, so that a recolour that waited for the next tick would show.
        cls.probe("cleardelay")
        cls.probe("setdelay", 50)
        cls.probe("usage", 37)
        cls.meter = None

    @classmethod
    def tearDownClass(cls):
        if cls.meter:
            cls.meter.kill()
        cls.probe("theme", "none")
        cls.probe("bars", "none")
        cls.probe("cleardelay")
        cls.probe("usage", "none")
        cls.probe.close()

    def colour(self):
        """'W' when every bar pixel of the three icons is white, '#' when every one is black,
        otherwise what the icons show."""
        icons = self.probe.tray_icons()
        pixels = set("".join("".join(rows) for rows in icons[:3])) - {"."}
        return pixels.pop() if len(icons) >= 3 and len(pixels) == 1 else icons

    def graph(self):
        """The 48 columns as headrooms, whatever the bars' colour. The panel puts each new icon
        left of the earlier ones, so the meter's icons 0, 1, 2 are its slots 2, 1, 0."""
        icons = self.probe.tray_icons()[:3][::-1]
        return headrooms([[row.replace("W", "#") for row in rows] for rows in icons])

    def test_bars_follow_the_taskbar_at_start_and_at_once_on_a_switch(self):
        self.probe("theme", 0)
        type(self).meter = Meter(EXE, self.env, self.probe)
        wait_for("three icons docked in the panel", lambda: self.meter.icons() == [True] * 3, timeout=60)
        wait_for("white bars from the start", lambda: self.colour() == "W")

        for theme, bars, fed in ((1, "#", 37), (0, "W", 50)):
            # Just after a tick that drew a fresh reading: the next one is five seconds away.
            self.probe("usage", fed)
            wait_for("a tick drawing %d %%" % fed, lambda: self.graph()[-1] == HEADROOM[fed], timeout=30)
            self.probe("usage", 100)  # a sample taken out of turn would draw a full column
            self.probe("theme", theme)
            switched = time.monotonic()
            self.probe("settingchange")
            wait_for("bars turning %s" % bars, lambda: self.colour() == bars, interval=0.05)
            self.assertLess(time.monotonic() - switched, 2.5, "the recolour waited for a tick")
            self.assertEqual(self.graph()[-1], HEADROOM[fed], "a sample was taken out of turn")

        # A settings change that leaves the flag as it was changes nothing.
        self.probe("settingchange")
        time.sleep(1)
        self.assertEqual(self.colour(), "W")

    def test_the_users_choice_of_bars_overrides_the_flag_at_start_and_at_once_on_a_change(self):
        if self.meter:
            # Ended as the user would, so that its icons leave the panel before the next come.
            self.probe.post(self.meter.hwnd, WM_COMMAND, IDCANCEL)
            self.meter.wait_exit()
            wait_for("the earlier icons to leave the panel", lambda: not self.probe.tray_icons(), timeout=30)
        # White bars chosen on a taskbar that says it is light, read at start.
        self.probe("theme", 1)
        self.probe("bars", 2)
        type(self).meter = Meter(EXE, self.env, self.probe)
        wait_for("three icons docked in the panel", lambda: self.meter.icons() == [True] * 3, timeout=60)
        wait_for("white bars from the start", lambda: self.colour() == "W")

        # One reading taken, then a full load in the sample: a sample taken out of turn would
        # draw a full column. Each change comes right after the meter's timer was started afresh,
        # five seconds before its next tick, and shows at once.
        self.meter.feed([37])
        self.probe("usage", 100)
        cases = (
            ("Bars 1 on a dark taskbar", 0, (1,), "#"),
            ("Bars 0 on a dark taskbar", 0, (0,), "W"),
            ("Bars 0 on a light taskbar", 1, (0,), "#"),
            ("Bars 1 as REG_SZ on a dark taskbar", 0, (1, "sz"), "W"),
            ("Bars 2 as REG_SZ on a light taskbar", 1, (2, "sz"), "#"),
            ("Bars 2 on a light taskbar", 1, (2,), "W"),
        )
        for what, theme, bars, colour in cases:
            with self.subTest(what):
                self.meter.hold_timer()
                self.probe("theme", theme)
                self.probe("bars", *bars)
                switched = time.monotonic()
                self.probe("settingchange")
                try:
                    wait_for("bars turning %s" % colour, lambda: self.colour() == colour, timeout=10, interval=0.05)
                except AssertionError:
                    self.fail("%s: the icons show\n%s" % (what, "\n".join(" ".join(r) for r in zip(*self.shown()))))
                self.assertLess(time.monotonic() - switched, 2.5, "the recolour waited for a tick")
                self.assertEqual(self.graph()[-1], HEADROOM[37], "a sample was taken out of turn")

    def shown(self):
        """The meter's three icons as the panel shows them, in the meter's order."""
        return self.probe.tray_icons()[:3][::-1]


if __name__ == "__main__":
    harness.main(globals())
