#!/usr/bin/python3
"""The whole program under load, against a server that misbehaves, and ended
while it is busy. The real binary runs under Xvfb with icewm
(xsession.py), inside the private network where the picture server answers
its built-in addresses (sandbox.py); the test drives the mouse through the
XTEST extension and sees every paint of the window through the DAMAGE
extension, both over a connection of its own (ctypes over libX11).

Figures come out on standard output as lines starting "[figure]", and with
--json FILE also as a JSON object per test. Bounds are generous: a loaded
machine makes the figures worse, not the tests red.

    YK_BINARY=build/app/yarrowlit-kestrune2019 reliability_test.py \
        ReliabilityTest.test_load  [--presses 500] [--seconds 30]

Needs what xsession.py and sandbox.py need, plus libxtst6 and libxdamage1,
and root (or unprivileged user namespaces) for the private network.
"""

import ctypes
import ctypes.util
import json
import os
import select
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sandbox  # noqa: E402
from xsession import XSession  # noqa: E402

BINARY = os.environ.get("YK_BINARY", "")
TITLE = "Yarrowlit-Kestrune2019"
X, Y, W, H = 827, 412, 266, 255  # the window on a 1920 x 1080 screen
# Two points of the picture area, far enough apart that presses alternating
# between them never pair up as double clicks.
PRESS_POINTS = [(70, 130), (190, 130)]
CLOSE_GLYPH = (250, 16)
# Where the test briefly covers and uncovers the window to make it repaint:
# the bottom strip, away from every place the mouse goes.
COVER = (100, 232, 40, 16)
SKIP = 77  # CTest's "skipped"

FIGURES = {}


def figure(test, **values):
    FIGURES.setdefault(test, {}).update(values)
    print("[figure] %s: %s" % (test, ", ".join(
        "%s=%s" % (k, v) for k, v in values.items())), flush=True)


# ---- X over ctypes -----------------------------------------------------------

def _lib(name):
    path = ctypes.util.find_library(name)
    if not path:
        raise unittest.SkipTest("lib%s is not installed" % name)
    return ctypes.CDLL(path)


_x11 = _xtst = _xdamage = None


def _libs():
    global _x11, _xtst, _xdamage
    if _x11 is None:
        _x11, _xtst, _xdamage = _lib("X11"), _lib("Xtst"), _lib("Xdamage")
        _x11.XOpenDisplay.restype = ctypes.c_void_p
        _x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        for name in ("XCloseDisplay", "XFlush", "XPending", "XConnectionNumber"):
            getattr(_x11, name).argtypes = [ctypes.c_void_p]
        _x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        _x11.XDefaultRootWindow.restype = ctypes.c_ulong
        _x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        _x11.XInternAtom.restype = ctypes.c_ulong
        _x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        _x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        _x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                    ctypes.c_long, ctypes.c_void_p]
        _x11.XCreateWindow.restype = ctypes.c_ulong
        _x11.XCreateWindow.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
            ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_int, ctypes.c_uint,
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]
        for name in ("XMapRaised", "XUnmapWindow", "XDestroyWindow"):
            getattr(_x11, name).argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        _xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint,
                                               ctypes.c_int, ctypes.c_ulong]
        _xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int,
                                               ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
        _xdamage.XDamageQueryExtension.argtypes = [
            ctypes.c_void_p, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]
        _xdamage.XDamageCreate.restype = ctypes.c_ulong
        _xdamage.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]
    return _x11, _xtst, _xdamage


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("client", _ClientMessage),
                ("pad", ctypes.c_long * 24)]


class _WindowAttributes(ctypes.Structure):
    _fields_ = [("background_pixmap", ctypes.c_ulong), ("background_pixel", ctypes.c_ulong),
                ("border_pixmap", ctypes.c_ulong), ("border_pixel", ctypes.c_ulong),
                ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("cursor", ctypes.c_ulong)]


CLIENT_MESSAGE = 33
CW_BACK_PIXEL = 1 << 1
CW_OVERRIDE_REDIRECT = 1 << 9
SUBSTRUCTURE_NOTIFY = 1 << 19
SUBSTRUCTURE_REDIRECT = 1 << 20
DAMAGE_RAW_RECTANGLES = 0


class XInput:
    """Mouse input and window-manager requests over a connection of its
    own; one thread uses it."""

    def __init__(self, display):
        self.x11, self.xtst, _ = _libs()
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)
        self.root = self.x11.XDefaultRootWindow(self.dpy)

    def close(self):
        if self.dpy:
            self.x11.XCloseDisplay(self.dpy)
            self.dpy = None

    def move(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.x11.XSync(self.dpy, 0)

    def button(self, down):
        """Presses or releases the left button; returns once the X server
        has taken the event."""
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 1 if down else 0, 0)
        self.x11.XSync(self.dpy, 0)

    def click(self, x, y):
        self.move(x, y)
        self.button(True)
        self.button(False)

    def wm_close(self, wid):
        """Asks the window manager to close `wid`, as its close button or
        the taskbar does (_NET_CLOSE_WINDOW)."""
        ev = _Event()
        ev.client.type = CLIENT_MESSAGE
        ev.client.window = wid
        ev.client.message_type = self.x11.XInternAtom(self.dpy, b"_NET_CLOSE_WINDOW", 0)
        ev.client.format = 32
        ev.client.data[0] = 0  # CurrentTime
        ev.client.data[1] = 2  # from a pager or taskbar
        self.x11.XSendEvent(self.dpy, self.root, 0,
                            SUBSTRUCTURE_NOTIFY | SUBSTRUCTURE_REDIRECT, ctypes.byref(ev))
        self.x11.XSync(self.dpy, 0)


class PaintWatch:
    """Records the time of every paint of a window (DAMAGE events), and can
    make the window repaint: it maps a small window of its own over a corner
    of it and takes it away again, which exposes that corner; the program
    must draw it anew. Runs on a thread of its own with its own connection."""

    def __init__(self, display, wid, screen_rect):
        self.x11, _, self.xdamage = _libs()
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)
        base, error = ctypes.c_int(), ctypes.c_int()
        if not self.xdamage.XDamageQueryExtension(self.dpy, ctypes.byref(base),
                                                  ctypes.byref(error)):
            raise unittest.SkipTest("the X server has no DAMAGE extension")
        self.damage_event = base.value  # + XDamageNotify, which is 0
        self.xdamage.XDamageCreate(self.dpy, wid, DAMAGE_RAW_RECTANGLES)
        attrs = _WindowAttributes()
        attrs.override_redirect = 1
        attrs.background_pixel = 0xFF00FF
        x, y, w, h = screen_rect
        self.cover = self.x11.XCreateWindow(
            self.dpy, self.x11.XDefaultRootWindow(self.dpy), x, y, w, h, 0, 0, 1,
            None, CW_OVERRIDE_REDIRECT | CW_BACK_PIXEL, ctypes.byref(attrs))
        self.x11.XSync(self.dpy, 0)
        self.paints = []    # monotonic times of damage events
        self.prods = []     # (time uncovered, time of the next paint or None)
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.prod_every = None
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def start_prodding(self, every=0.025):
        self.prod_every = every

    def stop_prodding(self):
        self.prod_every = None

    def _drain(self):
        ev = _Event()
        while self.x11.XPending(self.dpy):
            self.x11.XNextEvent(self.dpy, ctypes.byref(ev))
            if ev.type == self.damage_event:
                now = time.monotonic()
                with self.lock:
                    self.paints.append(now)
                    if self.prods and self.prods[-1][1] is None:
                        self.prods[-1] = (self.prods[-1][0], now)

    def _run(self):
        fd = self.x11.XConnectionNumber(self.dpy)
        next_prod = time.monotonic()
        while not self.stopping.is_set():
            self._drain()
            now = time.monotonic()
            if self.prod_every is not None and now >= next_prod:
                self.x11.XMapRaised(self.dpy, self.cover)
                self.x11.XSync(self.dpy, 0)
                self._drain()
                self.x11.XUnmapWindow(self.dpy, self.cover)
                self.x11.XSync(self.dpy, 0)
                with self.lock:
                    self.prods.append((time.monotonic(), None))
                next_prod = time.monotonic() + self.prod_every
            select.select([fd], [], [], 0.005)
        self.x11.XDestroyWindow(self.dpy, self.cover)
        self.x11.XCloseDisplay(self.dpy)

    def close(self):
        self.stopping.set()
        self.thread.join(10)

    def longest_gap(self, start, end):
        """The longest time between two paints (or the window's ends) in
        [start, end]."""
        with self.lock:
            times = [t for t in self.paints if start <= t <= end]
        marks = [start] + times + [end]
        return max(b - a for a, b in zip(marks, marks[1:]))

    def prod_latencies(self, start, end):
        """Seconds from each uncovering in [start, end] to the next paint;
        an uncovering never answered counts until `end`."""
        with self.lock:
            prods = [p for p in self.prods if start <= p[0] <= end]
        return [(done if done is not None else end) - t for t, done in prods]


# ---- the program's process -------------------------------------------------------

def _children():
    kids = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name) as f:
                stat = f.read()
        except OSError:
            continue
        ppid = int(stat[stat.rindex(")") + 2:].split()[1])
        kids.setdefault(ppid, []).append(int(name))
    return kids


def find_descendant(root_pid, exe):
    """The process below `root_pid` running `exe`, or None."""
    kids = _children()
    todo = list(kids.get(root_pid, []))
    while todo:
        pid = todo.pop()
        try:
            if os.path.realpath("/proc/%d/exe" % pid) == exe:
                return pid
        except OSError:
            pass
        todo.extend(kids.get(pid, []))
    return None


def status(pid):
    """{"Threads": n, "VmRSS": kB, ...} of a process; {} once it is gone."""
    values = {}
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                name, _, value = line.partition(":")
                if name in ("Threads", "VmRSS", "VmHWM"):
                    values[name] = int(value.split()[0])
    except OSError:
        pass
    return values


class Sampler:
    """Reads Threads and VmRSS of a process every few milliseconds."""

    def __init__(self, pid, every=0.02):
        self.pid, self.every = pid, every
        self.samples = []  # (time, threads, rss kB)
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while not self.stopping.is_set():
            s = status(self.pid)
            if s:
                self.samples.append((time.monotonic(), s["Threads"], s["VmRSS"]))
            time.sleep(self.every)

    def close(self):
        self.stopping.set()
        self.thread.join(10)

    def peak(self):
        return (max((s[1] for s in self.samples), default=0),
                max((s[2] for s in self.samples), default=0))


def wait_until(predicate, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


# ---- the fixture ---------------------------------------------------------------

class Viewer:
    """X session + sandbox + program, with handles on all three."""

    def __init__(self, test, mode="normal"):
        self.test = test
        self.work = tempfile.mkdtemp(prefix="yk-reliability-")
        self.log = os.path.join(self.work, "requests.log")
        self.control = os.path.join(self.work, "control")
        sandbox.write_control_file(self.control, "mode=" + mode)
        self.x = XSession()
        self.x.__enter__()
        test.addCleanup(self.close)
        self.exe = os.path.realpath(BINARY)
        self.proc = self.x.run(sandbox.sandbox_command([self.exe], self.log,
                                                       control_file=self.control),
                               isolate_network=False)
        self.wid = self.x.wait_for_window(TITLE, timeout=30)
        test.assertTrue(wait_until(lambda: self.x.geometry(self.wid) == (X, Y, W, H), 20),
                        "the window in place")
        self.pid = wait_until(lambda: find_descendant(self.proc.pid, self.exe), 10)
        test.assertTrue(self.pid, "the program's process")
        self.input = XInput(self.x.display)
        self.watch = PaintWatch(self.x.display, self.wid,
                                (X + COVER[0], Y + COVER[1], COVER[2], COVER[3]))

    def close(self):
        for part in ("watch", "input"):
            if getattr(self, part, None) is not None:
                getattr(self, part).close()
        self.x.close()

    def steer(self, query):
        sandbox.write_control_file(self.control, query)

    def requests(self):
        return len(sandbox.picture_requests(self.log))

    def threads(self):
        return status(self.pid).get("Threads", 0)

    def settle_threads(self, timeout=60):
        """The thread count once it has held still for a second: the
        program idle, every worker ended."""
        end = time.monotonic() + timeout
        last, since = None, time.monotonic()
        while time.monotonic() < end:
            n = self.threads()
            if n != last:
                last, since = n, time.monotonic()
            elif time.monotonic() - since >= 1.0:
                return n
            time.sleep(0.05)
        self.test.fail("the thread count never settled (last %s)" % last)

    def press(self, i):
        px, py = PRESS_POINTS[i % len(PRESS_POINTS)]
        self.input.click(X + px, Y + py)

    def alive(self):
        return self.proc.poll() is None and status(self.pid) != {}

    def pidfd(self):
        return os.pidfd_open(self.pid)


# ---- the tests -----------------------------------------------------------------

class ReliabilityTest(unittest.TestCase):
    presses = 500
    seconds = 30.0

    def setUp(self):
        self.assertTrue(BINARY and os.path.exists(BINARY), "set YK_BINARY")
        flags, reason = sandbox.sandbox_flags()
        if flags is None:
            raise unittest.SkipTest(reason)
        _libs()

    def test_load(self):
        """Presses at a steady pace while the server answers each request
        after 0 to 3 s: the program stays up and keeps painting, every
        worker ends, and memory comes back."""
        v = Viewer(self)
        idle_threads = v.settle_threads()
        v.steer("mode=slow&delay_min=0&delay_max=3")
        rss_before = status(v.pid)["VmRSS"]
        sampler = Sampler(v.pid)
        self.addCleanup(sampler.close)
        v.watch.start_prodding()
        requests_before = v.requests()

        start = time.monotonic()
        step = self.seconds / self.presses
        for i in range(self.presses):
            v.press(i)
            delay = start + (i + 1) * step - time.monotonic()
            if delay > 0:
                time.sleep(delay)
        pressed = time.monotonic()
        self.assertTrue(v.alive(), "the program ended under load")

        ended = wait_until(lambda: v.threads() <= idle_threads, 120, 0.1)
        workers_done = time.monotonic()
        v.watch.stop_prodding()
        sampler.close()
        self.assertTrue(ended, "workers still running: %d threads, %d when idle"
                        % (v.threads(), idle_threads))
        self.assertTrue(v.alive(), "the program ended")
        after = v.settle_threads()
        rss_after = wait_until(lambda: status(v.pid)["VmRSS"], 1)
        # Each press starts a fetch; a draw beyond the end of the address
        # list (about one in eight) asks no server.
        sent = v.requests() - requests_before
        self.assertGreater(sent, self.presses * 0.7, "presses went missing")
        self.assertLessEqual(sent, self.presses)

        gap = v.watch.longest_gap(start, workers_done)
        latencies = v.watch.prod_latencies(start, workers_done)
        peak_threads, peak_rss = sampler.peak()
        figure("load", presses=self.presses, press_seconds=round(pressed - start, 2),
               requests=sent, idle_threads=idle_threads, peak_threads=peak_threads,
               threads_after=after,
               workers_all_ended_s=round(workers_done - pressed, 2),
               longest_paint_gap_ms=round(gap * 1000),
               repaint_latency_max_ms=round(max(latencies) * 1000),
               repaint_latency_median_ms=round(sorted(latencies)[len(latencies) // 2] * 1000),
               paints=len(v.watch.paints), rss_before_kb=rss_before,
               peak_rss_kb=peak_rss, rss_after_kb=rss_after,
               rss_change_pct=round(100.0 * (rss_after - rss_before) / rss_before, 1))
        self.assertEqual(after, idle_threads, "a worker thread never ended")
        self.assertLess(gap, 5.0, "the window stopped painting")
        self.assertLessEqual(rss_after, rss_before * 1.10,
                             "memory did not come back after the burst")

    def test_silent_server(self):
        """A server that takes the request and never answers: the window
        keeps painting meanwhile, and each worker ends when the receive
        time-out gives up on it."""
        v = Viewer(self)
        idle_threads = v.settle_threads()
        v.steer("mode=silent")
        before = v.requests()
        v.watch.start_prodding()
        for i in range(20):
            v.press(i)
        self.assertTrue(wait_until(lambda: v.requests() - before >= 10, 20),
                        "no requests")
        last_request = time.monotonic()
        hanging = v.threads() - idle_threads
        # While they hang: look at the window for a few seconds.
        time.sleep(5)
        watch_end = time.monotonic()
        latencies = v.watch.prod_latencies(last_request, watch_end)
        gap = v.watch.longest_gap(last_request, watch_end)
        self.assertEqual(v.threads() - idle_threads, hanging,
                         "a worker ended although the server said nothing")
        ended = wait_until(lambda: v.threads() <= idle_threads, 120, 0.1)
        released = time.monotonic() - last_request
        v.watch.stop_prodding()
        figure("silent_server", requests=v.requests() - before, hanging_workers=hanging,
               longest_paint_gap_ms=round(gap * 1000),
               repaint_latency_max_ms=round(max(latencies) * 1000),
               workers_ended_after_s=round(released, 1))
        self.assertTrue(ended, "the workers never gave up")
        self.assertTrue(v.alive())
        self.assertLess(gap, 5.0, "the window stopped painting")
        self.assertGreater(released, 20, "workers gave up before the receive time-out")

    def _busy(self, v, fetches=100):
        """Presses until `fetches` requests hang at the silent server."""
        idle = v.settle_threads()
        v.steer("mode=silent")
        before = v.requests()
        i = 0
        while v.requests() - before < fetches and i < fetches * 3:
            v.press(i)
            i += 1
            if i >= fetches:
                time.sleep(0.05)
        self.assertTrue(wait_until(lambda: v.requests() - before >= fetches, 20),
                        "only %d requests" % (v.requests() - before))
        in_flight = v.threads() - idle
        self.assertGreaterEqual(in_flight, fetches, "fetches in flight")
        return in_flight

    def _end_while_busy(self, name, prepare, trigger):
        """Ends the program with `trigger` while 100 fetches hang, and times
        it from the moment the X server took the request to the moment the
        process was gone."""
        v = Viewer(self)
        in_flight = self._busy(v)
        pidfd = v.pidfd()
        self.addCleanup(os.close, pidfd)
        prepare(v)
        start = time.monotonic()
        trigger(v)
        ready, _, _ = select.select([pidfd], [], [], 10)
        took = time.monotonic() - start
        self.assertTrue(ready, "the program did not end")
        code = v.proc.wait(30)
        figure(name, fetches_in_flight=in_flight, end_ms=round(took * 1000, 1),
               exit_code=code)
        self.assertEqual(code, 0)
        self.assertLess(took, 2.0, "slow to end")

    def test_close_glyph_while_busy(self):
        def press_on_close(v):
            v.input.move(X + CLOSE_GLYPH[0], Y + CLOSE_GLYPH[1])
            v.input.button(True)
        self._end_while_busy("close_glyph", press_on_close,
                             lambda v: v.input.button(False))

    def test_window_manager_close_while_busy(self):
        self._end_while_busy("wm_close", lambda v: None,
                             lambda v: v.input.wm_close(v.wid))


def main(argv):
    out = None
    rest = [argv[0]]
    i = 1
    while i < len(argv):
        if argv[i] == "--json":
            out = argv[i + 1]
            i += 2
        elif argv[i] == "--presses":
            ReliabilityTest.presses = int(argv[i + 1])
            i += 2
        elif argv[i] == "--seconds":
            ReliabilityTest.seconds = float(argv[i + 1])
            i += 2
        else:
            rest.append(argv[i])
            i += 1
    program = unittest.main(argv=rest, exit=False)
    if out:
        with open(out, "w") as f:
            json.dump(FIGURES, f, indent=2)
    result = program.result
    if result.skipped and not result.failures and not result.errors and \
            result.testsRun == len(result.skipped):
        return SKIP
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
