#!/usr/bin/env python3
"""Fault sweep: the real program, with one system call made to fail at a
time, at every place the program makes it.

A clean run of a typical split (four tracks, one of them longer than the
copy buffer) is traced first; then, for every system call the program itself
makes from its first console line on, and for each realistic error of that
call, the split is run again with just that call failing (strace's
`inject=SYSCALL:error=ERRNO:when=N`). The sweep runs twice: with the
kernel's copy, and with it refused, so that the program's own buffered copy
(its reads and writes chunk by chunk) is swept too.

Every run must end in one of two ways, and never be killed or hang:
  - status 0, the usual transcript, and every wave file byte-exact; or
  - status 1 and exactly one report, on standard output inside the split
    or the last-resort report on standard error outside it, naming an error
    class that fits the failed call.
And always: both inputs byte-identical, no file but the expected wave files,
and every file descriptor that the program opened closed again.

Then real faults, not injected ones: a file system that fills up, and a
read-only output folder.

    faults.py [-k TEXT] -- PROGRAM
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

FMT, DAT = "qvbgm_95.fmt", "qvbgm.dat"
LEAD_IN = b"Orvelune faults\n"
TRACKS = [("a.wav", 8000), ("long.wav", (5 << 19) + 2), ("b.wav", 4001), ("c.wav", 12)]
FINISHED = b"Spliting finished.\n"

# Realistic errors per call, and the error classes a failure there may raise.
ERRORS = {
    "openat": ["EACCES", "EMFILE"],
    "newfstatat": ["EIO"],
    "read": ["EIO"],
    "write": ["ENOSPC", "EIO"],
    "pwrite64": ["ENOSPC", "EIO"],
    "copy_file_range": ["ENOSPC", "EIO"],
    "sendfile": ["ENOSPC", "EIO"],
    "ftruncate": ["EFBIG", "EIO"],
    "lseek": ["EINVAL"],
    "close": ["EIO"],
    "getcwd": ["EACCES"],
    "chdir": ["EACCES"],
}
CLASSES = {
    "openat": {"EFOpenError", "EFCreateError"},
    "newfstatat": {"EFOpenError", "EFCreateError", "EOSError"},
    "read": {"EReadError", "EInOutError"},  # the format or data file; the final read of stdin
    "write": {"EInOutError"},
    "pwrite64": {"EWriteError"},
    "copy_file_range": {"EWriteError"},
    "sendfile": {"EWriteError"},
    "ftruncate": {"EOSError", "EFCreateError"},
    "lseek": {"EOSError"},
    "close": {"EWriteError"},
    "getcwd": {"EInOutError"},
    "chdir": {"EInOutError"},
}
BUFFERED = ["-e", "inject=copy_file_range:error=ENOSYS", "-e", "inject=sendfile:error=EINVAL"]


def wave(audio):
    return b"RIFF" + struct.pack("<I", 36 + len(audio)) + b"WAVE" + b"fmt " + \
        struct.pack("<IHHIIHH", 16, 1, 2, 44100, 176400, 4, 16) + b"data" + \
        struct.pack("<I", len(audio)) + audio


def fixture():
    fmt, dat, waves = b"", LEAD_IN, {}
    for i, (name, length) in enumerate(TRACKS):
        audio = bytes((j * 7 + i * 31 + j // 509) & 0xFF for j in range(length))
        fmt += name.encode().ljust(16, b"\0") + struct.pack("<I", len(dat)) + b"\0" * 8 + \
            struct.pack("<I", length) + b"\0" * 20
        dat += audio
        waves[name] = wave(audio)
    return {FMT: fmt, DAT: dat}, waves


INPUTS, WAVES = fixture()
TRANSCRIPT_TAIL = b"".join(name.encode() + b"...\n" for name, _ in TRACKS) + FINISHED


def lay_out(folder):
    os.makedirs(folder)
    for name, data in INPUTS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def contents(folder):
    found = {}
    for name in os.listdir(folder):
        with open(os.path.join(folder, name), "rb") as f:
            found[name] = f.read()
    return found


CALL = re.compile(r"^(?:\d+ +)?(\w+)\((.*)\) += (-?\d+|\?)")


def calls(log):
    """(syscall, first argument, result) of each traced call, in order."""
    out = []
    with open(log, errors="replace") as f:
        for line in f:
            m = CALL.match(line)
            if m:
                first = m.group(2).split(",")[0]
                # Descriptors match from run to run; paths and addresses need not.
                if not re.fullmatch(r"-?\d+|AT_FDCWD", first):
                    first = "*"
                out.append((m.group(1), first, m.group(3), "INJECTED" in line))
    return out


def strace(program, log, extra):
    return ["strace", "-f", "-qq", "-o", log] + extra + ["--"] + program


def check_run(folder, proc, log, syscall, expect_call):
    """What went wrong in one run, or None."""
    problems = []
    if proc.returncode < 0 or proc.returncode == 124:
        return ["killed by signal %d" % -proc.returncode]
    got = contents(folder)
    for name, data in INPUTS.items():
        if got.get(name) != data:
            problems.append("input %s changed" % name)
    extra = set(got) - set(INPUTS) - set(WAVES)
    if extra:
        problems.append("unexpected files %s" % sorted(extra))
    out, err = proc.stdout, proc.stderr.decode("latin-1")
    reports = re.findall(rb"Exception <(\w+)>:\n", out)
    uncaught = re.findall(r"^Exception (\w+) in module \S+ at [0-9A-F]+\.\n.+\.\n\n", err, re.M)
    if proc.returncode == 0:
        if not out.endswith(TRANSCRIPT_TAIL) or err:
            problems.append("status 0 but the transcript differs: %r %r" % (out[-200:], err))
        for name, data in WAVES.items():
            if got.get(name) != data:
                problems.append("status 0 but %s is not exact" % name)
    elif proc.returncode == 1:
        names = [r.decode() for r in reports] + uncaught
        if len(names) != 1:
            problems.append("status 1 with %d reports: %r %r" % (len(names), out[-300:], err))
        elif names[0] not in CLASSES[syscall]:
            problems.append("reported %s for a failed %s" % (names[0], syscall))
        if err and not uncaught:
            problems.append("stray standard error %r" % err)
        # Finished wave files are exact; an unfinished one is empty or starts
        # with 12 zero bytes.
        for name, data in WAVES.items():
            if name in got and got[name] != data and got[name][:12].strip(b"\0"):
                problems.append("%s looks finished but is not exact" % name)
    else:
        problems.append("status %d" % proc.returncode)
    # Every descriptor opened is closed again.
    traced = calls(log)
    open_fds = set()
    for call, first, result, injected in traced:
        if call == "openat" and not injected and result.isdigit() and int(result) > 2:
            open_fds.add(int(result))
        elif call == "close" and first.isdigit():
            open_fds.discard(int(first))
    if open_fds:
        problems.append("descriptors left open: %s" % sorted(open_fds))
    hits = [(c, a) for c, a, _, injected in traced if injected and c == syscall]
    if expect_call and (not hits or hits[0] != expect_call):
        problems.append("the fault hit %s, not %s" % (hits[:1], expect_call))
    return problems


def sweep(program, root, mode, extra, pattern):
    traced = sorted(ERRORS)
    log = os.path.join(root, "clean.log")
    folder = os.path.join(root, "clean-" + mode)
    lay_out(folder)
    proc = subprocess.run(strace(program, log, ["-e", "trace=" + ",".join(traced)] + extra),
                          cwd=folder, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    assert proc.returncode == 0 and contents(folder) == dict(INPUTS, **WAVES), \
        "clean %s run failed: %r" % (mode, proc.stderr[-500:])
    # The program's own calls: from its first console line on.
    seen, sites, started = {}, [], False
    for call, first, _, injected in calls(log):
        seen[call] = seen.get(call, 0) + 1
        started = started or (call == "write" and first == "1")
        if started and not injected and not (extra and call in ("copy_file_range", "sendfile")):
            sites.append((call, seen[call], first))

    results = []
    for call, n, first in sites:
        for error in ERRORS[call]:
            label = "%s: %s #%d (%s) fails with %s" % (mode, call, n, first, error)
            if pattern and pattern not in label:
                continue
            folder = os.path.join(root, "run%d" % len(results) + mode)
            run_log = folder + ".log"
            lay_out(folder)
            # An injection works on traced calls only.
            cmd = strace(program, run_log,
                         ["-e", "trace=openat,close,copy_file_range,sendfile," + call,
                          "-e", "inject=%s:error=%s:when=%d" % (call, error, n)] + extra)
            try:
                proc = subprocess.run(cmd, cwd=folder, stdin=subprocess.DEVNULL,
                                      capture_output=True, timeout=60)
                problems = check_run(folder, proc, run_log, call, (call, first))
            except subprocess.TimeoutExpired:
                problems = ["hung"]
            results.append((label, problems))
            shutil.rmtree(folder)
    return results


def real_faults(program, root):
    """A file system that fills up, and a read-only output folder: on a small
    tmpfs where this machine lets us mount one, else by RLIMIT_FSIZE and
    permissions."""
    results = []
    mount = os.path.join(root, "mnt")
    os.makedirs(mount)
    # The inputs take 2.6 MiB; room for them and a little more.
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2800k", "tmpfs", mount],
                             capture_output=True).returncode == 0
    try:
        folder = os.path.join(mount, "full")
        lay_out(folder)
        limit = None if mounted else 2800 << 10

        def prepare():
            if limit:
                import resource
                import signal
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit - len(INPUTS[DAT]),) * 2)
        proc = subprocess.run(program, cwd=folder, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=60, preexec_fn=prepare)
        problems = []
        got = contents(folder)
        if proc.returncode != 1 or b"Exception <EWriteError>:\nStream write error\n" not in \
                proc.stdout:
            problems.append("status %d, transcript %r" % (proc.returncode, proc.stdout[-300:]))
        if got.get("a.wav") != WAVES["a.wav"]:
            problems.append("the track before the full disk is not complete")
        if any(got.get(n) != d for n, d in INPUTS.items()):
            problems.append("an input changed")
        results.append(("full disk (%s)" % ("tmpfs" if mounted else "RLIMIT_FSIZE"), problems))
        shutil.rmtree(folder)

        folder = os.path.join(mount, "readonly")
        lay_out(folder)
        if mounted:
            subprocess.run(["mount", "-o", "remount,ro", mount], check=True)
        else:
            os.chmod(folder, 0o555)
        proc = subprocess.run(program, cwd=folder, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=60)
        problems = []
        if proc.returncode != 1 or b"Exception <EFCreateError>:\nCannot create file" not in \
                proc.stdout:
            problems.append("status %d, transcript %r" % (proc.returncode, proc.stdout[-300:]))
        if contents(folder) != INPUTS:
            problems.append("folder changed: %s" % sorted(contents(folder)))
        results.append(("read-only output folder (%s)" % (
            "read-only mount" if mounted else "permissions"), problems))
        if not mounted:
            os.chmod(folder, 0o755)
    finally:
        if mounted:
            subprocess.run(["umount", mount])
    return results


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("-k", dest="pattern")
    parser.add_argument("program", nargs="+")
    opts = parser.parse_args()
    program = [os.path.abspath(a) if os.path.exists(a) else a for a in opts.program]
    if shutil.which("strace") is None:
        print("faults: strace is missing (apt-get install strace)")
        return 1
    with tempfile.TemporaryDirectory(prefix="orvelune-faults-") as root:
        results = sweep(program, root, "kernel copy", [], opts.pattern)
        results += sweep(program, root, "buffered copy", BUFFERED, opts.pattern)
        if not opts.pattern:
            results += real_faults(program, root)
    failed = 0
    for label, problems in results:
        if problems:
            failed += 1
            print("FAIL %s\n     %s" % (label, "\n     ".join(problems)))
        elif not label.startswith(("kernel copy:", "buffered copy:")):
            print("ok   %s" % label)
    for mode in ("kernel copy", "buffered copy"):
        runs = [p for label, p in results if label.startswith(mode + ":")]
        print("%s: %d injected faults, %d handled as they should be" % (
            mode, len(runs), sum(1 for p in runs if not p)))
    print("%d passed, %d failed" % (len(results) - failed, failed))
    return 1 if failed or not results else 0


if __name__ == "__main__":
    sys.exit(main())
