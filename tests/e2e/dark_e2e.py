#!/usr/bin/env python3
# cyclowis.exe on a dark notification area: an X system tray panel tinted like a dark taskbar
# (scripts/with-trayer.sh starts it), where the bars must be white, and where a switch of the
# taskbar's colour must show at once, not at the next tick.
#   with-trayer.sh dark_e2e.py --exe cyclowis.exe --tool traytool.exe [unittest arguments]
import time
import unittest

import harness
from harness import Meter, Probe, desktop_environment, headrooms, wait_for

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


if __name__ == "__main__":
    harness.main(globals())
