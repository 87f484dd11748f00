#!/usr/bin/env python3
"""A small HTTP server for tests: records every raw request and plays
responses the test scripted as files.

    scripted_server.py DIR [--tls]

Listens on 127.0.0.1 on a free port and prints the port on its first line of
output. It ends when its standard input closes, so it never outlives the test
that started it. With --tls it makes a self-signed certificate for localhost
and 127.0.0.1 with openssl in DIR and speaks HTTPS.

Paths (NAME is the second path segment, without the query):
    /raw/NAME/...   sends DIR/NAME.http byte for byte, then closes
    /hold/NAME/...  sends DIR/NAME.http, then keeps the connection open and
                    silent until the client goes away
    /big/N          a 200 response with N bytes of body (byte i is i % 251)
    /echo...        a 200 response whose body is the raw request
Each request is appended to DIR/NAME.req (DIR/big.req, DIR/echo.req for the
others) before the response goes out.
"""
import os
import socket
import ssl
import subprocess
import sys
import threading

DIR = sys.argv[1]
TLS = "--tls" in sys.argv[2:]
LOCK = threading.Lock()
PATTERN = bytes(i % 251 for i in range(251 * 4096))


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return None
        data += chunk
        if len(data) > 1 << 20:
            return None
    head, _, rest = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or b"0")
    while len(rest) < length:
        chunk = conn.recv(65536)
        if not chunk:
            break
        rest += chunk
    return head + b"\r\n\r\n" + rest


def record(name, request):
    with LOCK:
        with open(os.path.join(DIR, name + ".req"), "ab") as f:
            f.write(request)


def scripted(name):
    path = os.path.join(DIR, os.path.basename(name) + ".http")
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"


def serve(conn):
    try:
        conn.settimeout(120)
        if TLS:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(os.path.join(DIR, "cert.pem"),
                                    os.path.join(DIR, "key.pem"))
            conn = context.wrap_socket(conn, server_side=True)
        request = read_request(conn)
        if request is None:
            return
        target = request.split(b" ", 2)[1].decode("latin-1")
        if target.startswith("http://"):  # absolute form, through a proxy
            target = "/" + target.split("/", 3)[3] if target.count("/") >= 3 else "/"
        parts = target.split("?", 1)[0].split("/")
        kind = parts[1] if len(parts) > 1 else ""
        name = parts[2] if len(parts) > 2 and parts[2] else kind
        if kind in ("raw", "hold"):
            record(name, request)
            conn.sendall(scripted(name))
            if kind == "hold":
                while conn.recv(65536):
                    pass
        elif kind == "big":
            record("big", request)
            size = int(parts[2]) if len(parts) > 2 and parts[2].isdigit() else 0
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % size)
            view = memoryview(PATTERN)
            sent = 0
            while sent < size:
                n = min(size - sent, len(PATTERN) - sent % 251 - 251)
                conn.sendall(view[sent % 251:sent % 251 + n])
                sent += n
        elif kind.startswith("echo"):
            record("echo", request)
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                         b"Content-Length: %d\r\n\r\n" % len(request) + request)
        else:
            record("other", request)
            conn.sendall(scripted(""))
    except (OSError, ValueError, ssl.SSLError):
        pass
    finally:
        try:
            conn.close()
        except OSError:
            pass


def main():
    if TLS:
        subprocess.run(
            ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
             "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
             "-subj", "/CN=localhost", "-addext",
             "subjectAltName=DNS:localhost,IP:127.0.0.1",
             "-keyout", os.path.join(DIR, "key.pem"),
             "-out", os.path.join(DIR, "cert.pem")],
            check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(128)
    print(listener.getsockname()[1], flush=True)

    def watch_parent():
        sys.stdin.buffer.read()
        os._exit(0)

    threading.Thread(target=watch_parent, daemon=True).start()
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
