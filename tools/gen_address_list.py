#!/usr/bin/env python3
"""Writes the built-in address list, fetch/address_list.txt.

Every line is an address of the image proxy that carries a picture's own
https address, with ':' and '/' percent-encoded. All hosts lie under the
reserved .example domain, so the list can never reach a real server. The
output depends on the fixed seed alone: running this again gives the same
bytes.

  gen_address_list.py [PATH]          write the list (default: the committed one)
  gen_address_list.py --check PATH    exit 1 unless PATH holds exactly these bytes
"""

import random
import sys
from pathlib import Path

SEED = 20191225
LINE_COUNT = 2395
LONG_LINE_COUNT = 13
PROXY_HOST = "pictures.yarrowlit.example"
IMAGE_HOSTS = ["img%02d.kestrune.example" % i for i in range(1, 6)]
PROXY_PATH = "/net/a/36/link?appid=36&url="
EXPECTED_SIZE = 283546

DEFAULT_OUTPUT = Path(__file__).resolve().parent.parent / "fetch" / "address_list.txt"


class Draws:
    """Whole numbers from the seeded generator, using getrandbits only, whose
    output for a given seed does not change between Python versions."""

    def __init__(self, seed):
        self._random = random.Random(seed)

    def below(self, n):
        bits = max(1, (n - 1).bit_length())
        while True:
            value = self._random.getrandbits(bits)
            if value < n:
                return value

    def hex_digits(self, count):
        return "%0*x" % (count, self._random.getrandbits(4 * count))


def encode(address):
    return address.replace(":", "%3A").replace("/", "%2F")


def picture_path(draws, long_path, used):
    while True:
        if long_path:
            # A numbered folder, then three hex groups joined by hyphens.
            folder = 1000000 + draws.below(9000000)
            groups = "-".join(draws.hex_digits(24) for _ in range(3))
            path = "%d/%s.jpg" % (folder, groups)
        else:
            path = draws.hex_digits(16)
        if path not in used:
            used.add(path)
            return path


def make_lines():
    draws = Draws(SEED)
    long_lines = set()
    while len(long_lines) < LONG_LINE_COUNT:
        long_lines.add(draws.below(LINE_COUNT))
    used = set()
    lines = []
    for index in range(LINE_COUNT):
        host = IMAGE_HOSTS[draws.below(len(IMAGE_HOSTS))]
        path = picture_path(draws, index in long_lines, used)
        picture = "https://%s/%s" % (host, path)
        lines.append("http://%s%s%s" % (PROXY_HOST, PROXY_PATH, encode(picture)))
    return lines


def make_list():
    lines = make_lines()
    data = "".join(line + "\r\n" for line in lines).encode("ascii")
    lengths = sorted({len(line) for line in lines})
    if len(lines) != LINE_COUNT or len(data) != EXPECTED_SIZE or lengths != [116, 188]:
        raise SystemExit("generated list has the wrong shape: %d lines, %d bytes, lengths %s"
                         % (len(lines), len(data), lengths))
    return data


def main(argv):
    data = make_list()
    if len(argv) == 3 and argv[1] == "--check":
        if Path(argv[2]).read_bytes() != data:
            print("%s differs from what %s makes" % (argv[2], argv[0]), file=sys.stderr)
            return 1
        return 0
    if len(argv) > 2:
        print(__doc__, file=sys.stderr)
        return 2
    output = Path(argv[1]) if len(argv) == 2 else DEFAULT_OUTPUT
    output.write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
