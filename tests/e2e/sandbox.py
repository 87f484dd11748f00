#!/usr/bin/python3
"""Runs a command in a private network, mount and process namespace where the
viewer's built-in picture hosts are served by tools/picture_server.py.

Command line (the sandbox-run script beside this file):

    tests/e2e/sandbox-run [--log FILE] [--pictures DIR] [--control-file FILE]
                          [--server-arg ARG]... -- COMMAND [ARG...]

Inside: only the loopback interface exists (brought up), so no packet can
leave the machine; a hosts file bind-mounted over /etc/hosts maps
pictures.yarrowlit.example and img01..img05.kestrune.example (and localhost)
to 127.0.0.1; the picture server listens on 127.0.0.1:80 with its request log
at --log (default: a fresh directory under $TMPDIR, printed on standard error),
its own output in server.out beside the log, and, given --control-file, reads its settings from that file (see the server's
own header for the log format and the control syntax). The command then runs
with these variables set:

    YK_SANDBOX=1
    YK_PICTURE_LOG           the server's request log
    YK_PICTURE_CONTROL_URL   http://127.0.0.1:80/__control
    YK_PICTURE_CONTROL_FILE  the control file (empty when none was given)

The exit status is the command's (128+N when a signal N ended it; 125 when the
sandbox could not be set up). Every process started inside ends with the
command: the first process of the private process namespace is this module,
and when it exits the kernel ends all the others. SIGTERM, SIGINT or SIGHUP to
sandbox-run reaches the command; if sandbox-run itself is killed, the command
is killed and the sandbox ends.

Who may: root gets `unshare --net --mount --pid`; anyone else gets the same
inside a user namespace (`--user --map-root-user`) where the system allows
unprivileged user namespaces. `sandbox_flags()` says which, or why neither.

X and Wayland: the mount namespace keeps /tmp and $XDG_RUNTIME_DIR, so the
path sockets of a local X server (/tmp/.X11-unix/X<n>) and of a Wayland
compositor stay reachable from inside; the abstract X socket belongs to the
outer network namespace and is not. `sandbox_display_env()` rewrites DISPLAY
to the form that reaches the path socket and says whether a display is usable;
`sandbox.py --display` prints the result for shell scripts.
"""

import json
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SERVER = os.path.join(ROOT, "tools", "picture_server.py")
DEFAULT_PICTURES = os.path.join(ROOT, "tools", "demo_corpus")
SANDBOX_RUN = os.path.join(HERE, "sandbox-run")
PYTHON = "/usr/bin/python3"

PROXY_HOST = "pictures.yarrowlit.example"
IMAGE_HOSTS = ["img%02d.kestrune.example" % n for n in range(1, 6)]
SERVER_PORT = 80
SETUP_FAILED = 125

_NAMESPACES = ["--net", "--mount", "--pid", "--fork", "--kill-child", "--mount-proc"]


# Outside the sandbox ------------------------------------------------------

def sandbox_flags():
    """(unshare arguments, None) when a sandbox can be made here, else
    (None, the reason)."""
    if not os.path.exists("/usr/bin/unshare"):
        return None, "unshare (util-linux) is not installed"
    candidates = [_NAMESPACES] if os.geteuid() == 0 else []
    candidates.append(["--user", "--map-root-user"] + _NAMESPACES)
    reason = ""
    for flags in candidates:
        try:
            r = subprocess.run(["/usr/bin/unshare", *flags, "true"], capture_output=True,
                               timeout=30)
        except (OSError, subprocess.TimeoutExpired) as e:
            reason = str(e)
            continue
        if r.returncode == 0:
            return flags, None
        reason = r.stderr.decode("utf-8", "replace").strip()
    return None, "cannot create private namespaces: " + (reason or "refused")


def hosts_text():
    """The hosts file seen inside the sandbox."""
    lines = ["127.0.0.1\tlocalhost", "::1\tlocalhost ip6-localhost ip6-loopback",
             "127.0.0.1\t%s" % PROXY_HOST]
    lines += ["127.0.0.1\t%s" % h for h in IMAGE_HOSTS]
    return "\n".join(lines) + "\n"


def sandbox_command(argv, log, pictures=None, control_file=None, server_args=()):
    """The argument list that runs `argv` in a sandbox (for subprocess)."""
    cmd = [PYTHON, SANDBOX_RUN, "--log", log]
    if pictures:
        cmd += ["--pictures", pictures]
    if control_file:
        cmd += ["--control-file", control_file]
    for a in server_args:
        cmd += ["--server-arg=" + a]
    return cmd + ["--"] + list(argv)


def read_log(path):
    """The server's log records; a half-written last line is left out."""
    records = []
    try:
        with open(path, encoding="utf-8") as f:
            for line in f:
                if line.endswith("\n"):
                    records.append(json.loads(line))
    except FileNotFoundError:
        pass
    return records


def picture_requests(path):
    return [r for r in read_log(path) if r.get("kind") == "picture"]


def write_control_file(path, query):
    """Replaces the control file whole, so the server never reads half of it."""
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write(query + "\n")
    os.replace(tmp, path)


_LOCAL_DISPLAY = re.compile(r"^(?:unix)?:(\d+)(\.\d+)?$")


def sandbox_display_env(env):
    """(environment for the command, description or None when no display).

    A local X display (":0", "unix:0.0") is kept when its path socket
    /tmp/.X11-unix/X<n> accepts a connection, written ":<n>": from a private
    network namespace the abstract socket is refused and the X library falls
    back to the path. A Wayland socket is a path and is kept when it answers.
    Displays over TCP (ssh forwarding) cannot be reached from inside and are
    dropped."""
    env = dict(env)
    found = []
    display = env.get("DISPLAY", "")
    m = _LOCAL_DISPLAY.match(display)
    if m and _accepts("/tmp/.X11-unix/X" + m.group(1)):
        env["DISPLAY"] = ":" + m.group(1) + (m.group(2) or "")
        found.append("X display " + env["DISPLAY"])
    else:
        env.pop("DISPLAY", None)
    wayland = env.get("WAYLAND_DISPLAY", "")
    if wayland:
        path = wayland if wayland.startswith("/") else os.path.join(
            env.get("XDG_RUNTIME_DIR", "/nonexistent"), wayland)
        if _accepts(path):
            found.append("Wayland display " + wayland)
        else:
            env.pop("WAYLAND_DISPLAY", None)
    return env, (" and ".join(found) or None)


def _accepts(path):
    try:
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            s.settimeout(2)
            s.connect(path)
        return True
    except OSError:
        return False


def outer_main(argv):
    """sandbox-run: checks, then runs unshare with the inner half as the
    first process of the new namespaces, and passes signals on to it."""
    args, command = _parse(argv)
    if not command:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    flags, reason = sandbox_flags()
    if flags is None:
        print("sandbox: %s" % reason, file=sys.stderr)
        return SETUP_FAILED
    if not args["log"]:
        folder = tempfile.mkdtemp(prefix="yk-sandbox-")
        args["log"] = os.path.join(folder, "requests.log")
        print("sandbox: picture server log: %s" % args["log"], file=sys.stderr)
    args["log"] = os.path.abspath(args["log"])
    if args["control_file"]:
        args["control_file"] = os.path.abspath(args["control_file"])
    args["pictures"] = os.path.abspath(args["pictures"] or DEFAULT_PICTURES)
    config = json.dumps(dict(args, command=command))

    # unshare ignores SIGTERM and SIGINT while it waits, so signals travel to
    # the inner half through a pipe; its closing (this process killed) ends
    # the sandbox too.
    read_end, write_end = os.pipe()
    try:
        proc = subprocess.Popen(["/usr/bin/unshare", *flags, PYTHON, os.path.abspath(__file__),
                                 "--inside", config, str(read_end)], pass_fds=(read_end,))
    except OSError as e:
        print("sandbox: cannot run unshare: %s" % e, file=sys.stderr)
        return SETUP_FAILED
    os.close(read_end)

    def forward(signum, frame):
        try:
            os.write(write_end, bytes([signum]))
        except OSError:
            pass

    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, forward)
    status = proc.wait()
    os.close(write_end)
    return 128 - status if status < 0 else status


def _parse(argv):
    args = {"log": None, "pictures": None, "control_file": None, "server_args": []}
    names = {"--log": "log", "--pictures": "pictures", "--control-file": "control_file"}
    i = 0
    while i < len(argv):
        a = argv[i]
        if a == "--":
            return args, argv[i + 1:]
        name, eq, value = a.partition("=")
        if name == "--server-arg":
            if not eq:
                i += 1
                value = argv[i] if i < len(argv) else ""
            args["server_args"].append(value)
        elif name in names:
            if not eq:
                i += 1
                if i >= len(argv):
                    return args, []
                value = argv[i]
            args[names[name]] = value
        else:
            return args, []
        i += 1
    return args, []


# Inside the sandbox -------------------------------------------------------

def _fail(message):
    print("sandbox: %s" % message, file=sys.stderr, flush=True)
    return SETUP_FAILED


def inner_main(config, signal_fd):
    """Runs as process 1 of the private namespaces."""
    c = json.loads(config)
    if subprocess.run(["ip", "link", "set", "lo", "up"]).returncode != 0:
        return _fail("cannot bring up the loopback interface")
    log_dir = os.path.dirname(c["log"])
    os.makedirs(log_dir, exist_ok=True)
    work = tempfile.mkdtemp(prefix="yk-sandbox-", dir=log_dir)
    hosts = os.path.join(work, "hosts")
    with open(hosts, "w") as f:
        f.write(hosts_text())
    os.chmod(hosts, 0o644)
    target = os.path.realpath("/etc/hosts")
    if not os.path.exists(target):
        return _fail("%s does not exist to be covered" % target)
    if subprocess.run(["mount", "--bind", hosts, target]).returncode != 0:
        return _fail("cannot bind-mount the hosts file over %s" % target)

    port_file = os.path.join(work, "port")
    server_cmd = [PYTHON, SERVER, "--bind", "127.0.0.1", "--port", str(SERVER_PORT),
                  "--pictures", c["pictures"], "--log", c["log"], "--port-file", port_file]
    if c["control_file"]:
        server_cmd += ["--control-file", c["control_file"]]
    server_cmd += c["server_args"]
    server_out = open(os.path.join(log_dir, "server.out"), "ab")
    server = subprocess.Popen(server_cmd, stdin=subprocess.DEVNULL, stdout=server_out,
                              stderr=server_out)
    for _ in range(400):
        if os.path.exists(port_file) or server.poll() is not None:
            break
        time.sleep(0.025)
    if not os.path.exists(port_file):
        server.kill()
        return _fail("the picture server did not start; see %s"
                     % os.path.join(log_dir, "server.out"))

    env = dict(os.environ, YK_SANDBOX="1", YK_PICTURE_LOG=c["log"],
               YK_PICTURE_CONTROL_URL="http://127.0.0.1:%d/__control" % SERVER_PORT,
               YK_PICTURE_CONTROL_FILE=c["control_file"] or "")
    try:
        child = subprocess.Popen(c["command"], env=env)
    except OSError as e:
        server.terminate()
        return _fail("cannot run %s: %s" % (c["command"][0], e))

    def forward(signum, frame):
        try:
            child.send_signal(signum)
        except OSError:
            pass

    def relay():
        while True:
            try:
                data = os.read(signal_fd, 64)
            except OSError:
                data = b""
            if not data:  # sandbox-run is gone: so is everything here
                forward(signal.SIGKILL, None)
                return
            for signum in data:
                forward(signum, None)

    threading.Thread(target=relay, daemon=True).start()
    signal.signal(signal.SIGTERM, forward)
    signal.signal(signal.SIGINT, forward)
    signal.signal(signal.SIGHUP, forward)
    status = child.wait()
    server.terminate()
    try:
        server.wait(5)
    except subprocess.TimeoutExpired:
        server.kill()
    for name in ("hosts", "port"):
        try:
            os.unlink(os.path.join(work, name))
        except OSError:
            pass
    try:
        os.rmdir(work)
    except OSError:
        pass
    return 128 - status if status < 0 else status


def display_main():
    """`sandbox.py --display`: prints DISPLAY=... and WAYLAND_DISPLAY=... as a
    command inside the sandbox should have them (empty when unusable); exit
    status 0 when a display is usable, 1 when not."""
    env, description = sandbox_display_env(os.environ)
    print("DISPLAY=%s" % env.get("DISPLAY", ""))
    print("WAYLAND_DISPLAY=%s" % env.get("WAYLAND_DISPLAY", ""))
    return 0 if description else 1


def main(argv):
    if len(argv) == 4 and argv[1] == "--inside":
        return inner_main(argv[2], int(argv[3]))
    if len(argv) == 2 and argv[1] == "--display":
        return display_main()
    return outer_main(argv[1:])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
