#!/usr/bin/python3
"""The main window as a user sees it: the real program under Xvfb with
icewm, driven with xdotool, the screen read back. Each test starts its own X
session and its own copy of the program (in a private network namespace when
run as root, so that no fetch can leave the machine).

The program comes from $YK_BINARY, the face picture from $YK_FACE, the
window icon (as a PNG) from $YK_ICON.
Run one test: window_test.py WindowTest.test_keys_change_nothing
"""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import XSession, XSessionError, load_rgb, load_rgba  # noqa: E402,E501

BINARY = os.environ.get("YK_BINARY", "")
FACE = os.environ.get("YK_FACE", "")
ICON = os.environ.get("YK_ICON", "")  # the window icon as an RGBA PNG
TITLE = "Yarrowlit-Kestrune2019"
X, Y, W, H = 827, 412, 266, 255  # where the window belongs on 1920 x 1080
SQUARE = (40, 34, 229, 223)      # the picture frame, window pixels
BUTTON_FACE = (240, 240, 240)


def plain_square():
    from PIL import Image
    return Image.new("RGB", (SQUARE[2] - SQUARE[0], SQUARE[3] - SQUARE[1]),
                     BUTTON_FACE)


class WindowTest(unittest.TestCase):
    def setUp(self):
        self.assertTrue(BINARY and os.path.exists(BINARY), "set YK_BINARY")
        self.x = XSession()
        self.x.__enter__()
        self.addCleanup(self.x.close)
        self.taskbar_before = self.x.screenshot((0, 1000, 1920, 1080))
        self.proc = self.x.run([BINARY])
        self.wid = self.x.wait_for_window(TITLE)
        _wait_for(lambda: self.x.geometry(self.wid) == (X, Y, W, H),
                  "the window in place")

    def face_shown(self):
        """Whether the window shows the face picture exactly. The picture
        frame may show either the face beneath it (before the first fetch
        has finished) or its plain square (after a fetch that brought no
        picture: there is no network here)."""
        shot = self.x.settle((X, Y, X + W, Y + H))
        face = load_rgb(FACE)
        square_shot = shot.crop(SQUARE)
        if square_shot.tobytes() not in (face.crop(SQUARE).tobytes(),
                                         plain_square().tobytes()):
            return False
        shot.paste(face.crop(SQUARE), SQUARE[:2])
        return shot.tobytes() == face.tobytes()

    def assert_unchanged(self, what):
        self.assertIsNone(self.proc.poll(), f"{what}: the program ended")
        self.assertEqual(self.x.geometry(self.wid), (X, Y, W, H), what)
        self.assertEqual(self.x.wm_state(self.wid), "Normal", what)
        self.assertTrue(self.face_shown(), what)

    def wait_exit(self, timeout=20):
        try:
            return self.proc.wait(timeout=timeout)
        except Exception:
            self.fail("the program did not end")

    # ---- tests ----------------------------------------------------------------

    def test_comes_up_centred_undecorated_showing_its_face(self):
        frame = self.x.frame_of(self.wid)
        self.assertEqual(self.x.geometry(frame), (X, Y, W, H),
                         "the frame adds nothing: no border, no caption")
        self.assertIn("0, 0, 0, 0",
                      self.x.property(self.wid, "_NET_FRAME_EXTENTS"))
        self.assertTrue(self.face_shown())
        self.assertIn('"yarrowlit-kestrune2019"',
                      self.x.property(self.wid, "WM_CLASS"))

    def test_has_a_taskbar_button_with_its_title(self):
        self.assertIn(hex(self.wid)[2:],
                      self.x.root_property("_NET_CLIENT_LIST"))
        self.assertNotIn("SKIP_TASKBAR",
                         self.x.property(self.wid, "_NET_WM_STATE"))
        self.assertIn(f'"{TITLE}"', self.x.property(self.wid, "_NET_WM_NAME"))
        # The button shows the window icon, transparency included. The
        # icon passes through the picture services' blending, so a channel
        # may be off by rounding; where the icon is nearly transparent the
        # colour carries no weight.
        out = self.x._out(["xprop", "-id", str(self.wid), "-notype", "-f",
                           "_NET_WM_ICON", "32c", " $0+", "_NET_WM_ICON"])
        values = [int(v) for v in out.split(None, 1)[1].replace(",", " ")
                  .split()] if out else []
        self.assertEqual(values[:2], [48, 48])
        ref = load_rgba(ICON)
        for i, (r, g, b, a) in enumerate(ref.getdata()):
            v = values[2 + i]
            got = ((v >> 16) & 255, (v >> 8) & 255, v & 255, v >> 24)
            self.assertLessEqual(abs(got[3] - a), 2, f"alpha at {i}")
            if a > 32:
                for k in range(3):
                    self.assertLessEqual(abs(got[k] - (r, g, b)[k]), 3,
                                         f"colour at {i}")
        # The taskbar along the screen's bottom gained a button.
        _wait_for(lambda: self.x.screenshot((0, 1000, 1920, 1080)).tobytes()
                  != self.taskbar_before.tobytes(), "a taskbar button")

    def test_keys_change_nothing(self):
        for key in ("Escape", "Return", "F1"):
            self.x.key(self.wid, key)
            self.x.sync()
            self.assert_unchanged(key)

    def test_dragging_does_not_move_it(self):
        for what, (px, py) in (("caption", (100, 20)),
                               ("picture area", (134, 128))):
            self.x.move(X + px, Y + py)
            self.x.xdotool("mousedown", 1)
            for step in range(1, 11):
                self.x.move(X + px + 20 * step, Y + py + 15 * step)
            self.x.xdotool("mouseup", 1)
            self.x.sync()
            self.assert_unchanged(f"drag on the {what}")

    def test_release_over_minimize_glyph_iconifies(self):
        # Pressed on the glyph, released elsewhere: nothing.
        self.x.move(X + 219, Y + 18)
        self.x.xdotool("mousedown", 1)
        self.x.move(X + 100, Y + 20)
        self.x.xdotool("mouseup", 1)
        self.x.sync()
        self.assert_unchanged("released away from the glyph")
        self.x.click(X + 219, Y + 18)
        _wait_for(lambda: self.x.wm_state(self.wid) == "Iconic", "iconified")
        self.assertIsNone(self.proc.poll())

    def test_window_manager_close_ends_with_zero(self):
        self.x.key(self.wid, "alt+F4")  # icewm's close: WM_DELETE_WINDOW
        self.assertEqual(self.wait_exit(), 0)

    def test_close_glyph_ends_with_zero(self):
        self.x.click(X + 249, Y + 15)
        self.assertEqual(self.wait_exit(), 0)


class WritesTest(unittest.TestCase):
    """Property writes from worker threads, through a small probe window:
    the picture and the visibility a worker writes reach the screen, and
    writes still coming when the window closes do no harm."""

    def test_worker_writes_reach_the_screen(self):
        probe = os.environ.get("YK_PROBE", "")
        self.assertTrue(probe and os.path.exists(probe), "set YK_PROBE")
        with XSession() as x:
            proc = x.run([probe])
            wid = x.wait_for_window("window-writes-probe")
            px, py, _, _ = x.geometry(wid)
            _wait_for(lambda: x.screenshot((px + 25, py + 25, px + 75, py + 75))
                      .getcolors() == [(2500, (255, 0, 0))], "the red box")
            self.assertEqual(x.screenshot((px, py, px + 10, py + 10))
                             .getcolors(), [(100, (0, 0, 255))])
            x.key(wid, "alt+F4")
            self.assertEqual(proc.wait(timeout=20), 0,
                             "first activation fired once, clean end")


class NoDisplayTest(unittest.TestCase):
    def test_exits_with_minus_one_and_says_why(self):
        import subprocess
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"),
               "HOME": "/nonexistent"}
        r = subprocess.run([BINARY], env=env, capture_output=True, text=True,
                           timeout=60)
        self.assertEqual(r.returncode, 255)
        self.assertIn("display", r.stderr)


def _wait_for(predicate, what, timeout=20.0):
    end = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > end:
            raise XSessionError(f"timed out waiting for {what}")
        time.sleep(0.05)


if __name__ == "__main__":
    unittest.main()
