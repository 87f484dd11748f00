#!/usr/bin/python3
"""Tests of the picture server, run against real instances on 127.0.0.1 with
free ports. Each test starts its own server process and ends it."""

import http.client
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "picture_server.py")
CORPUS = os.path.join(HERE, "demo_corpus")
sys.path.insert(0, HERE)
import picture_server  # noqa: E402

ADDRESS = ("/net/a/36/link?appid=36&url=https%3A%2F%2Fimg03.kestrune.example"
           "%2F0123456789abcdef")
LONG_ADDRESS = ("/net/a/36/link?appid=36&url=https%3A%2F%2Fimg01.kestrune.example"
                "%2F20190205%2F0a1b2c3d-4e5f60-718293a4.jpg")


class Server:
    """One server process on a free loopback port, with its log."""

    def __init__(self, *args):
        self.dir = tempfile.TemporaryDirectory()
        self.log = os.path.join(self.dir.name, "requests.log")
        port_file = os.path.join(self.dir.name, "port")
        self.control_file = os.path.join(self.dir.name, "control")
        self.proc = subprocess.Popen(
            [sys.executable, SERVER, "--pictures", CORPUS, "--log", self.log,
             "--port-file", port_file, "--control-file", self.control_file, *args],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        for _ in range(200):
            if os.path.exists(port_file) or self.proc.poll() is not None:
                break
            time.sleep(0.05)
        if not os.path.exists(port_file):
            self.stop()
            raise RuntimeError("server did not start: %s" % self.proc.stderr.read())
        with open(port_file) as f:
            self.port = int(f.read())

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stderr.close()
        self.dir.cleanup()

    def get(self, target, headers=None, timeout=10):
        """(status, headers dict, body) of one GET on a fresh connection."""
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            conn.request("GET", target, headers=headers or {})
            r = conn.getresponse()
            return r.status, dict(r.getheaders()), r.read()
        finally:
            conn.close()

    def raw(self, data, timeout=10):
        """Everything the server sends back to `data` until it closes."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as s:
            s.sendall(data)
            chunks = []
            try:
                while True:
                    c = s.recv(65536)
                    if not c:
                        break
                    chunks.append(c)
            except socket.timeout:
                chunks.append(b"<timeout>")
            return b"".join(chunks)

    def records(self):
        with open(self.log, encoding="utf-8") as f:
            return [json.loads(line) for line in f]


def corpus_file(name):
    with open(os.path.join(CORPUS, name), "rb") as f:
        return f.read()


class PictureServerTest(unittest.TestCase):
    def setUp(self):
        self.server = Server()

    def tearDown(self):
        self.server.stop()

    def test_serves_the_hashed_picture_with_its_type(self):
        pictures = picture_server.load_pictures(CORPUS)
        for target in (ADDRESS, LONG_ADDRESS):
            url = target.split("url=", 1)[1]
            name, ctype, data = pictures[picture_server.pick_index(url, len(pictures))]
            status, headers, body = self.server.get(target)
            self.assertEqual(status, 200, target)
            self.assertEqual(headers["Content-Type"], ctype, target)
            self.assertEqual(body, data, target)
            self.assertEqual(self.server.get(target)[2], data, target + " again")

    def test_addresses_spread_over_the_folder(self):
        count = len(picture_server.load_pictures(CORPUS))
        picks = {picture_server.pick_index("https%3A%2F%2Fimg02.kestrune.example%2F" + "%016x" % i,
                                           count) for i in range(200)}
        self.assertEqual(len(picks), count)

    def test_logs_the_request_head_as_sent(self):
        head = ("GET %s HTTP/1.1\r\nHost: pictures.yarrowlit.example\r\n"
                "User-Agent: Mozilla/4.0 (compatible)\r\nAccept: */*\r\n"
                "referer: x\r\nAccept-Language: zh-cn\r\nConnection: close\r\n\r\n" % ADDRESS)
        answer = self.server.raw(head.encode())
        self.assertTrue(answer.startswith(b"HTTP/1.1 200 OK\r\n"))
        (rec,) = self.server.records()
        self.assertEqual(rec["kind"], "picture")
        self.assertEqual(rec["raw"], head)
        self.assertEqual(rec["request_line"], "GET %s HTTP/1.1" % ADDRESS)
        self.assertEqual(rec["headers"], [
            ["Host", "pictures.yarrowlit.example"], ["User-Agent", "Mozilla/4.0 (compatible)"],
            ["Accept", "*/*"], ["referer", "x"], ["Accept-Language", "zh-cn"],
            ["Connection", "close"]])
        self.assertEqual(rec["url"], ADDRESS.split("url=", 1)[1])
        self.assertEqual(rec["answer"]["status"], 200)
        self.assertEqual(rec["seq"], 1)

    def test_modes_switched_by_control_request(self):
        cases = [
            {"what": "error page", "query": "mode=error", "status": 500,
             "type": "text/html; charset=utf-8", "body_has": b"<html>"},
            {"what": "empty body", "query": "mode=empty", "status": 200, "length": 0},
            {"what": "fixed delay", "query": "mode=slow&delay=0.3", "status": 200, "delay": 0.3},
            {"what": "random delay", "query": "mode=slow&delay_min=0.1&delay_max=0.2",
             "status": 200, "delay_range": (0.1, 0.2)},
            {"what": "back to normal", "query": "reset=1", "status": 200, "delay": 0.0},
        ]
        for c in cases:
            status, _, body = self.server.get("/__control?" + c["query"])
            self.assertEqual(status, 200, c["what"])
            self.assertEqual(json.loads(body)["mode"], c["query"].split("&")[0].split("=")[1]
                             if c["query"].startswith("mode=") else "normal", c["what"])
            started = time.monotonic()
            status, headers, body = self.server.get(ADDRESS)
            elapsed = time.monotonic() - started
            self.assertEqual(status, c["status"], c["what"])
            self.assertEqual(int(headers["Content-Length"]), len(body), c["what"])
            if "type" in c:
                self.assertEqual(headers["Content-Type"], c["type"], c["what"])
            if "body_has" in c:
                self.assertIn(c["body_has"], body, c["what"])
            if "length" in c:
                self.assertEqual(len(body), c["length"], c["what"])
            answer = self.server.records()[-1]["answer"]
            if "delay" in c:
                self.assertEqual(answer["delay"], c["delay"], c["what"])
                self.assertGreaterEqual(elapsed, c["delay"], c["what"])
            if "delay_range" in c:
                low, high = c["delay_range"]
                self.assertTrue(low <= answer["delay"] <= high, c["what"])

    def test_truncated_answer_ends_early(self):
        self.server.get("/__control?mode=truncated")
        answer = self.server.raw(("GET %s HTTP/1.1\r\nHost: a\r\n\r\n" % ADDRESS).encode())
        head, _, body = answer.partition(b"\r\n\r\n")
        length = int([h for h in head.split(b"\r\n") if h.startswith(b"Content-Length")][0]
                     .split(b":")[1])
        self.assertEqual(len(body), length // 2)

    def test_silent_mode_never_answers_but_logs(self):
        self.server.get("/__control?mode=silent")
        answer = self.server.raw(("GET %s HTTP/1.1\r\nHost: a\r\n\r\n" % ADDRESS).encode(),
                                 timeout=1.0)
        self.assertEqual(answer, b"<timeout>")
        rec = self.server.records()[-1]
        self.assertEqual((rec["kind"], rec["answer"]["mode"]), ("picture", "silent"))

    def test_silent_connections_do_not_hold_up_others(self):
        self.server.get("/__control?mode=silent")
        held = [socket.create_connection(("127.0.0.1", self.server.port)) for _ in range(5)]
        for s in held:
            s.sendall(("GET %s HTTP/1.1\r\nHost: a\r\n\r\n" % ADDRESS).encode())
        try:
            self.server.get("/__control?mode=normal")
            results = []

            def fetch():
                results.append(self.server.get(ADDRESS)[0])

            threads = [threading.Thread(target=fetch) for _ in range(20)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            self.assertEqual(results, [200] * 20)
        finally:
            for s in held:
                s.close()

    def test_first_delay_makes_the_first_fetch_finish_last(self):
        self.server.get("/__control?first_delay=1.5")
        finished = []

        def fetch(label):
            self.server.get(ADDRESS)
            finished.append(label)

        first = threading.Thread(target=fetch, args=("first",))
        first.start()
        while not any(r["kind"] == "picture" for r in self.server.records()):
            time.sleep(0.02)
        fetch("second")
        first.join()
        self.assertEqual(finished, ["second", "first"])
        delays = [r["answer"]["delay"] for r in self.server.records() if r["kind"] == "picture"]
        self.assertEqual(delays, [1.5, 0.0])

    def test_control_file_steers_the_server(self):
        cases = [("mode=error", 500), ("mode=empty", 200), ("", 200), ("mode=error", 500)]
        for query, status in cases:
            with open(self.server.control_file + ".tmp", "w") as f:
                f.write(query + "\n")
            os.replace(self.server.control_file + ".tmp", self.server.control_file)
            self.assertEqual(self.server.get(ADDRESS)[0], status, repr(query))

    def test_bad_control_queries_change_nothing(self):
        self.server.get("/__control?mode=slow&delay=0.25")
        for query in ("mode=bogus", "delay=-1", "delay=nan", "delay=1e9", "delay_min=1",
                      "delay_min=2&delay_max=1", "picture=missing.png", "colour=red",
                      "seed=x", "mode=error&delay=x"):
            status, _, body = self.server.get("/__control?" + query)
            self.assertEqual(status, 400, query)
            self.assertIn("error", json.loads(body), query)
            settings = json.loads(self.server.get("/__control")[2])
            self.assertEqual((settings["mode"], settings["delay"]), ("slow", 0.25), query)

    def test_fixed_picture_for_every_address(self):
        self.server.get("/__control?picture=dragon_dance.png")
        for target in (ADDRESS, LONG_ADDRESS):
            status, headers, body = self.server.get(target)
            self.assertEqual(body, corpus_file("dragon_dance.png"), target)
        self.server.get("/__control?picture=")
        self.assertNotEqual(self.server.get(ADDRESS)[2], corpus_file("dragon_dance.png"))

    def test_persistent_connection_serves_several_requests(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=10)
        try:
            for _ in range(3):
                conn.request("GET", ADDRESS)
                r = conn.getresponse()
                self.assertEqual(r.status, 200)
                r.read()
        finally:
            conn.close()
        self.assertEqual(len({r["client"] for r in self.server.records()}), 1)

    def test_absolute_form_target(self):
        status, _, body = self.server.get("http://pictures.yarrowlit.example" + ADDRESS)
        self.assertEqual(status, 200)
        self.assertEqual(self.server.records()[-1]["kind"], "picture")

    def test_bad_requests_get_an_answer_and_a_log_line(self):
        cases = [
            {"what": "not http", "data": b"hello\r\n\r\n", "status": b"400", "kind": "bad"},
            {"what": "bad version", "data": b"GET / SPDY/3\r\n\r\n", "status": b"400",
             "kind": "bad"},
            {"what": "head too long", "data": b"GET / HTTP/1.1\r\nX: " + b"a" * 70000,
             "status": b"431", "kind": "bad"},
            {"what": "head cut off", "data": b"GET / HTTP/1.1\r\nHost: a\r\n", "status": b"400",
             "kind": "bad", "half_close": True},
            {"what": "chunked body", "data": ("POST %s HTTP/1.1\r\nTransfer-Encoding: chunked"
                                              "\r\n\r\n0\r\n\r\n" % ADDRESS).encode(),
             "status": b"501", "kind": "bad"},
            {"what": "huge body", "data": ("POST %s HTTP/1.1\r\nContent-Length: 99999999999"
                                           "\r\n\r\n" % ADDRESS).encode(),
             "status": b"413", "kind": "bad"},
            {"what": "negative length", "data": ("GET %s HTTP/1.1\r\nContent-Length: -5"
                                                 "\r\n\r\n" % ADDRESS).encode(),
             "status": b"413", "kind": "bad"},
            {"what": "other path", "data": b"GET /favicon.ico HTTP/1.1\r\nConnection: close"
             b"\r\n\r\n", "status": b"404", "kind": "other"},
            {"what": "no address", "data": b"GET /net/a/36/link?appid=36 HTTP/1.1\r\n"
             b"Connection: close\r\n\r\n", "status": b"404", "kind": "picture"},
            {"what": "post", "data": ("POST %s HTTP/1.1\r\nContent-Length: 3\r\n"
                                      "Connection: close\r\n\r\na=1" % ADDRESS).encode(),
             "status": b"405", "kind": "picture"},
            {"what": "non-latin bytes", "data": b"GET /\xc6\xf0 HTTP/1.1\r\nX: \xff\r\n"
             b"Connection: close\r\n\r\n", "status": b"404", "kind": "other"},
        ]
        for c in cases:
            with socket.create_connection(("127.0.0.1", self.server.port), timeout=10) as s:
                s.sendall(c["data"])
                if c.get("half_close"):
                    s.shutdown(socket.SHUT_WR)
                answer = b""
                while True:
                    chunk = s.recv(65536)
                    if not chunk:
                        break
                    answer += chunk
            self.assertTrue(answer.startswith(b"HTTP/1.1 " + c["status"]), c["what"])
            self.assertEqual(self.server.records()[-1]["kind"], c["kind"], c["what"])
        self.assertEqual(self.server.get(ADDRESS)[0], 200, "still serving")


class StartUpTest(unittest.TestCase):
    def test_command_line_settings(self):
        cases = [
            {"what": "error mode", "args": ["--mode", "error"], "status": 500},
            {"what": "fixed picture", "args": ["--picture", "lanterns.png"], "status": 200,
             "body": corpus_file("lanterns.png")},
            {"what": "first delay", "args": ["--first-delay", "0.2"], "status": 200,
             "delays": [0.2, 0.0]},
        ]
        for c in cases:
            server = Server(*c["args"])
            try:
                status, _, body = server.get(ADDRESS)
                self.assertEqual(status, c["status"], c["what"])
                if "body" in c:
                    self.assertEqual(body, c["body"], c["what"])
                if "delays" in c:
                    server.get(ADDRESS)
                    self.assertEqual([r["answer"]["delay"] for r in server.records()],
                                     c["delays"], c["what"])
            finally:
                server.stop()

    def test_refuses_bad_command_lines(self):
        with tempfile.TemporaryDirectory() as empty:
            cases = [
                ("empty folder", ["--pictures", empty]),
                ("unknown picture", ["--pictures", CORPUS, "--picture", "nope.png"]),
                ("reversed range", ["--pictures", CORPUS, "--delay-range", "2", "1"]),
                ("negative delay", ["--pictures", CORPUS, "--delay", "-1"]),
            ]
            for what, args in cases:
                r = subprocess.run([sys.executable, SERVER, "--log", os.path.join(empty, "l"),
                                    *args], capture_output=True, timeout=30)
                self.assertNotEqual(r.returncode, 0, what)
                self.assertTrue(r.stderr, what)

    def test_ends_on_sigterm_with_a_silent_connection_open(self):
        server = Server("--mode", "silent")
        try:
            with socket.create_connection(("127.0.0.1", server.port)) as s:
                s.sendall(("GET %s HTTP/1.1\r\nHost: a\r\n\r\n" % ADDRESS).encode())
                while not server.records():
                    time.sleep(0.02)
                server.proc.send_signal(signal.SIGTERM)
                self.assertEqual(server.proc.wait(30), 0)
        finally:
            server.stop()


if __name__ == "__main__":
    unittest.main()
