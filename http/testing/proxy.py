#!/usr/bin/env python3
"""Runs tinyproxy for a test: listening on 127.0.0.1 on a free port, allowing
only 127.0.0.1, with its configuration and log in DIR.

    proxy.py DIR

Prints the port once tinyproxy accepts connections, and stops tinyproxy when
its standard input closes.
"""
import os
import socket
import subprocess
import sys
import time

DIR = sys.argv[1]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    port = free_port()
    config = os.path.join(DIR, "tinyproxy.conf")
    with open(config, "w") as f:
        f.write("Port %d\nListen 127.0.0.1\nTimeout 30\nMaxClients 64\n"
                "Allow 127.0.0.1\nLogLevel Info\n"
                "LogFile \"%s\"\n" % (port, os.path.join(DIR, "tinyproxy.log")))
    proxy = subprocess.Popen(["tinyproxy", "-d", "-c", config],
                             stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL,
                             stderr=open(os.path.join(DIR, "tinyproxy.err"), "w"))
    deadline = time.time() + 20
    while time.time() < deadline and proxy.poll() is None:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.05)
    print(port if proxy.poll() is None else 0, flush=True)
    try:
        sys.stdin.buffer.read()
    finally:
        proxy.terminate()
        try:
            proxy.wait(5)
        except subprocess.TimeoutExpired:
            proxy.kill()


if __name__ == "__main__":
    main()
