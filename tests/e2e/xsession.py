"""A private X session for whole-program tests: Xvfb on a display number it
picks itself (no clash with other sessions or tests running at once), icewm
as the window manager, and helpers to find windows, read their properties,
take screenshots and drive the mouse and keyboard with xdotool.

    with XSession() as x:
        proc = x.run([binary])
        wid = x.wait_for_window("Yarrowlit-Kestrune2019")
        shot = x.screenshot()          # PIL image of the whole screen

Needs Debian's xvfb, icewm, xdotool, x11-utils and python3-pil; run it with
/usr/bin/python3. Everything it starts is ended when the session closes.
"""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

from PIL import Image, ImageGrab

WIDTH, HEIGHT = 1920, 1080


class XSessionError(Exception):
    pass


def _wait(predicate, what, timeout=20.0, step=0.05):
    """Polls `predicate` until it gives a true value; an error after
    `timeout` seconds, so that a broken component cannot hang the test."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise XSessionError(f"timed out waiting for {what}")
        time.sleep(step)


class XSession:
    def __init__(self, width=WIDTH, height=HEIGHT, window_manager=True):
        self.width, self.height = width, height
        self.window_manager = window_manager
        self.procs = []
        self.home = tempfile.mkdtemp(prefix="yk-xsession-")
        self.display = None

    # ---- life -------------------------------------------------------------

    def __enter__(self):
        try:
            self._start_server()
            if self.window_manager:
                self._start_icewm()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def env(self, **extra):
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.home,
            "DISPLAY": self.display,
            "XAUTHORITY": os.path.join(self.home, ".Xauthority"),
        }
        env.update(extra)
        return env

    def _start_server(self):
        read_fd, write_fd = os.pipe()
        server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
             f"{self.width}x{self.height}x24", "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        self.procs.append(server)
        os.close(write_fd)
        number = b""
        end = time.monotonic() + 20
        while not number.endswith(b"\n"):
            if time.monotonic() > end or server.poll() is not None:
                os.close(read_fd)
                raise XSessionError("Xvfb did not start")
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        if not number.strip().isdigit():
            raise XSessionError("Xvfb gave no display number")
        self.display = ":" + number.decode().strip()
        _wait(lambda: self._ok(["xdpyinfo"]), "the X server")

    def _start_icewm(self):
        # A quiet configuration: no start-up tips, no clock or mail applets,
        # focus follows clicks. The taskbar stays: tests look at it.
        prefs = os.path.join(self.home, ".icewm")
        os.makedirs(prefs, exist_ok=True)
        with open(os.path.join(prefs, "preferences"), "w") as f:
            f.write("ShowTaskBar=1\nTaskBarShowClock=0\nTaskBarShowMailboxStatus=0\n"
                    "TaskBarShowCPUStatus=0\nTaskBarShowNetStatus=0\n"
                    "TaskBarShowAPMStatus=0\nTaskBarShowWorkspaces=0\n"
                    "ShowHelp=0\nFocusMode=1\n")
        wm = subprocess.Popen(["icewm"], env=self.env(), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, start_new_session=True)
        self.procs.append(wm)
        _wait(lambda: "window id" in self.root_property("_NET_SUPPORTING_WM_CHECK"),
              "icewm")
        # icewm puts up its taskbar a moment after it claims the screen.
        _wait(lambda: self.window_ids(class_name="icewm") or
              self.window_ids(name="Task Bar"), "the taskbar", timeout=10)

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
            for stream in (p.stdout, p.stderr):
                if stream is not None:
                    stream.close()
        self.procs = []
        shutil.rmtree(self.home, ignore_errors=True)

    # ---- programs -----------------------------------------------------------

    def run(self, argv, isolate_network=True, **popen):
        """Starts a program on this display. With isolate_network (as root)
        it runs in a private network namespace, so nothing it does can reach
        another machine; the X server is still reached through its socket
        file."""
        if isolate_network and os.geteuid() == 0 and shutil.which("unshare"):
            argv = ["unshare", "--net", "--"] + list(argv)
        popen.setdefault("stdout", subprocess.PIPE)
        popen.setdefault("stderr", subprocess.PIPE)
        popen.setdefault("start_new_session", True)  # so close() ends it all
        p = subprocess.Popen(argv, env=self.env(), **popen)
        self.procs.append(p)
        return p

    def _ok(self, argv):
        return subprocess.run(argv, env=self.env(), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0

    def _out(self, argv):
        r = subprocess.run(argv, env=self.env(), capture_output=True, text=True)
        return r.stdout if r.returncode == 0 else ""

    # ---- windows ------------------------------------------------------------

    def window_ids(self, name=None, class_name=None):
        argv = ["xdotool", "search", "--onlyvisible"]
        if name is not None:
            argv += ["--name", "^" + re.escape(name) + "$"]
        elif class_name is not None:
            argv += ["--class", class_name]
        return [int(w) for w in self._out(argv).split()]

    def wait_for_window(self, title, timeout=20.0):
        ids = _wait(lambda: self.window_ids(name=title), f"window {title!r}",
                    timeout)
        return ids[0]

    def root_property(self, name):
        return self._out(["xprop", "-root", name])

    def property(self, wid, name):
        return self._out(["xprop", "-id", str(wid), name])

    def frame_of(self, wid):
        """The window manager's frame around `wid`: the child of the root
        that holds it (the window itself when it is not reparented)."""
        out = self._out(["xwininfo", "-children", "-id", str(wid)])
        m = re.search(r"Parent window id: (0x[0-9a-f]+)", out)
        root = re.search(r"Root window id: (0x[0-9a-f]+)", out)
        if not m or not root or m.group(1) == root.group(1):
            return wid
        return self.frame_of(int(m.group(1), 16))

    def geometry(self, wid):
        """(x, y, width, height) of a window on the screen."""
        out = self._out(["xwininfo", "-id", str(wid)])
        grab = {k: int(re.search(rf"{k}:\s+(-?\d+)", out).group(1))
                for k in ("Absolute upper-left X", "Absolute upper-left Y",
                          "Width", "Height")}
        return (grab["Absolute upper-left X"], grab["Absolute upper-left Y"],
                grab["Width"], grab["Height"])

    def map_state(self, wid):
        m = re.search(r"Map State: (\w+)",
                      self._out(["xwininfo", "-id", str(wid)]))
        return m.group(1) if m else ""

    def wm_state(self, wid):
        """"Normal", "Iconic" or "" from the ICCCM WM_STATE property."""
        m = re.search(r"window state: (\w+)", self.property(wid, "WM_STATE"))
        return m.group(1) if m else ""

    # ---- input --------------------------------------------------------------

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.env(), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def pointer(self):
        out = self._out(["xdotool", "getmouselocation"])
        m = re.search(r"x:(-?\d+) y:(-?\d+)", out)
        return (int(m.group(1)), int(m.group(2))) if m else None

    def move(self, x, y):
        # --sync waits for the pointer to move, which it never does when it
        # is there already.
        if self.pointer() != (x, y):
            self.xdotool("mousemove", "--sync", x, y)

    def click(self, x, y, button=1):
        self.move(x, y)
        self.xdotool("click", button)

    def key(self, wid, *keys):
        self.xdotool("windowactivate", "--sync", wid)
        for k in keys:
            self.xdotool("key", "--clearmodifiers", k)

    def sync(self):
        """Waits until the X server has handled everything sent so far."""
        self._ok(["xprop", "-root", "_NET_ACTIVE_WINDOW"])

    # ---- screen -------------------------------------------------------------

    def screenshot(self, box=None):
        img = ImageGrab.grab(bbox=box, xdisplay=self.display)
        return img.convert("RGB")

    def settle(self, box, timeout=10.0):
        """A screenshot of `box` once two in a row agree: the program has
        finished painting."""
        last = [None]

        def same():
            shot = self.screenshot(box)
            if last[0] is not None and shot.tobytes() == last[0].tobytes():
                return shot
            last[0] = shot
            time.sleep(0.1)
            return None

        return _wait(same, "the screen to settle", timeout)


def load_rgb(path):
    return Image.open(path).convert("RGB")


def load_rgba(path):
    return Image.open(path).convert("RGBA")
