#!/usr/bin/env python3
"""A writer that follows a test's commands, so that the end-to-end tests can
rotate a log under a running ferrik as a logging program does.  It speaks
the protocol of tests/win_writer.cpp: one command a line on standard
input, fields separated by tabs, each answered with "ok" or "error TEXT".

  open PATH        opens PATH for appending (created if missing) and keeps
                   it open; a file held before is closed first
  write TEXT       appends TEXT through that descriptor; \\r, \\n, \\0 and
                   \\\\ stand for CR, LF, NUL and a backslash, \\xHH for a byte
  close            closes that descriptor
  create PATH      creates PATH empty (it must not exist) and closes it
  rename FROM TO   os.rename
  delete PATH      os.unlink
  mkdir PATH       os.mkdir
  rmdir PATH       os.rmdir
  exit             ends the program
"""

import os
import sys


def unescape(text):
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c != "\\" or i + 1 == len(text):
            out += c.encode("latin-1")
            i += 1
            continue
        n = text[i + 1]
        if n == "x":
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
            continue
        out += {"r": b"\r", "n": b"\n", "0": b"\0"}.get(n, n.encode("latin-1"))
        i += 2
    return bytes(out)


def main():
    held = None
    for line in sys.stdin.buffer:
        fields = line.decode("latin-1").rstrip("\r\n").split("\t")
        verb, args = fields[0], fields[1:]
        try:
            if verb == "open":
                if held is not None:
                    os.close(held)
                held = os.open(args[0], os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
            elif verb == "write":
                data = unescape(args[0])
                if os.write(held, data) != len(data):
                    raise OSError("short write")
            elif verb == "close":
                os.close(held)
                held = None
            elif verb == "create":
                os.close(os.open(args[0], os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644))
            elif verb == "rename":
                os.rename(args[0], args[1])
            elif verb == "delete":
                os.unlink(args[0])
            elif verb == "mkdir":
                os.mkdir(args[0])
            elif verb == "rmdir":
                os.rmdir(args[0])
            elif verb == "exit":
                print("ok", flush=True)
                return 0
            else:
                raise OSError("unknown command: " + verb)
            print("ok", flush=True)
        except (OSError, IndexError, TypeError, ValueError) as e:
            print(f"error {e}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
