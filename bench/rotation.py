#!/usr/bin/env python3
"""Rotation latency of a follower, for bench/run.sh: `FERRIK -0 -f LOG`
follows LOG into a pipe while this script rotates LOG ROUNDS times, by
rename and create (every third round by delete and create), each time at
a different point of the follower's poll.  For each rotation it measures
the time from the first write to the new file to the arrival of that
write's first byte on the follower's output.  Prints one line per
rotation, "latency_s=S", and last "median_s=M max_s=X rounds=N".

    bench/rotation.py FERRIK DIR [ROUNDS]
"""

import os
import statistics
import subprocess
import sys
import threading
import time


def main():
    ferrik, directory = sys.argv[1], sys.argv[2]
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 12
    log = os.path.join(directory, "rotating.log")
    fd = os.open(log, os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_APPEND, 0o644)
    proc = subprocess.Popen([ferrik, "-0", "-f", log], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    seen = bytearray()
    arrivals = {}          # marker -> time its first byte arrived
    cond = threading.Condition()

    def pump():
        while True:
            chunk = os.read(proc.stdout.fileno(), 1 << 16)
            now = time.monotonic()
            if not chunk:
                return
            with cond:
                seen.extend(chunk)
                for k in range(rounds):
                    marker = b"new file %d\n" % k
                    if k not in arrivals and marker in seen:
                        arrivals[k] = now
                cond.notify_all()

    threading.Thread(target=pump, daemon=True).start()
    time.sleep(1.5)
    latencies = []
    for k in range(rounds):
        os.write(fd, b"old line %d\n" % k)
        time.sleep(0.3 + (k * 0.37) % 1.0)
        if k % 3 == 2:
            os.unlink(log)
        else:
            os.rename(log, f"{log}.{k}")
        os.close(fd)
        fd = os.open(log, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_APPEND, 0o644)
        written = time.monotonic()
        os.write(fd, b"new file %d\n" % k)
        with cond:
            if not cond.wait_for(lambda: k in arrivals, 20):
                print(f"rotation {k}: not shown within 20 s", file=sys.stderr)
                proc.kill()
                return 1
        latencies.append(arrivals[k] - written)
        print(f"latency_s={latencies[-1]:.3f}", flush=True)
    proc.kill()
    proc.wait()
    print(f"median_s={statistics.median(latencies):.3f} max_s={max(latencies):.3f} "
          f"rounds={len(latencies)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
