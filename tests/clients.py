#!/usr/bin/env python3
"""Audio tools that nobody here wrote must accept every wave file Orvelune
writes: Python's `wave` module, sox, libsndfile and ffprobe each have to read
PCM, 2 channels, 44,100 Hz, 16 bits and length / 4 frames from the sample
archive's tracks and from edge cases (no audio, one frame, an odd length, a
track of several MiB).

    clients.py --generator PATH -- PROGRAM [ARG...]

A tool that is not installed is skipped with a message naming its package;
CI installs them all.
"""

import argparse
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

EDGE_LENGTHS = {"empty.wav": 0, "one.wav": 4, "odd.wav": 4097, "long.wav": 6 * 2**20 + 4}


def split(program, folder):
    subprocess.run(program, cwd=folder, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL)


def edge_archive(folder):
    fmt, dat = b"", b"edge case lead\0\0"
    for i, (name, length) in enumerate(EDGE_LENGTHS.items()):
        fmt += name.encode().ljust(16, b"\0") + struct.pack("<I", len(dat)) + b"\0" * 8 + \
            struct.pack("<I", length) + b"\0" * 20
        dat += bytes((j * 13 + i) & 0xFF for j in range(length))
    with open(os.path.join(folder, "qvbgm_95.fmt"), "wb") as f:
        f.write(fmt)
    with open(os.path.join(folder, "qvbgm.dat"), "wb") as f:
        f.write(dat)


def lengths(folder):
    with open(os.path.join(folder, "qvbgm_95.fmt"), "rb") as f:
        fmt = f.read()
    for i in range(0, len(fmt), 52):
        name, _, length = struct.unpack_from("<16sI8xI", fmt, i)
        yield os.path.join(folder, name.split(b"\0")[0].decode()), length


def output(cmd):
    return subprocess.run(cmd, check=True, capture_output=True, text=True).stdout


# Each reader returns (format, channels, rate, bits, frames) as the tool
# reports them.
def read_python(path):
    with wave.open(path, "rb") as w:
        return (w.getcomptype(), w.getnchannels(), w.getframerate(), 8 * w.getsampwidth(),
                w.getnframes())


def read_sox(path):
    get = lambda flag: output(["sox", "--i", flag, path]).strip()  # noqa: E731
    return (get("-e"), int(get("-c")), int(get("-r")), int(get("-b")), int(get("-s")))


def read_sndfile(path):
    text = output(["sndfile-info", path])
    field = lambda name: re.search(r"^%s\s*:\s*(\S+)" % name, text, re.M).group(1)  # noqa: E731
    fmt = int(field("Format"), 16)
    bits = {0x0002: 16}.get(fmt & 0xFFFF, 0)
    return ("WAV" if fmt >> 16 == 1 else hex(fmt), int(field("Channels")),
            int(field("Sample Rate")), bits, int(field("Frames")))


def read_ffprobe(path):
    data = json.loads(output([
        "ffprobe", "-v", "error", "-select_streams", "a:0", "-count_packets",
        "-show_entries",
        "stream=codec_name,channels,sample_rate,bits_per_sample,duration_ts,nb_read_packets",
        "-of", "json", path]))
    s = data["streams"][0]
    return (s["codec_name"], int(s["channels"]), int(s["sample_rate"]),
            int(s["bits_per_sample"]), int(s.get("duration_ts", 0)))


CLIENTS = [
    # name, reader, the format it must name, what to install
    ("python wave", read_python, "NONE", None),
    ("sox", read_sox, "Signed Integer PCM", ("sox", "sox")),
    ("libsndfile", read_sndfile, "WAV", ("sndfile-info", "sndfile-programs")),
    ("ffprobe", read_ffprobe, "pcm_s16le", ("ffprobe", "ffmpeg")),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--generator", required=True)
    parser.add_argument("program", nargs="+")
    opts = parser.parse_args()
    program = [os.path.abspath(a) if os.path.exists(a) else a for a in opts.program]

    passed = failed = 0
    with tempfile.TemporaryDirectory(prefix="orvelune-clients-") as root:
        sample, edge = os.path.join(root, "sample"), os.path.join(root, "edge")
        os.makedirs(sample)
        os.makedirs(edge)
        subprocess.run([os.path.abspath(opts.generator), sample], check=True,
                       stdout=subprocess.DEVNULL)
        edge_archive(edge)
        split(program, sample)
        split(program, edge)
        files = list(lengths(sample)) + list(lengths(edge))

        for name, reader, fmt, needs in CLIENTS:
            if needs and shutil.which(needs[0]) is None:
                print("skip %s: %s not found (apt-get install %s)" % (name, needs[0], needs[1]))
                continue
            for path, length in files:
                want = (fmt, 2, 44100, 16, length // 4)
                try:
                    got = reader(path)
                except Exception as e:  # a tool that refuses the file fails the case
                    got = "refused: %s" % str(e).strip()
                label = "%s reads %s (%d bytes)" % (name, os.path.basename(path), length)
                if got == want:
                    passed += 1
                    print("ok   " + label)
                else:
                    failed += 1
                    print("FAIL %s: got %s, expected %s" % (label, got, want))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
