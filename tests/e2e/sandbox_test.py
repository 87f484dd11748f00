#!/usr/bin/python3
"""Tests of the private-network sandbox: the built-in hosts reach the local
picture server inside it and nothing outside it changes. Exits 77 (skipped)
where no private namespace can be made."""

import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "tools"))
import picture_server  # noqa: E402
import sandbox  # noqa: E402

ENCODED = "https%3A%2F%2Fimg03.kestrune.example%2F0123456789abcdef"
ADDRESS = "http://pictures.yarrowlit.example/net/a/36/link?appid=36&url=" + ENCODED
LONG_ENCODED = ("https%3A%2F%2Fimg05.kestrune.example%2F20181230%2F"
                "9f8e7d6c-5b4a39-28170615.jpg")
LONG_ADDRESS = "http://pictures.yarrowlit.example/net/a/36/link?appid=36&url=" + LONG_ENCODED
LIMIT = 120  # seconds before a hung sandbox counts as a failure


def expected_picture(encoded):
    pictures = picture_server.load_pictures(sandbox.DEFAULT_PICTURES)
    return pictures[picture_server.pick_index(encoded, len(pictures))][2]


def processes_with(marker):
    """Pids whose command line contains `marker` (read from /proc)."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if marker.encode() in f.read():
                    found.append(int(pid))
        except OSError:
            pass
    return found


def wait_for_file(path):
    for _ in range(LIMIT * 10):
        if os.path.exists(path):
            return
        time.sleep(0.1)


class SandboxTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.log = os.path.join(self.dir.name, "requests.log")

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def left_behind(self, marker):
        """Processes still running the marker or the server; the kernel may
        take a moment to end the namespace's processes."""
        for _ in range(100):
            left = processes_with(marker) + processes_with(self.log)
            if not left:
                break
            time.sleep(0.1)
        return left

    def run_inside(self, script, **kw):
        cmd = sandbox.sandbox_command(["sh", "-c", script], self.log, **kw)
        return subprocess.run(cmd, capture_output=True, text=True, timeout=LIMIT)

    def test_built_in_addresses_are_served_inside(self):
        script = ('curl -s -o "$1" -w "%%{http_code} %%{content_type}\\n" "%s" && '
                  'curl -s -o "$2" "%s"' % (ADDRESS, LONG_ADDRESS))
        r = subprocess.run(sandbox.sandbox_command(
            ["sh", "-c", script, "sh", self.path("short"), self.path("long")], self.log),
            capture_output=True, text=True, timeout=LIMIT)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(r.stdout.startswith("200 image/"), r.stdout)
        for name, encoded in (("short", ENCODED), ("long", LONG_ENCODED)):
            with open(self.path(name), "rb") as f:
                self.assertEqual(f.read(), expected_picture(encoded), name)
        requests = sandbox.picture_requests(self.log)
        self.assertEqual([q["url"] for q in requests], [ENCODED, LONG_ENCODED])
        self.assertEqual(requests[0]["request_line"],
                         "GET /net/a/36/link?appid=36&url=%s HTTP/1.1" % ENCODED)
        self.assertIn(["Host", "pictures.yarrowlit.example"], requests[0]["headers"])

    def test_every_built_in_host_resolves_to_loopback_inside(self):
        hosts = [sandbox.PROXY_HOST] + sandbox.IMAGE_HOSTS
        r = self.run_inside("getent hosts " + " ".join(hosts))
        self.assertEqual(r.returncode, 0, r.stderr)
        resolved = dict((line.split()[1], line.split()[0]) for line in r.stdout.splitlines())
        self.assertEqual(resolved, {h: "127.0.0.1" for h in hosts})

    def test_only_loopback_inside(self):
        r = self.run_inside("ip -o link show; echo routes; ip route show; ip -6 route show")
        self.assertEqual(r.returncode, 0, r.stderr)
        links, _, routes = r.stdout.partition("routes\n")
        self.assertEqual([line.split(":")[1].strip() for line in links.splitlines()], ["lo"])
        for route in routes.splitlines():
            self.assertIn("dev lo", route)

    def test_names_do_not_resolve_outside(self):
        with open("/etc/hosts", "rb") as f:
            before = f.read()
        self.assertEqual(self.run_inside("true").returncode, 0)
        with open("/etc/hosts", "rb") as f:
            self.assertEqual(f.read(), before)
        # Files only: asking DNS would send a query off the machine.
        for host in [sandbox.PROXY_HOST] + sandbox.IMAGE_HOSTS:
            r = subprocess.run(["getent", "-s", "files", "hosts", host], capture_output=True,
                               text=True, timeout=30)
            self.assertNotEqual(r.returncode, 0, host + " " + r.stdout)

    def test_exit_status_of_the_command(self):
        cases = [("exit 0", 0), ("exit 7", 7), ("kill -TERM $$", 128 + signal.SIGTERM)]
        for script, status in cases:
            self.assertEqual(self.run_inside(script).returncode, status, script)

    def test_everything_ends_with_the_command(self):
        marker = "287.%d" % os.getpid()
        r = self.run_inside("sleep %s & sleep %s & echo started" % (marker, marker))
        self.assertEqual((r.returncode, r.stdout), (0, "started\n"), r.stderr)
        self.assertEqual(self.left_behind(marker), [], "processes left behind")

    def test_sigterm_reaches_the_command(self):
        ready, caught = self.path("ready"), self.path("caught")
        script = ('trap "echo term > %s; exit 9" TERM; touch %s; '
                  'while :; do sleep 0.1; done' % (caught, ready))
        proc = subprocess.Popen(sandbox.sandbox_command(["sh", "-c", script], self.log))
        try:
            wait_for_file(ready)
            proc.send_signal(signal.SIGTERM)
            self.assertEqual(proc.wait(LIMIT), 9)
            with open(caught) as f:
                self.assertEqual(f.read(), "term\n")
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()

    def test_killed_sandbox_takes_its_processes_along(self):
        ready = self.path("ready")
        marker = "289.%d" % os.getpid()
        proc = subprocess.Popen(sandbox.sandbox_command(
            ["sh", "-c", "touch %s; sleep %s" % (ready, marker)], self.log))
        wait_for_file(ready)
        proc.kill()
        proc.wait()
        self.assertEqual(self.left_behind(marker), [], "processes left behind")

    def test_server_steered_from_outside_and_inside(self):
        control = self.path("control")
        sandbox.write_control_file(control, "mode=error")
        fetch = 'curl -s -o /dev/null -w "%%{http_code} %%{size_download}\\n" "%s"' % ADDRESS
        script = ("%s; curl -s -o /dev/null \"$YK_PICTURE_CONTROL_URL?mode=empty\"; %s"
                  % (fetch, fetch))
        r = self.run_inside(script, control_file=control)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.splitlines(),
                         ["500 %d" % len(picture_server.ERROR_PAGE), "200 0"])

    def test_server_arguments_are_passed_on(self):
        r = self.run_inside('curl -s -o "%s" "%s"' % (self.path("pic"), ADDRESS),
                            server_args=["--picture", "dragon_dance.png"])
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(self.path("pic"), "rb") as f, \
                open(os.path.join(sandbox.DEFAULT_PICTURES, "dragon_dance.png"), "rb") as g:
            self.assertEqual(f.read(), g.read())

    def test_setup_failures_are_reported(self):
        empty = self.path("empty")
        os.mkdir(empty)
        cases = [
            ("no pictures", sandbox.sandbox_command(["true"], self.log, pictures=empty)),
            ("no command", [sandbox.PYTHON, sandbox.SANDBOX_RUN, "--log", self.log]),
            ("unknown option", [sandbox.PYTHON, sandbox.SANDBOX_RUN, "--bogus", "--", "true"]),
        ]
        for what, cmd in cases:
            r = subprocess.run(cmd, capture_output=True, text=True, timeout=LIMIT)
            self.assertNotEqual(r.returncode, 0, what)
            self.assertTrue(r.stderr, what)


class DisplayTest(unittest.TestCase):
    """A real X server outside; a client inside reaches it by its path socket."""

    @classmethod
    def setUpClass(cls):
        read_end, write_end = os.pipe()
        cls.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "640x480x24", "-nolisten",
             "tcp"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            cls.number = f.readline().strip()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.terminate()
        cls.xvfb.wait()

    def test_display_forms(self):
        n = self.number
        cases = [
            {"what": "plain", "env": {"DISPLAY": ":" + n}, "display": ":" + n},
            {"what": "unix form with screen", "env": {"DISPLAY": "unix:%s.0" % n},
             "display": ":%s.0" % n},
            {"what": "tcp form", "env": {"DISPLAY": "localhost:" + n}, "display": None},
            {"what": "no such display", "env": {"DISPLAY": ":9876"}, "display": None},
            {"what": "none", "env": {}, "display": None},
            {"what": "dead wayland socket", "env": {"WAYLAND_DISPLAY": "wayland-77",
                                                    "XDG_RUNTIME_DIR": "/nonexistent"},
             "display": None, "wayland": None},
        ]
        for c in cases:
            env, description = sandbox.sandbox_display_env(c["env"])
            self.assertEqual(env.get("DISPLAY"), c["display"], c["what"])
            self.assertEqual(env.get("WAYLAND_DISPLAY"), c.get("wayland"), c["what"])
            self.assertEqual(description is not None, c["display"] is not None, c["what"])

    def test_client_inside_reaches_the_display(self):
        with tempfile.TemporaryDirectory() as d:
            env, _ = sandbox.sandbox_display_env(dict(os.environ, DISPLAY=":" + self.number))
            r = subprocess.run(sandbox.sandbox_command(["xdotool", "getdisplaygeometry"],
                                                       os.path.join(d, "log")),
                               env=env, capture_output=True, text=True, timeout=LIMIT)
        self.assertEqual((r.returncode, r.stdout), (0, "640 480\n"), r.stderr)


if __name__ == "__main__":
    flags, reason = sandbox.sandbox_flags()
    if flags is None:
        print("skipped: %s" % reason)
        sys.exit(77)
    unittest.main()
