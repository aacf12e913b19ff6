#!/usr/bin/env python3
"""End-to-end tests: run the built program as a user would and compare
everything it does.

Each case lays out a folder tree in a fresh temporary folder, runs the
program there with standard input at its end, and compares the whole
console transcript, the exit status, and every file of the tree afterwards
byte for byte: the inputs unchanged, the expected wave files written,
nothing else created.

    e2e.py [--generator COMMAND] [--flavour posix|windows] [-k NAME] -- PROGRAM [ARG...]

PROGRAM [ARG...] is the command that starts the program, so the same cases
run against another build, e.g. one under an emulator.
"""

import argparse
import os
import re
import resource
import shlex
import signal
import struct
import subprocess
import sys
import tempfile
import traceback
from dataclasses import dataclass, field
from typing import Callable, Dict, List, Optional

FMT = "qvbgm_95.fmt"
DAT = "qvbgm.dat"
LEAD_IN = b"Orvelune test\0\0\0"
BANNER = [
    "~ Orvelune ~\tby the Orvelune authors\torvelune@example.org\thttps://orvelune.example.org/",
    "\t11 Feb 10",
    "",
]
FINISHED = "Spliting finished."
SIZE_WARNING = "Warning: format file's size is not even to one record size."
OFFSET_WARNING = "Warning: LastOffset differs."
END_WARNING = "Warning: LastOffset doesn't point to the end of the BGM DAT file."

# The system's texts for the failures the cases provoke, and how a full path
# is spelled, per kind of system.
FLAVOURS = {
    "posix": {
        "line_break": "\n",
        "texts": {
            "not_found": "No such file or directory",
            "no_path": "No such file or directory",
            "busy": "Text file busy",
            "denied": "Permission denied",
            "is_dir": "Is a directory",
            "stdout_full": "Disk full",
            "stdout_gone": "I/O error 109",
        },
        "full_path": lambda root, rel: os.path.join(root, rel) if rel else root + "/",
    },
    # Under Wine: its own short system texts, and the Linux folders on drive Z:.
    "windows": {
        "line_break": "\r\n",
        "texts": {
            "not_found": "File not found",
            "no_path": "Path not found",
            "busy": "Sharing violation",
            "denied": "Access denied",
            "is_dir": "Access denied",
            "bad_name": "Invalid name",
            "stdout_full": "I/O error 112",
            "stdout_gone": "I/O error 233",
        },
        "full_path": lambda root, rel: "Z:" + os.path.join(root, rel).replace("/", "\\") +
        ("" if rel else "\\"),
    },
}


def record(name: bytes, offset: int, length: int, filler: int = 0) -> bytes:
    """A 52-byte track record; `filler` goes into the uninterpreted bytes."""
    pad = bytes([filler])
    return name.ljust(16, b"\0")[:16] + struct.pack("<I", offset) + pad * 8 + \
        struct.pack("<I", length) + pad * 20


def wave(audio: bytes, length: Optional[int] = None) -> bytes:
    """The wave file for `audio`; with `length`, the unfinished file that a
    copy cut short leaves (RIFF head still zero)."""
    if length is None:
        return b"RIFF" + struct.pack("<I", 36 + len(audio)) + b"WAVE" + \
            b"fmt " + struct.pack("<IHHIIHH", 16, 1, 2, 44100, 176400, 4, 16) + \
            b"data" + struct.pack("<I", len(audio)) + audio
    return b"\0" * 12 + wave(b"")[12:40] + struct.pack("<I", length) + audio


def pcm(n: int, seed: int = 1) -> bytes:
    return bytes((i * 31 + seed * 17 + i // 256) & 0xFF for i in range(n))


def archive(tracks, gaps=None, tail=b""):
    """A format file and data file for (name, audio) tracks laid back to back
    after the lead-in, with optional gap bytes before track i."""
    gaps = gaps or {}
    fmt, dat = b"", LEAD_IN
    for i, (name, audio) in enumerate(tracks):
        dat += gaps.get(i, b"")
        fmt += record(name, len(dat), len(audio), filler=0xEE)
        dat += audio
    return fmt, dat + tail


def tree(root: str) -> Dict[str, object]:
    """Every file, folder and link below `root`: path -> bytes, "<dir>" or
    ("link", target)."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            if os.path.islink(path):
                found[rel] = ("link", os.readlink(path))
            elif os.path.isdir(path):
                found[rel] = "<dir>"
            else:
                with open(path, "rb") as f:
                    found[rel] = f.read()
    return found


@dataclass
class Case:
    name: str
    # Files below the temporary folder ("m" is the archive folder by habit).
    files: Dict[str, bytes]
    # Console lines after the banner; an error report is one entry with its
    # bare line feed inside.
    stdout: List[str]
    status: int
    # Files the run adds or replaces.
    written: Dict[str, bytes] = field(default_factory=dict)
    args: List[str] = field(default_factory=list)
    cwd: str = "m"
    folders: List[str] = field(default_factory=list)
    links: Dict[str, str] = field(default_factory=dict)  # link -> target
    stderr: str = ""  # a regular expression when it is not empty
    limit_file_size: Optional[int] = None
    stdout_to: Optional[str] = None  # "full" or "closed pipe"
    stdin_closed: bool = False
    banner: bool = True
    sample: bool = False  # the generated sample archive in "m"; expectations derived from it
    flavours: tuple = ("posix", "windows")


def make_cases(fl) -> List[Case]:
    text = fl["texts"]
    # Full paths as the program prints them; the root is filled in per run.
    P = lambda rel="": "{root:" + rel + "}"  # noqa: E731

    def report(cls, message):
        return "Exception <%s>:\n%s" % (cls, message)

    cases = []

    # --- Tracks that tile the data file: no warnings, every file exact.
    a, b, c = pcm(4000, 1), pcm(0, 2), pcm(1001, 3)
    fmt, dat = archive([(b"a.wav", a), (b"empty.wav", b), (b"odd.wav", c)])
    tiled = {"m/" + FMT: fmt, "m/" + DAT: dat}
    tiled_out = {"m/a.wav": wave(a), "m/empty.wav": wave(b), "m/odd.wav": wave(c)}
    tiled_lines = ["a.wav...", "empty.wav...", "odd.wav...", FINISHED]
    cases += [
        Case("no argument, in the archive's folder", tiled, tiled_lines, 0, tiled_out),
        Case("empty argument counts as none", tiled, tiled_lines, 0, tiled_out, args=[""]),
        Case("further arguments are ignored", tiled, tiled_lines, 0, tiled_out,
             args=[FMT, "extra", "more"]),
        Case("full path from another folder", tiled, tiled_lines, 0, tiled_out,
             args=[P("m/" + FMT)], cwd=""),
        Case("relative path with folders", tiled, tiled_lines, 0, tiled_out,
             args=["m/" + FMT], cwd=""),
        Case("relative path climbing up", tiled, tiled_lines, 0, tiled_out,
             args=["../m/" + FMT], cwd="other", folders=["other"]),
        Case("other name for the format file",
             {"m/songs.fmt": fmt, "m/" + DAT: dat}, tiled_lines, 0, tiled_out,
             args=["songs.fmt"]),
        Case("existing wave files are replaced",
             dict(tiled, **{"m/a.wav": b"x" * 9000, "m/odd.wav": b"old"}),
             tiled_lines, 0, tiled_out),
    ]

    # --- Sizes of the format file and the end check.
    cases += [
        Case("empty table, data file of 16 bytes", {"m/" + FMT: b"", "m/" + DAT: LEAD_IN},
             [FINISHED], 0),
        Case("empty table, longer data file", {"m/" + FMT: b"", "m/" + DAT: LEAD_IN + b"x"},
             [END_WARNING, FINISHED], 0),
        Case("17-byte trailer passes in silence",
             {"m/" + FMT: fmt + b"T" * 17, "m/" + DAT: dat}, tiled_lines, 0, tiled_out),
        Case("odd format file size warns and reads whole records",
             {"m/" + FMT: fmt + b"\x01", "m/" + DAT: dat},
             [SIZE_WARNING] + tiled_lines, 0, tiled_out),
    ]

    # --- Offsets against the running sum.
    fmt_gap, dat_gap = archive([(b"one.wav", a), (b"two.wav", c), (b"three.wav", a)],
                               gaps={1: b"GAP!"})
    cases.append(Case(
        "gap before a track warns for it, every later track and the end",
        {"m/" + FMT: fmt_gap, "m/" + DAT: dat_gap},
        ["one.wav...", "two.wav...", OFFSET_WARNING, "three.wav...", OFFSET_WARNING,
         END_WARNING, FINISHED], 0,
        {"m/one.wav": wave(a), "m/two.wav": wave(c), "m/three.wav": wave(a)}))
    # A length near 4 GiB in a short data file: a read error, not a huge
    # allocation or a hang.
    cases.append(Case(
        "length near 4 GiB stops the split with a read error",
        {"m/" + FMT: record(b"w1.wav", 16, 0xFFFFFFF0) + record(b"w2.wav", 20, 0),
         "m/" + DAT: LEAD_IN + b"abcd"},
        ["w1.wav...", report("EReadError", "Stream read error"), FINISHED], 1,
        {"m/w1.wav": wave(b"abcd", 0xFFFFFFF0)}))

    # --- Missing files.
    cases += [
        Case("missing format file", {"m/" + DAT: dat},
             [report("EFOpenError", 'Cannot open file "%s". %s'
                     % (P("m/" + FMT), text["not_found"])), FINISHED], 1),
        Case("missing data file, after the format file's warning",
             {"m/" + FMT: fmt + b"\x01\x02"},
             [SIZE_WARNING, report("EFOpenError", 'Cannot open file "%s". %s'
                                   % (P("m/" + DAT), text["not_found"])), FINISHED], 1),
        Case("format file that is a folder", {"m/" + DAT: dat},
             [report("EFOpenError", 'Cannot open file "%s". %s'
                     % (P("m/" + FMT), text["is_dir"])), FINISHED], 1,
             folders=["m/" + FMT]),
    ]

    # --- The data file too short for a track.
    short_fmt, short_dat = archive([(b"first.wav", a), (b"second.wav", c)])
    cut = short_dat[:-500]
    cases.append(Case(
        "data file too short for a track",
        {"m/" + FMT: short_fmt, "m/" + DAT: cut},
        ["first.wav...", "second.wav...", report("EReadError", "Stream read error"), FINISHED], 1,
        {"m/first.wav": wave(a), "m/second.wav": wave(c[:-500], len(c))}))

    # --- Names that would write over the inputs or leave the folder.
    def refused(name: bytes, rel_full: str, reason: str, extra=None, links=None, folders=None,
                shown=None):
        fmt_r, dat_r = archive([(b"ok.wav", a), (name, c), (b"never.wav", a)])
        files = {"m/" + FMT: fmt_r, "m/" + DAT: dat_r}
        files.update(extra or {})
        return Case(
            "track named %r is refused" % name.decode("latin-1"), files,
            ["ok.wav...", name.decode("latin-1") + "...",
             report("EFCreateError", 'Cannot create file "%s". %s'
                    % (shown or P(rel_full), text[reason])), FINISHED], 1,
            {"m/ok.wav": wave(a)}, links=links or {}, folders=folders or [])

    cases += [
        refused(DAT.encode(), "m/" + DAT, "busy"),
        refused(FMT.encode(), "m/" + FMT, "busy"),
        refused(b"link.wav", "m/link.wav", "busy", links={"m/link.wav": DAT}),
        refused(b"../up.wav", "up.wav", "denied"),
        refused(b"sub/../x.wav", "m/x.wav", "denied", folders=["m/sub"]),
        refused(b"nosub/x.wav", "m/nosub/x.wav", "no_path"),
    ]
    # Hard links exist on POSIX file systems only as far as these cases go.
    hard = refused(b"hard.wav", "m/hard.wav", "busy")
    hard.name = "track named as a hard link to the data file is refused"
    hard.links = {"m/hard.wav": "hard:" + DAT}
    cases.append(hard)
    if "bad_name" in text:
        cases += [refused(b"a?b.wav", "m/a?b.wav", "bad_name"),
                  # A device name is the device wherever it stands; refused, not
                  # written to the console.
                  refused(b"CON", "", "denied", shown="\\\\.\\CON")]

    fmt_sub, dat_sub = archive([(b"sub/in.wav", a), (b"top.wav", c)])
    cases.append(Case(
        "name with an existing subfolder writes into it",
        {"m/" + FMT: fmt_sub, "m/" + DAT: dat_sub},
        ["sub/in.wav...", "top.wav...", FINISHED], 0,
        {"m/sub/in.wav": wave(a), "m/top.wav": wave(c)}, folders=["m/sub"]))

    # --- Names ending at their first NUL, or taking all 16 bytes.
    full_name = b"sixteen_bytes.wv"
    nul_fmt = record(full_name, 16, 4) + record(b"cut.wav\0junk", 20, 4)
    cases.append(Case(
        "16-byte name without NUL, and a name cut at its NUL",
        {"m/" + FMT: nul_fmt, "m/" + DAT: LEAD_IN + b"abcdefgh"},
        [full_name.decode() + "...", "cut.wav...", FINISHED], 0,
        {"m/" + full_name.decode(): wave(b"abcd"), "m/cut.wav": wave(b"efgh")}))

    # --- More tracks than a 16-bit index can count.
    many = 65537
    many_fmt = record(b"same.wav", 16, 0) * (many - 1) + record(b"last.wav", 16, 4)
    cases.append(Case(
        "65,537 tracks are all split",
        {"m/" + FMT: many_fmt, "m/" + DAT: LEAD_IN + b"WXYZ"},
        ["same.wav..."] * (many - 1) + ["last.wav...", FINISHED], 0,
        {"m/same.wav": wave(b""), "m/last.wav": wave(b"WXYZ")}))

    # --- Outside the guarded split: the last-resort report, status 1.
    uncaught = r"Exception EInOutError in module %s at [0-9A-F]{8,16}\.%s%%s\.%s%s\Z"
    lb = re.escape(fl["line_break"])
    cases += [
        Case("format file in a folder that does not exist", tiled, [], 1,
             args=[P("m/nowhere/" + FMT)],
             stderr=uncaught % (re.escape(fl["module"]), lb, lb, lb) % "File not found"),
        Case("standard input closed: the split is done, the final read fails", tiled,
             tiled_lines, 1, tiled_out, stdin_closed=True, flavours=("posix",),
             stderr=uncaught % (re.escape(fl["module"]), lb, lb, lb) % "I/O error 6"),
        Case("standard output on a full device", tiled, [], 1, banner=False,
             stdout_to="full",
             stderr=uncaught % (re.escape(fl["module"]), lb, lb, lb) % text["stdout_full"]),
        Case("standard output on a pipe nobody reads", tiled, [], 1, banner=False,
             stdout_to="closed pipe",
             stderr=uncaught % (re.escape(fl["module"]), lb, lb, lb) % text["stdout_gone"]),
    ]

    # --- A file system that takes fewer bytes than given.
    cases += [
        Case("header cut short by a full file system", tiled,
             ["a.wav...", report("EWriteError", "Stream write error"), FINISHED], 1,
             {"m/a.wav": wave(b"", len(a))[:30]}, limit_file_size=30, flavours=("posix",)),
        Case("audio cut short by a full file system", tiled,
             ["a.wav...", report("EWriteError", "Stream write error"), FINISHED], 1,
             {"m/a.wav": wave(a[:1000 - 44], len(a))}, limit_file_size=1000,
             flavours=("posix",)),
    ]

    # --- The generated sample archive, read back with our own parser.
    if fl["generator"]:
        cases.append(Case("generated sample archive", {}, [], 0, folders=["m"], sample=True))

    return [c for c in cases if fl["name"] in c.flavours]


def expected_sample(root: str) -> (List[str], Dict[str, bytes]):
    """The lines and files that splitting the generated archive must give,
    worked out from its two files alone."""
    with open(os.path.join(root, "m", FMT), "rb") as f:
        fmt = f.read()
    with open(os.path.join(root, "m", DAT), "rb") as f:
        dat = f.read()
    assert fmt and len(fmt) % 52 == 0, "sample format file has %d bytes" % len(fmt)
    lines, files, expect = [], {}, 16
    for i in range(0, len(fmt), 52):
        name, offset, length = struct.unpack_from("<16sI8xI", fmt, i)
        name = name.split(b"\0")[0].decode("latin-1")
        assert offset == expect and length > 0, "sample track %s misplaced" % name
        expect += length
        lines.append(name + "...")
        files["m/" + name] = wave(dat[offset:offset + length])
    assert expect == len(dat), "sample data file does not end with its last track"
    return lines + [FINISHED], files


def run_case(case: Case, fl, program: List[str]) -> Optional[str]:
    """Runs one case; returns what went wrong, or None."""
    with tempfile.TemporaryDirectory(prefix="orvelune-e2e-") as root:
        root = os.path.realpath(root)
        for folder in case.folders:
            os.makedirs(os.path.join(root, folder), exist_ok=True)
        for rel, data in case.files.items():
            path = os.path.join(root, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        for link, target in case.links.items():
            if target.startswith("hard:"):
                os.link(os.path.join(os.path.dirname(os.path.join(root, link)), target[5:]),
                        os.path.join(root, link))
            else:
                os.symlink(target, os.path.join(root, link))

        stdout_lines, written = list(case.stdout), dict(case.written)
        if case.sample:
            subprocess.run(fl["generator"] + [os.path.join(root, "m")], check=True,
                           stdout=subprocess.DEVNULL)
            stdout_lines, written = expected_sample(root)
        before = tree(root)

        fill = lambda s: re.sub(r"\{root:([^}]*)\}",  # noqa: E731
                                lambda m: fl["full_path"](root, m.group(1)), s)
        args = [fill(a) for a in case.args]
        limit = case.limit_file_size

        def prepare():
            if case.stdin_closed:
                os.close(0)
            if limit is not None:
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

        out_target, reader = subprocess.PIPE, None
        if case.stdout_to == "full":
            out_target = open("/dev/full", "wb")
        elif case.stdout_to == "closed pipe":
            reader, out_target = os.pipe()
            os.close(reader)
        try:
            proc = subprocess.run(program + args, cwd=os.path.join(root, case.cwd),
                                  stdin=subprocess.DEVNULL, stdout=out_target,
                                  stderr=subprocess.PIPE, preexec_fn=prepare, timeout=120)
        finally:
            if case.stdout_to == "full":
                out_target.close()
            elif case.stdout_to == "closed pipe":
                os.close(out_target)

        problems = []
        if proc.returncode != case.status:
            problems.append("exit status %d, expected %d" % (proc.returncode, case.status))
        lb = fl["line_break"]
        if case.stdout_to is None:
            lines = (BANNER if case.banner else []) + [fill(s) for s in stdout_lines]
            want = "".join(line + lb for line in lines).encode("latin-1")
            if proc.stdout != want:
                problems.append("transcript differs:\n--- expected\n%s\n--- got\n%s" % (
                    shorten(want), shorten(proc.stdout)))
        err = proc.stderr.decode("latin-1")
        if case.stderr:
            if not re.match(case.stderr, err):
                problems.append("standard error %r does not match %r" % (err, case.stderr))
        elif err:
            problems.append("unexpected standard error: %r" % err)

        after = tree(root)
        want_tree = dict(before)
        want_tree.update(written)
        for rel in sorted(set(want_tree) | set(after)):
            if want_tree.get(rel) != after.get(rel):
                problems.append("%s: %s, expected %s" % (
                    rel, describe(after.get(rel)), describe(want_tree.get(rel))))
        return "\n".join(problems) or None


def shorten(data: bytes, limit: int = 3000) -> str:
    text = repr(data)
    return text if len(text) <= limit else text[:limit] + "... (%d bytes)" % len(data)


def describe(entry) -> str:
    if entry is None:
        return "absent"
    if isinstance(entry, bytes):
        return "%d bytes %s" % (len(entry), shorten(entry[:60], 200))
    return repr(entry)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--generator", help="the command that starts the sample-archive generator")
    parser.add_argument("--flavour", default="posix", choices=sorted(FLAVOURS))
    parser.add_argument("--module", help="program file name in the last-resort report")
    parser.add_argument("-k", dest="pattern", help="run only cases whose name holds this")
    parser.add_argument("program", nargs="+", help="the command that starts the program")
    opts = parser.parse_args()

    # Cases run in folders of their own: name the program by its full path.
    opts.program = [os.path.abspath(a) if os.path.exists(a) else a for a in opts.program]
    if opts.generator:
        opts.generator = [os.path.abspath(a) if os.path.exists(a) else a
                          for a in shlex.split(opts.generator)]
    fl = dict(FLAVOURS[opts.flavour], name=opts.flavour)
    fl["module"] = opts.module or os.path.basename(opts.program[-1])
    fl["generator"] = opts.generator
    cases = make_cases(fl)
    if opts.pattern:
        cases = [c for c in cases if opts.pattern in c.name]
    passed = failed = 0
    for case in cases:
        try:
            problem = run_case(case, fl, opts.program)
        except Exception:  # a broken case is a failed case, not a crash
            problem = traceback.format_exc()
        if problem:
            failed += 1
            print("FAIL %s\n%s" % (case.name, problem))
        else:
            passed += 1
            print("ok   %s" % case.name)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed or not cases else 0


if __name__ == "__main__":
    sys.exit(main())
