#!/usr/bin/env python3
"""Follow-mode soak test: a writer appends to a file while `ferrik -f`
follows it into a pipe, and every byte must come out once.

The writer appends random pieces (every byte value, NUL runs, CR LF lines,
UTF-16 text whose units are sometimes split across two writes, bursts larger
than a read) at rates from back-to-back to more than a poll apart.  Now and
then it waits until ferrik has shown everything, truncates the file to 0 and
pauses for longer than a poll, so that ferrik sees the empty file and starts
again at position 0; then it goes on writing.  Everything written is then
shown exactly once: in byte mode as it is, with -u one byte per 16-bit unit
(the unit if it is at most 0xFF, else '?'), the byte-order mark left out at
file position 0 only, and an odd last byte or a first half of a surrogate
pair shown only once what completes it arrives (ferrik runs in the C locale).

With --rotate-every, the writer also rotates the file about that often, as
logging programs do: it renames it away (or, in some rounds, deletes it),
writes a few more bytes to the old file through its open descriptor, and
only then creates a new file under the name and writes on there.  ferrik
must finish the old file and show the new one from its start: the
expected output is every file's bytes in write order (with -u, a first half
of a pair left at the end of a finished file is shown as a lone surrogate,
'?'), and standard error must carry one notice for each rotation and
nothing else.

At the end the script compares what ferrik showed with what it should have
shown, prints the figures, and exits non-zero on any difference.  The
program under test is --binary, preceded by FERRIK_RUNNER when that is set
(as for the end-to-end tests).

    soak/soak.py --binary build/default/ferrik                      # 20 s
    soak/soak.py --binary build/default/ferrik --seconds 150 --truncations 25 -u
    soak/soak.py --binary build/default/ferrik --seconds 100 --truncations 3 --rotate-every 3 -u
"""

import argparse
import os
import random
import signal
import subprocess
import sys
import tempfile
import threading
import time

POLL = 1.0             # ferrik's poll interval
SHRINK_PAUSE = 2.5     # pause after a truncation: ferrik sees the empty file
CATCH_UP = 20.0        # deadline for ferrik to show what was written


class Output:
    """Collects a pipe in a thread, and lets the writer wait on its length."""

    def __init__(self, stream):
        self.data = bytearray()
        self.ended = False
        self.cond = threading.Condition()
        self.thread = threading.Thread(target=self._pump, args=(stream,), daemon=True)
        self.thread.start()

    def _pump(self, stream):
        fd = stream.fileno()
        while True:
            chunk = os.read(fd, 1 << 16)
            with self.cond:
                if not chunk:
                    self.ended = True
                    self.cond.notify_all()
                    return
                self.data += chunk
                self.cond.notify_all()

    def wait_for(self, predicate, timeout):
        with self.cond:
            return self.cond.wait_for(lambda: self.ended or predicate(self.data), timeout)

    def size(self):
        with self.cond:
            return len(self.data)


def shown_end(segment):
    """Where the units ferrik -u shows end: a first half of a surrogate pair
    at the end waits for its second half, as an odd byte does."""
    even = len(segment) & ~1
    if even >= 2 and 0xD8 <= segment[even - 1] <= 0xDB:
        even -= 2
    return even


def utf16_view(segment, finished=False):
    """What ferrik -u shows of a file that holds `segment`, read from 0.  Of
    a file that rotation has finished, a first half of a pair left at its
    end is shown as a lone surrogate, '?' in the C locale."""
    even = shown_end(segment)
    start = 2 if even >= 2 and segment[0] == 0xFF and segment[1] == 0xFE else 0
    lo = segment[start:even:2]
    hi = segment[start + 1:even:2]
    lone = b"?" if finished and even < (len(segment) & ~1) else b""
    return bytes(low if high == 0 else 0x3F for low, high in zip(lo, hi)) + lone


def utf16_view_size(segment, finished=False):
    even = shown_end(segment)
    marked = even >= 2 and segment[0] == 0xFF and segment[1] == 0xFE
    lone = finished and even < (len(segment) & ~1)
    return even // 2 - (1 if marked else 0) + (1 if lone else 0)


def text_utf16(rng):
    """UTF-16LE text: Latin-1, Greek, CJK, an astral character, CR LF."""
    chars = ["a", "b", " ", "\r\n", "\u00e9", "\u00ff", "\u00a0", "\0",
             "\u03b1", "\u4e2d", "\ufeff", "\U0001F600", "Z"]
    return "".join(rng.choice(chars) for _ in range(rng.randint(1, 600))).encode("utf-16-le")


def random_piece(rng):
    kind = rng.random()
    if kind < 0.25:       # every byte value, odd sizes
        return rng.randbytes(rng.randrange(1, 5000, 2))
    if kind < 0.35:       # NUL runs
        return b"\0" * rng.randint(1, 3000)
    if kind < 0.6:        # CR LF lines
        return b"".join(b"line %d\r\n" % rng.randint(0, 10**6) for _ in range(rng.randint(1, 40)))
    if kind < 0.95:
        return text_utf16(rng)
    # A burst larger than a read of 128 KiB and than the pipe's buffer.
    return rng.randbytes(rng.randint(130 * 1024, 400 * 1024))


def pace(rng, phase):
    """Seconds to wait before the next piece, by the phase the writer is in."""
    if phase == "fast":
        return rng.uniform(0, 0.005)
    if phase == "medium":
        return rng.uniform(0.02, 0.3)
    return rng.uniform(0.6, 1.6)


def mismatch(expected, shown, key=64):
    """Counts bytes lost (expected, never shown) and doubled (shown beyond
    what was expected) by walking both and resynchronising on `key`-byte
    pieces.  Exact when the two are equal; a close estimate otherwise."""
    i = j = lost = doubled = 0
    first = None
    while i < len(expected) and j < len(shown):
        if expected[i] == shown[j]:
            i += 1
            j += 1
            continue
        if first is None:
            first = i
        ahead = expected.find(shown[j:j + key], i) if j + key <= len(shown) else -1
        back = shown.find(expected[i:i + key], j) if i + key <= len(expected) else -1
        if ahead >= 0 and (back < 0 or ahead - i <= back - j):
            lost += ahead - i
            i = ahead
        elif back >= 0:
            doubled += back - j
            j = back
        else:
            lost += len(expected) - i
            doubled += len(shown) - j
            i, j = len(expected), len(shown)
    if first is None and (i < len(expected) or j < len(shown)):
        first = i
    lost += len(expected) - i
    doubled += len(shown) - j
    return lost, doubled, first


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--binary", required=True, help="the ferrik executable")
    parser.add_argument("--seconds", type=float, default=20, help="how long the writer writes")
    parser.add_argument("--truncations", type=int, default=4, help="how often it truncates")
    parser.add_argument("--rotate-every", type=float, default=0,
                        help="rotate the file about this often, in seconds (0: never)")
    parser.add_argument("-u", "--unicode", action="store_true", help="follow with -u")
    parser.add_argument("--seed", type=int, default=None, help="replay a run")
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 32)
    rng = random.Random(seed)
    mode = "utf16 (-u)" if args.unicode else "bytes"
    print(f"soak: {mode}, {args.seconds:g} s, {args.truncations} truncations, "
          f"rotation every {args.rotate_every:g} s, seed {seed}", flush=True)

    command = [os.environ["FERRIK_RUNNER"]] if os.environ.get("FERRIK_RUNNER") else []
    command += [args.binary, "-f"] + (["-u"] if args.unicode else [])
    with tempfile.TemporaryDirectory(prefix="ferrik-soak-") as tmp:
        path = os.path.join(tmp, "soak.log")
        log = {"fd": os.open(path, os.O_WRONLY | os.O_CREAT | os.O_APPEND | os.O_TRUNC, 0o644)}
        # The C locale: -u writes one byte per unit, as the model above does.
        proc = subprocess.Popen(command + [path], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                env=dict(os.environ, LC_ALL="C"))
        out = Output(proc.stdout)
        err = Output(proc.stderr)
        failures = []
        if not out.wait_for(lambda d: b"\n" in d, 60):
            failures.append("no banner within 60 s")
        banner_size = out.data.find(b"\n") + 1
        banner = bytes(out.data[:banner_size])
        if not banner.startswith(b"ferrik "):
            failures.append(f"banner is {banner!r}")

        segments = [bytearray()]   # the file's content between truncations
        rotated = set()            # the segments that a rotation finished
        done = []                  # what was shown of each finished segment

        def expected_size():
            view = utf16_view_size if args.unicode else len
            return sum(done) + view(segments[-1])

        def catch_up(what):
            target = banner_size + expected_size()
            if not out.wait_for(lambda d: len(d) >= target, CATCH_UP):
                failures.append(f"{what}: {out.size() - banner_size} of "
                                f"{target - banner_size} bytes shown after {CATCH_UP:g} s")

        def write(data):
            view = memoryview(data)
            while view:
                view = view[os.write(log["fd"], view):]
            segments[-1].extend(data)

        rotations = []   # "rename" or "delete", one for each rotation

        def rotate():
            view = utf16_view_size if args.unicode else len
            if rng.random() < 0.3:
                os.unlink(path)
                rotations.append("delete")
            else:
                os.rename(path, f"{path}.{len(rotations) + 1}")
                rotations.append("rename")
            # The writer has not noticed yet: a little more for the old file.
            for _ in range(rng.randint(1, 3)):
                write(random_piece(rng)[:rng.randint(1, 300)])
                time.sleep(rng.uniform(0, 0.3))
            os.close(log["fd"])
            log["fd"] = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_APPEND, 0o644)
            rotated.add(len(segments) - 1)
            done.append(view(segments[-1], True) if args.unicode else view(segments[-1]))
            segments.append(bytearray())
            if args.unicode and rng.random() < 0.5:
                write(b"\xff\xfe")

        start = time.monotonic()
        rotate_at = start + args.rotate_every if args.rotate_every > 0 else None
        end = start + args.seconds
        shrink_at = [start + args.seconds * (k + rng.uniform(0.6, 1.4)) / (args.truncations + 1)
                     for k in range(args.truncations)]
        pieces = 0
        phase, phase_end = "fast", start + 1
        while time.monotonic() < end:
            if time.monotonic() >= phase_end:
                phase = rng.choice(["fast", "fast", "medium", "slow"])
                phase_end = time.monotonic() + rng.uniform(0.5, 3)
            if shrink_at and time.monotonic() >= shrink_at[0]:
                shrink_at.pop(0)
                catch_up(f"before truncation {len(done) + 1}")
                os.ftruncate(log["fd"], 0)
                view = utf16_view_size if args.unicode else len
                done.append(view(segments[-1]))
                segments.append(bytearray())
                time.sleep(SHRINK_PAUSE)
                if args.unicode and rng.random() < 0.5:
                    # A mark at file position 0 is left out, also when
                    # its two bytes arrive apart.
                    mark = b"\xff\xfe"
                    if rng.random() < 0.5:
                        write(mark[:1])
                        time.sleep(rng.uniform(0, 1.5))
                        mark = mark[1:]
                    write(mark)
                continue
            if rotate_at is not None and time.monotonic() >= rotate_at:
                rotate()
                rotate_at = time.monotonic() + args.rotate_every * rng.uniform(0.8, 1.2)
                continue
            piece = random_piece(rng)
            if len(piece) > 2 and rng.random() < 0.3:
                # Split inside a unit (an odd cut), now and then with a
                # pause that straddles a poll.
                cut = rng.randrange(1, len(piece), 2)
                write(piece[:cut])
                long_pause = phase == "slow" or rng.random() < 0.03
                time.sleep(rng.uniform(0.8, 1.6) if long_pause else pace(rng, phase))
                piece = piece[cut:]
            write(piece)
            pieces += 1
            time.sleep(pace(rng, phase))

        catch_up("at the end")
        notice = (f"ferrik: {path}: a new file has this name; "
                  "showing it from its start\n").encode()
        # A rotation just before the end, whose new file is still empty,
        # is taken only after a quiet poll: its notice may still be due.
        err.wait_for(lambda d: d.count(notice) >= len(rotations), 60)
        # Give a wrong extra byte its chance to show up before the count.
        time.sleep(POLL + 0.5)
        os.close(log["fd"])
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            failures.append("ferrik did not end on SIGTERM")
        out.thread.join(10)
        err.thread.join(10)

        if proc.returncode != -signal.SIGTERM:
            failures.append(f"ferrik ended with {proc.returncode}, not by SIGTERM")
        if bytes(err.data) != notice * len(rotations):
            failures.append(f"standard error, with {len(rotations)} notices expected: "
                            + err.data[:500].decode("latin-1"))

        if args.unicode:
            expected = b"".join(utf16_view(bytes(s), i in rotated) for i, s in enumerate(segments))
        else:
            expected = b"".join(bytes(s) for s in segments)
        shown = bytes(out.data[banner_size:])
        written = sum(len(s) for s in segments)
        lost, doubled, first = mismatch(expected, shown)
        if shown != expected:
            failures.append(f"output differs from byte {first} of the expected output")

    print(f"  written      {written} bytes in {pieces} pieces")
    print(f"  truncations  {len(segments) - 1 - len(rotations)}")
    print(f"  rotations    {len(rotations)} ({rotations.count('rename')} by rename, "
          f"{rotations.count('delete')} by delete)")
    print(f"  expected     {len(expected)} bytes")
    print(f"  shown        {len(shown)} bytes")
    print(f"  lost         {lost}")
    print(f"  doubled      {doubled}")
    for f in failures:
        print(f"  FAILED: {f}")
    print(f"soak: {'FAIL' if failures else 'PASS'} (seed {seed})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
