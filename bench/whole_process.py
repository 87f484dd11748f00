#!/usr/bin/python3
"""Whole-process figures of the viewer beside feh, under a private Xvfb with
icewm (tests/e2e/xsession.py). scripts/bench runs this and reads the JSON it
writes; run by hand:

    bench/whole_process.py --binary B --watch build-bench/bench/paint_watch
        --pipeline build-bench/bench/pipeline_bench --face app/assets/face.png
        --jpeg-url URL --fixtures DIR --runs N --idle-seconds 60 --out FILE

Paints are seen from outside by paint_watch (bench/paint_watch.cpp), which
has the X server's DAMAGE extension report every drawing into the watched
window. Figures (each a list of samples; pairs run alternately, so that
load on the shared machine hits both sides alike):

- startup: process start to the first paint that shows the picture (the
  window not one flat colour), ours vs feh opening the 266 x 255 face PNG.
- peer_job: feh's whole job on the 4000 x 3000 JPEG address (fetch, decode,
  a 189 x 189 window with --scale-down) up to the picture on screen, vs one
  cold in-process pipeline (pipeline_bench --once) on the same address; and
  the resident high-water mark of each (feh read from /proc once it shows).
- whole_program_peak: the program's own high-water mark after showing that
  picture in its window.
- idle: CPU time, wake-ups and paints of the open window over --idle-seconds.
- burst: 100 presses on the picture area at 10 ms spacing while the program
  fetches from the loopback picture server; the longest gap between two
  paints while paint_watch asks for a repaint every 5 ms.

Our program runs in a private network namespace: with no server (start-up,
idle) its fetch fails at once; for the burst and the whole-program memory it
runs in tests/e2e/sandbox-run, whose picture server answers on loopback.
"""

import argparse
import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import sandbox  # noqa: E402
from xsession import XSession  # noqa: E402

WINDOW = "266x255"
FRAME_CENTRE = (40 + 94, 34 + 94)  # the middle of the picture frame
FEH_JOB = ["feh", "-g", "189x189", "--scale-down"]


class Watch:
    """paint_watch running beside the program: its events as they come."""

    def __init__(self, x, binary, *args):
        self.proc = subprocess.Popen([binary, *args], env=x.env(),
                                     stdout=subprocess.PIPE, text=True,
                                     start_new_session=True)
        self.events = []  # (ns, kind, rest...)
        self.cond = threading.Condition()
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()
        if not self.wait(lambda e: e[1] == "ready", 10):
            self.stop()
            raise RuntimeError("paint_watch did not start")

    def _read(self):
        for line in self.proc.stdout:
            parts = line.split()
            if len(parts) < 2:
                continue
            with self.cond:
                self.events.append((int(parts[0]), *parts[1:]))
                self.cond.notify_all()

    def wait(self, predicate, timeout):
        """The first event that satisfies `predicate`, or None at timeout."""
        end = time.monotonic() + timeout
        with self.cond:
            while True:
                for e in self.events:
                    if predicate(e):
                        return e
                left = end - time.monotonic()
                if left <= 0:
                    return None
                self.cond.wait(left)

    def paints(self):
        with self.cond:
            return [e for e in self.events if e[1] == "paint"]

    def window(self):
        e = self.wait(lambda e: e[1] == "window", 0)
        return int(e[2]) if e else None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.thread.join(timeout=5)
        with self.cond:
            return list(self.events)


def end_group(proc):
    """Ends a process group that this script started (start_new_session)."""
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        pass


def first_content_paint(x, watch_bin, argv, isolate, size=WINDOW, timeout=20):
    """Starts argv on the display; (milliseconds from the start to the first
    paint after which its window of `size` is not one flat colour, the
    process's resident high-water mark in KiB half a second later)."""
    w = Watch(x, watch_bin, "--size", size, "--content", "--seconds",
              str(timeout + 5))
    t0 = time.monotonic_ns()
    # Both unshare (without --fork) and the programs exec in place: the pid
    # is the program's own.
    p = x.run(argv, isolate_network=isolate, stdout=subprocess.DEVNULL,
              stderr=subprocess.DEVNULL)
    try:
        e = w.wait(lambda e: e[1] == "paint" and e[-1] == "content", timeout)
        if e is None:
            return None, None
        time.sleep(0.5)
        try:
            hwm = status_kib(p.pid, "VmHWM")
        except OSError:
            hwm = None
        return (e[0] - t0) / 1e6, hwm
    finally:
        end_group(p)
        w.stop()


def startup(x, a, runs):
    ours, feh, ours_kib, feh_kib = [], [], [], []
    for i in range(runs):
        pair = [("ours", [a.binary], True),
                ("feh", ["feh", "-g", WINDOW, a.face], True)]
        if i % 2:
            pair.reverse()
        for name, argv, isolate in pair:
            ms, hwm = first_content_paint(x, a.watch, argv, isolate)
            (ours if name == "ours" else feh).append(ms)
            (ours_kib if name == "ours" else feh_kib).append(hwm)
    return {"ours_ms": ours, "feh_ms": feh, "ours_hwm_kib": ours_kib,
            "feh_hwm_kib": feh_kib}


def peer_job(x, a, runs):
    """feh's job on the JPEG address, from its start to the picture in its
    189 x 189 window, vs one cold pipeline in a fresh process."""
    out = {"feh_ms": [], "feh_hwm_kib": [], "ours_once_ms": [],
           "ours_hwm_kib": []}
    for i in range(runs):
        order = ["feh", "ours"] if i % 2 == 0 else ["ours", "feh"]
        for side in order:
            if side == "feh":
                ms, hwm = first_content_paint(x, a.watch,
                                              FEH_JOB + [a.jpeg_url], False,
                                              size="189x189")
                out["feh_ms"].append(ms)
                out["feh_hwm_kib"].append(hwm)
            else:
                r = subprocess.run([a.pipeline, "--once=" + a.jpeg_url],
                                   capture_output=True, text=True, timeout=60)
                once = json.loads(r.stdout) if r.returncode == 0 else {}
                out["ours_once_ms"].append(once.get("ms"))
                out["ours_hwm_kib"].append(once.get("hwm_kib"))
    return out


def proc_stat(pid):
    """(utime + stime ticks, voluntary context switches) of a process."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])
    switches = 0
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("voluntary_ctxt_switches:"):
                switches = int(line.split()[1])
    return ticks, switches


def idle(x, a, seconds):
    """The open window left alone: CPU, wake-ups and paints over `seconds`,
    after its start-up and its first (failing) fetch are over."""
    w = Watch(x, a.watch, "--size", WINDOW, "--seconds", str(seconds + 30))
    # unshare --net execs the program: the pid is the program's own.
    p = x.run([a.binary], isolate_network=True, stdout=subprocess.DEVNULL,
              stderr=subprocess.DEVNULL)
    try:
        if w.wait(lambda e: e[1] == "paint", 20) is None:
            return {"error": "the window never painted"}
        time.sleep(3)
        start_paints = len(w.paints())
        t0, s0 = proc_stat(p.pid)
        time.sleep(seconds)
        t1, s1 = proc_stat(p.pid)
        hz = os.sysconf("SC_CLK_TCK")
        return {"seconds": seconds, "cpu_ticks": t1 - t0, "ticks_per_s": hz,
                "cpu_percent": 100.0 * (t1 - t0) / (seconds * hz),
                "wakeups": s1 - s0, "paints": len(w.paints()) - start_paints}
    finally:
        end_group(p)
        w.stop()


def descendants(pid):
    """Every process below `pid`, from /proc."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
                children.setdefault(ppid, []).append(int(entry))
            except (OSError, ValueError, IndexError):
                pass
    found, todo = [], [pid]
    while todo:
        for c in children.get(todo.pop(), []):
            found.append(c)
            todo.append(c)
    return found


def program_pid(root_pid, binary):
    real = os.path.realpath(binary)
    for pid in descendants(root_pid):
        try:
            if os.path.realpath(f"/proc/{pid}/exe") == real:
                return pid
        except OSError:
            pass
    return None


def status_kib(pid, field):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return None


def in_sandbox(x, a, server_args, log):
    argv = sandbox.sandbox_command([a.binary], log, pictures=a.fixtures,
                                   server_args=server_args)
    return x.run(argv, isolate_network=False, stdout=subprocess.DEVNULL,
                 stderr=subprocess.DEVNULL)


def whole_program_peak(x, a, runs):
    """The program's own high-water mark after it fetched and showed the
    4000 x 3000 JPEG (the sandbox's server gives it to every address; a draw
    past the list's end shows nothing, so the run is retried)."""
    peaks = []
    for _ in range(runs):
        with tempfile.TemporaryDirectory() as d:
            log = os.path.join(d, "server.log")
            w = Watch(x, a.watch, "--size", WINDOW, "--seconds", "60")
            p = in_sandbox(x, a, ["--picture", "big.jpg"], log)
            try:
                peak = rss = None
                end = time.monotonic() + 40
                while time.monotonic() < end:
                    reqs = [r for r in sandbox.picture_requests(log)
                            if r.get("answer", {}).get("status") == 200]
                    if reqs and w.paints():
                        break
                    time.sleep(0.1)
                wid = w.window()
                pid = program_pid(p.pid, a.binary)
                if reqs and pid:
                    # The picture lands a moment after the server answered.
                    time.sleep(2)
                    peak = status_kib(pid, "VmHWM")
                    rss = status_kib(pid, "VmRSS")
                peaks.append({"peak_kib": peak, "rss_kib": rss,
                              "fetched": bool(reqs), "window": wid})
            finally:
                end_group(p)
                w.stop()
    return peaks


def press_burst(x, a, presses=100, spacing_ms=10, probe_ms=5):
    """Longest gap between two paints while `presses` presses start as many
    fetches from the loopback picture server."""
    with tempfile.TemporaryDirectory() as d:
        log = os.path.join(d, "server.log")
        w = Watch(x, a.watch, "--size", WINDOW, "--probe-ms", str(probe_ms),
                  "--seconds", "90")
        p = in_sandbox(x, a, a.burst_server_args, log)
        try:
            if w.wait(lambda e: e[1] == "paint", 30) is None:
                return {"error": "the window never painted"}
            wid = w.window()
            time.sleep(2)  # the first fetch (on activation) is done
            gx, gy, _, _ = x.geometry(wid)
            x.move(gx + FRAME_CENTRE[0], gy + FRAME_CENTRE[1])
            # A second of probes alone: each should be answered by a paint.
            before = len(w.paints())
            time.sleep(1)
            calm_paints = len(w.paints()) - before
            t_start = time.monotonic_ns()
            x.xdotool("click", "--repeat", presses, "--delay", spacing_ms, 1)
            t_clicked = time.monotonic_ns()
            # Let the fetches finish: the server's log stops growing.
            last, still = -1, 0
            while still < 10 and time.monotonic_ns() - t_clicked < 30e9:
                n = len(sandbox.read_log(log))
                still = still + 1 if n == last else 0
                last = n
                time.sleep(0.2)
            t_end = time.monotonic_ns()
            times = [e[0] for e in w.paints() if t_start <= e[0] <= t_end]
            gaps = [(b - a_) / 1e6 for a_, b in zip(times, times[1:])]
            if times:
                gaps.insert(0, (times[0] - t_start) / 1e6)
            reqs = sandbox.picture_requests(log)
            return {"presses": presses, "spacing_ms": spacing_ms,
                    "probe_ms": probe_ms,
                    "calm_paints_per_s": calm_paints,
                    "burst_s": (t_end - t_start) / 1e9,
                    "paints": len(times),
                    "max_gap_ms": max(gaps) if gaps else None,
                    "gaps_over_50ms": sum(1 for g in gaps if g > 50),
                    "picture_requests": len(reqs)}
        finally:
            end_group(p)
            w.stop()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--binary", required=True)
    ap.add_argument("--watch", required=True)
    ap.add_argument("--pipeline", required=True)
    ap.add_argument("--face", required=True)
    ap.add_argument("--jpeg-url", required=True)
    ap.add_argument("--fixtures", required=True)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--idle-seconds", type=int, default=60)
    ap.add_argument("--only", default="startup,peer_job,idle,burst,peak")
    ap.add_argument("--burst-pictures", default="demo",
                    help="demo: the demo corpus; big: the 4000 x 3000 JPEG")
    ap.add_argument("--bursts", type=int, default=3)
    ap.add_argument("--out", required=True)
    a = ap.parse_args()
    a.burst_server_args = []
    if a.burst_pictures == "big":
        a.burst_server_args = ["--picture", "big.jpg"]
    only = set(a.only.split(","))
    result = {}
    with XSession() as x:
        if "startup" in only:
            result["startup"] = startup(x, a, a.runs)
        if "peer_job" in only:
            result["peer_job"] = peer_job(x, a, a.runs)
        if "peak" in only:
            result["whole_program_peak"] = whole_program_peak(x, a, 3)
        if "idle" in only:
            result["idle"] = idle(x, a, a.idle_seconds)
        if "burst" in only:
            saved = a.fixtures
            if a.burst_pictures != "big":
                a.fixtures = sandbox.DEFAULT_PICTURES
            result["burst"] = [press_burst(x, a) for _ in range(a.bursts)]
            a.fixtures = saved
    with open(a.out, "w") as f:
        json.dump(result, f, indent=1)


if __name__ == "__main__":
    main()
