#!/usr/bin/python3
"""A stand-in for the image proxy that the viewer's built-in addresses name.

Start (standard library only):

    /usr/bin/python3 tools/picture_server.py --pictures tools/demo_corpus --log LOG
        [--bind 127.0.0.1] [--port 0] [--port-file FILE] [--control-file FILE]
        [--mode normal|slow|error|empty|truncated|silent] [--delay S]
        [--delay-range MIN MAX] [--first-delay S] [--picture NAME] [--seed N]

Port 0 takes a free port. Once it listens the server writes the port number to
--port-file (atomically, by rename) and prints "listening on HOST:PORT" on
standard output. SIGTERM or SIGINT ends it.

What it answers (HTTP/1.1, persistent connections, one thread per connection):

    GET /net/a/36/link?appid=36&url=<encoded address>
        a picture of the --pictures folder (.png .jpg .jpeg .gif .bmp .ico .pcx),
        picked by a SHA-256 of the encoded address exactly as it appears in the
        request, so the same address always gets the same picture; Content-Type
        from the file's extension. The mode decides the answer:
          normal     200 and the picture
          slow       the same after a delay: --delay S, or a random delay in
                     --delay-range MIN MAX
          error      500 with a small HTML page
          empty      200 with Content-Length 0
          truncated  200 announcing the whole picture, half of it sent, closed
          silent     reads the request and never answers; the connection stays
                     open until the client gives up or the server ends
        --first-delay S delays the next picture request (once) by S seconds on
        top of the mode's own delay, so the first of two fetches finishes last.
        --picture NAME serves that file to every address instead of the hash.
    GET /__control?mode=slow&delay=2 (also delay_min, delay_max, first_delay,
        picture, seed; reset=1 returns to the start-up settings first)
        changes the settings for every later request and answers 200 with the
        settings as JSON; a bad value answers 400 and changes nothing.
        GET /__control alone reports them.
    anything else: 404.

The same settings can come from --control-file: a file holding one query in
the syntax above ("mode=error" or "mode=slow&delay_min=1&delay_max=3"). It is
read again whenever it changes, checked as each request arrives, so a process
that cannot reach the server's port (outside a network namespace) can steer it.

The log (--log) gets one JSON object per line for every request, written and
flushed when the request head has been read, before any delay or answer:

    {"seq": 1, "time": 1700000000.25, "client": "127.0.0.1:40112",
     "kind": "picture" | "control" | "other" | "bad",
     "request_line": "GET /net/a/36/link?... HTTP/1.1",
     "method": "GET", "target": "/net/...", "version": "HTTP/1.1",
     "headers": [["Host", "pictures.yarrowlit.example"], ...],  (as sent, in order)
     "raw": "GET ...\\r\\nHost: ...\\r\\n\\r\\n",  (the head byte for byte, Latin-1)
     "body_length": 0,
     "url": "https%3A%2F%2Fimg03...",  (picture requests: the encoded address)
     "answer": {"mode": "normal", "status": 200, "picture": "lanterns.png",
                "content_type": "image/png", "length": 804, "delay": 0.0}}

A head larger than 64 KiB, a request body over 1 MiB, a chunked request body
or a malformed request line gets a 4xx/5xx answer and the connection closes.
"""

import argparse
import hashlib
import json
import os
import random
import signal
import socket
import socketserver
import sys
import threading
import time
from urllib.parse import unquote_plus

CONTROL_PATH = "/__control"
PICTURE_PATH = "/net/a/36/link"
MODES = ("normal", "slow", "error", "empty", "truncated", "silent")
CONTENT_TYPES = {
    ".png": "image/png",
    ".jpg": "image/jpeg",
    ".jpeg": "image/jpeg",
    ".gif": "image/gif",
    ".bmp": "image/bmp",
    ".ico": "image/x-icon",
    ".pcx": "image/x-pcx",
}
MAX_HEAD = 64 * 1024
MAX_BODY = 1024 * 1024
MAX_PICTURE = 16 * 1024 * 1024
IDLE_SECONDS = 30.0
MAX_DELAY = 3600.0
ERROR_PAGE = (b"<!DOCTYPE html>\n<html><head><title>500 Internal Server Error</title></head>\n"
              b"<body><h1>Internal Server Error</h1><p>The picture could not be fetched.</p>"
              b"</body></html>\n")
REASONS = {200: "OK", 400: "Bad Request", 404: "Not Found", 405: "Method Not Allowed",
           413: "Payload Too Large", 431: "Request Header Fields Too Large",
           500: "Internal Server Error", 501: "Not Implemented"}


def load_pictures(folder):
    """[(name, content type, bytes)] of the folder's pictures, sorted by name."""
    pictures = []
    for name in sorted(os.listdir(folder)):
        ctype = CONTENT_TYPES.get(os.path.splitext(name)[1].lower())
        path = os.path.join(folder, name)
        if ctype is None or not os.path.isfile(path) or os.path.getsize(path) > MAX_PICTURE:
            continue
        with open(path, "rb") as f:
            pictures.append((name, ctype, f.read()))
    return pictures


def pick_index(encoded_url, count):
    """Which of `count` pictures an encoded address gets; stable across runs."""
    digest = hashlib.sha256(encoded_url.encode("latin-1")).digest()
    return int.from_bytes(digest[:8], "big") % count


def default_settings():
    return {"mode": "normal", "delay": 0.0, "delay_min": None, "delay_max": None,
            "first_delay": 0.0, "picture": None}


def parse_query(query):
    """[(name, value)] of a query string, values left encoded."""
    pairs = []
    for part in query.split("&"):
        if part:
            name, _, value = part.partition("=")
            pairs.append((name, value))
    return pairs


def _seconds(text):
    value = float(text)
    if not (0.0 <= value <= MAX_DELAY):  # also refuses nan
        raise ValueError("delay out of range: %r" % text)
    return value


def apply_control(settings, query, start_settings, picture_names):
    """The settings after a control query, or (None, reason) when it is bad.

    Returns (new settings, seed or None, error text or None); `settings` itself
    is not changed, so a bad query leaves everything as it was.
    """
    new = dict(settings)
    seed = None
    try:
        for name, value in parse_query(query):
            value = unquote_plus(value)
            if name == "reset":
                if value not in ("", "0"):
                    new = dict(start_settings)
            elif name == "mode":
                if value not in MODES:
                    raise ValueError("unknown mode %r" % value)
                new["mode"] = value
            elif name == "delay":
                new["delay"] = _seconds(value)
                new["delay_min"] = new["delay_max"] = None
            elif name in ("delay_min", "delay_max", "first_delay"):
                new[name] = _seconds(value)
            elif name == "picture":
                if value and value not in picture_names:
                    raise ValueError("no picture named %r" % value)
                new["picture"] = value or None
            elif name == "seed":
                seed = int(value)
            else:
                raise ValueError("unknown setting %r" % name)
        if (new["delay_min"] is None) != (new["delay_max"] is None):
            raise ValueError("delay_min and delay_max go together")
        if new["delay_min"] is not None and new["delay_min"] > new["delay_max"]:
            raise ValueError("delay_min is above delay_max")
    except ValueError as e:
        return None, None, str(e)
    return new, seed, None


class PictureServer(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True
    block_on_close = False
    request_queue_size = 128

    def __init__(self, address, pictures, log_path, settings, control_file=None, seed=0):
        self.address_family = socket.AF_INET6 if ":" in address[0] else socket.AF_INET
        self.pictures = pictures
        self.picture_names = {p[0] for p in pictures}
        self.start_settings = dict(settings)
        self.settings = dict(settings)
        self.control_file = control_file
        self.control_stamp = None
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.rng = random.Random(seed)
        self.seq = 0
        self.log = open(log_path, "a", encoding="utf-8")
        super().__init__(address, PictureHandler)

    # Settings -------------------------------------------------------------

    def refresh_control_file(self):
        """Applies the control file if it changed since it was last read.
        REQUIRES: self.lock held."""
        if not self.control_file:
            return
        try:
            st = os.stat(self.control_file)
            stamp = (st.st_mtime_ns, st.st_size, st.st_ino)
            if stamp == self.control_stamp:
                return
            with open(self.control_file, "r", encoding="utf-8", errors="replace") as f:
                query = f.read(4096).strip()
        except OSError:
            return
        self.control_stamp = stamp
        new, seed, error = apply_control(self.settings, query, self.start_settings,
                                         self.picture_names)
        if error:
            print("picture server: control file ignored: %s" % error, file=sys.stderr, flush=True)
            return
        self.settings = new
        if seed is not None:
            self.rng.seed(seed)

    def control(self, query):
        """(status, JSON body) for a control request."""
        with self.lock:
            self.refresh_control_file()
            new, seed, error = apply_control(self.settings, query, self.start_settings,
                                             self.picture_names)
            if error:
                return 400, json.dumps({"error": error}).encode() + b"\n"
            self.settings = new
            if seed is not None:
                self.rng.seed(seed)
            return 200, json.dumps(self.settings, sort_keys=True).encode() + b"\n"

    def plan_picture(self, encoded_url):
        """The answer to one picture request, decided as it arrives."""
        with self.lock:
            self.refresh_control_file()
            s = self.settings
            if s["picture"]:
                index = next(i for i, p in enumerate(self.pictures) if p[0] == s["picture"])
            else:
                index = pick_index(encoded_url, len(self.pictures))
            delay = 0.0
            if s["mode"] == "slow":
                if s["delay_min"] is not None:
                    delay = self.rng.uniform(s["delay_min"], s["delay_max"])
                else:
                    delay = s["delay"]
            if s["first_delay"]:
                delay += s["first_delay"]
                s["first_delay"] = 0.0
            mode = s["mode"]
        name, ctype, data = self.pictures[index]
        answer = {"mode": mode, "status": 200, "picture": name, "content_type": ctype,
                  "length": len(data), "delay": round(delay, 3)}
        if mode == "error":
            answer.update(status=500, content_type="text/html; charset=utf-8",
                          length=len(ERROR_PAGE))
        elif mode == "empty":
            answer["length"] = 0
        elif mode == "silent":
            answer.update(status=None, length=None)
        return answer, data

    # Log ------------------------------------------------------------------

    def write_log(self, record):
        with self.lock:
            if self.log.closed:
                return
            self.seq += 1
            record = dict(seq=self.seq, time=round(time.time(), 3), **record)
            self.log.write(json.dumps(record, ensure_ascii=True) + "\n")
            self.log.flush()

    def server_close(self):
        super().server_close()
        with self.lock:
            self.log.close()


class PictureHandler(socketserver.BaseRequestHandler):
    """One connection: requests in turn until it closes or goes idle."""

    def setup(self):
        self.buffer = b""
        self.request.settimeout(IDLE_SECONDS)
        host, port = self.client_address[:2]
        self.client = "%s:%d" % (host, port)

    def handle(self):
        try:
            while not self.server.stopping.is_set():
                if not self.one_request():
                    break
        except (OSError, socket.timeout):
            pass

    def read_head(self):
        """The request head up to its blank line, (head, complete)."""
        while True:
            end = self.buffer.find(b"\r\n\r\n")
            lf_end = self.buffer.find(b"\n\n")
            if end >= 0 and (lf_end < 0 or end < lf_end):
                head, self.buffer = self.buffer[:end + 4], self.buffer[end + 4:]
                return head, True
            if lf_end >= 0:
                head, self.buffer = self.buffer[:lf_end + 2], self.buffer[lf_end + 2:]
                return head, True
            if len(self.buffer) > MAX_HEAD:
                return self.buffer[:MAX_HEAD], False
            chunk = self.request.recv(65536)
            if not chunk:
                return self.buffer, False
            self.buffer += chunk

    def read_body(self, length):
        while len(self.buffer) < length:
            chunk = self.request.recv(65536)
            if not chunk:
                return False
            self.buffer += chunk
        self.buffer = self.buffer[length:]
        return True

    def one_request(self):
        """Serves one request; False when the connection should close."""
        # Blank lines before a request line are tolerated, as servers do.
        while self.buffer.startswith(b"\r\n") or self.buffer.startswith(b"\n"):
            self.buffer = self.buffer[2 if self.buffer.startswith(b"\r\n") else 1:]
        head, complete = self.read_head()
        if not head:
            return False
        text = head.decode("latin-1")
        lines = text.replace("\r\n", "\n").split("\n")
        request_line = lines[0]
        headers = parse_headers(lines[1:])
        record = {"client": self.client, "kind": "bad", "request_line": request_line,
                  "method": "", "target": "", "version": "", "headers": headers, "raw": text,
                  "body_length": 0}
        if not complete:
            status = 431 if len(head) >= MAX_HEAD else 400
            record["answer"] = {"status": status, "note": "incomplete request head"}
            self.server.write_log(record)
            self.send(status, "text/plain", b"bad request\n", close=True)
            return False
        parts = request_line.split(" ")
        if len(parts) != 3 or not parts[2].startswith("HTTP/1.") or not parts[0].isalpha():
            record["answer"] = {"status": 400, "note": "malformed request line"}
            self.server.write_log(record)
            self.send(400, "text/plain", b"bad request\n", close=True)
            return False
        method, target, version = parts
        record.update(method=method, target=target, version=version)
        keep_alive = wants_keep_alive(version, headers)

        # A request body is read and dropped; its framing must be sound.
        length_text = header_value(headers, "Content-Length")
        if header_value(headers, "Transfer-Encoding") is not None:
            record["answer"] = {"status": 501, "note": "chunked request body"}
            self.server.write_log(record)
            self.send(501, "text/plain", b"request bodies must have a length\n", close=True)
            return False
        if length_text is not None:
            if not length_text.isdigit() or int(length_text) > MAX_BODY:
                record["answer"] = {"status": 413, "note": "request body length refused"}
                self.server.write_log(record)
                self.send(413, "text/plain", b"request body refused\n", close=True)
                return False
            record["body_length"] = int(length_text)

        path, query = split_target(target)
        if path == CONTROL_PATH:
            record["kind"] = "control"
            status, body = self.server.control(query)
            record["answer"] = {"status": status}
            self.server.write_log(record)
            if not self.read_body(record["body_length"]):
                return False
            return self.send(status, "application/json", body, close=not keep_alive,
                             head_only=method == "HEAD")

        url = dict(parse_query(query)).get("url", "") if path == PICTURE_PATH else ""
        if path != PICTURE_PATH or not url or not self.server.pictures:
            record["kind"] = "picture" if path == PICTURE_PATH else "other"
            record["answer"] = {"status": 404}
            self.server.write_log(record)
            if not self.read_body(record["body_length"]):
                return False
            return self.send(404, "text/plain", b"no such picture\n", close=not keep_alive,
                             head_only=method == "HEAD")

        record["kind"] = "picture"
        record["url"] = url
        if method not in ("GET", "HEAD"):
            record["answer"] = {"status": 405}
            self.server.write_log(record)
            if not self.read_body(record["body_length"]):
                return False
            return self.send(405, "text/plain", b"GET only\n", close=not keep_alive)
        answer, data = self.server.plan_picture(url)
        record["answer"] = answer
        self.server.write_log(record)
        if not self.read_body(record["body_length"]):
            return False
        if answer["delay"] and self.server.stopping.wait(answer["delay"]):
            return False
        head_only = method == "HEAD"
        mode = answer["mode"]
        if mode == "silent":
            self.hold_silently()
            return False
        if mode == "error":
            return self.send(500, answer["content_type"], ERROR_PAGE, close=not keep_alive,
                             head_only=head_only)
        if mode == "empty":
            return self.send(200, answer["content_type"], b"", close=not keep_alive,
                             head_only=head_only)
        if mode == "truncated":
            self.send(200, answer["content_type"], data, close=True, head_only=head_only,
                      send_only=len(data) // 2)
            return False
        return self.send(200, answer["content_type"], data, close=not keep_alive,
                         head_only=head_only)

    def hold_silently(self):
        """Keeps the connection open, answering nothing, until the client
        closes it or the server stops."""
        self.request.settimeout(0.25)
        while not self.server.stopping.is_set():
            try:
                if not self.request.recv(65536):
                    return
            except socket.timeout:
                continue

    def send(self, status, ctype, body, close, head_only=False, send_only=None):
        head = ["HTTP/1.1 %d %s" % (status, REASONS.get(status, "Unknown")),
                "Server: yk-picture-server",
                "Date: " + time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime()),
                "Content-Type: " + ctype,
                "Content-Length: %d" % len(body),
                "Cache-Control: no-store",
                "Connection: " + ("close" if close else "keep-alive")]
        payload = ("\r\n".join(head) + "\r\n\r\n").encode("latin-1")
        if not head_only:
            payload += body if send_only is None else body[:send_only]
        self.request.sendall(payload)
        return not close


def parse_headers(lines):
    """[[name, value]] in order; folded lines join the header before them."""
    headers = []
    for line in lines:
        if not line:
            continue
        if line[0] in " \t" and headers:
            headers[-1][1] += " " + line.strip()
            continue
        name, sep, value = line.partition(":")
        headers.append([name, value.strip(" \t") if sep else ""])
    return headers


def header_value(headers, name):
    """The value of the first header of that name (any letter case), or None."""
    lower = name.lower()
    for n, v in headers:
        if n.strip().lower() == lower:
            return v
    return None


def wants_keep_alive(version, headers):
    connection = (header_value(headers, "Connection") or "").lower()
    if version == "HTTP/1.0":
        return "keep-alive" in connection
    return "close" not in connection


def split_target(target):
    """(path, query) of an origin-form or absolute-form request target."""
    if "://" in target.split("?", 1)[0]:
        rest = target.split("://", 1)[1]
        slash = rest.find("/")
        question = rest.find("?")
        if slash < 0 or (0 <= question < slash):
            target = "/" + (rest[question:] if question >= 0 else "")
        else:
            target = rest[slash:]
    path, _, query = target.partition("?")
    return path, query


def parse_arguments(argv):
    p = argparse.ArgumentParser(description="Plays the image proxy for the viewer's tests and demo.")
    p.add_argument("--pictures", required=True, help="folder of pictures to serve")
    p.add_argument("--log", required=True, help="request log, one JSON object per line")
    p.add_argument("--bind", default="127.0.0.1")
    p.add_argument("--port", type=int, default=0, help="0 takes a free port")
    p.add_argument("--port-file", help="written with the port number once listening")
    p.add_argument("--control-file", help="a query of settings, read again when it changes")
    p.add_argument("--mode", choices=MODES, default="normal")
    p.add_argument("--delay", type=_seconds, default=0.0)
    p.add_argument("--delay-range", type=_seconds, nargs=2, metavar=("MIN", "MAX"))
    p.add_argument("--first-delay", type=_seconds, default=0.0)
    p.add_argument("--picture", help="serve this file of --pictures to every address")
    p.add_argument("--seed", type=int, default=0, help="seeds the random delays")
    return p.parse_args(argv)


def main(argv):
    args = parse_arguments(argv)
    pictures = load_pictures(args.pictures)
    if not pictures:
        print("picture server: no pictures in %s" % args.pictures, file=sys.stderr)
        return 2
    settings = default_settings()
    settings.update(mode=args.mode, delay=args.delay, first_delay=args.first_delay)
    if args.delay_range:
        if args.delay_range[0] > args.delay_range[1]:
            print("picture server: --delay-range MIN is above MAX", file=sys.stderr)
            return 2
        settings["delay_min"], settings["delay_max"] = args.delay_range
    if args.picture:
        if args.picture not in {p[0] for p in pictures}:
            print("picture server: no picture named %s" % args.picture, file=sys.stderr)
            return 2
        settings["picture"] = args.picture
    try:
        server = PictureServer((args.bind, args.port), pictures, args.log, settings,
                               args.control_file, args.seed)
    except OSError as e:
        print("picture server: cannot listen on %s:%d: %s" % (args.bind, args.port, e),
              file=sys.stderr)
        return 1

    def stop(signum, frame):
        server.stopping.set()
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    port = server.server_address[1]
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % port)
        os.replace(tmp, args.port_file)
    print("listening on %s:%d, %d pictures" % (args.bind, port, len(pictures)), flush=True)
    server.serve_forever(poll_interval=0.2)
    server.stopping.set()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
