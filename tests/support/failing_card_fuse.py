#!/usr/bin/python3
"""A dying memory card for the end-to-end tests, served through FUSE.

Serves BACKING as the read-only file MOUNTPOINT/card.img. Reads that reach a
bad byte range fail with EIO; a read that starts before such a range
returns the bytes up to it first, as a card returns a partial transfer.
Reads that touch a slow range take the given seconds longer. After the
given number of failed reads the card dies: from then on every read fails
with EIO, as a card whose controller has hung.

The first read that touches a hold range stops there until the release
file appears (the server then removes it), so that a test can act while a
program waits on exactly that part of the card; the hold is logged as
"OFFSET LENGTH held" before the wait. With --arm-after, holds wait for a
read of at least that many bytes first: a scan's walk reads far more at
once than the probes of a card's start and end that come before it.

The mount uses direct_io, so every read of a program reaches this server
with its own offset and length, never merged or split by the page cache:
a program and its competitor see exactly the same card.

Every read is appended to the log file as "OFFSET LENGTH ok|fail".

  failing_card_fuse.py BACKING MOUNTPOINT [--bad START:LENGTH]...
      [--slow START:LENGTH:SECONDS]... [--die-after-failures N] [--log FILE]
      [--hold START:LENGTH]... [--release FILE] [--arm-after LENGTH]

Runs in the foreground until the mount point is unmounted.
"""

import argparse
import errno
import os
import stat
import time

from fusepy import FUSE, FuseOSError, Operations

CARD_NAME = "card.img"


def byte_range(text):
    start, length = text.split(":")
    return int(start, 0), int(start, 0) + int(length, 0)


def slow_range(text):
    start, length, seconds = text.split(":")
    return int(start, 0), int(start, 0) + int(length, 0), float(seconds)


class FailingCard(Operations):
    def __init__(self, backing, bad, slow, die_after_failures, log, holds, release,
                 arm_after):
        self.backing = open(backing, "rb")
        self.size = os.fstat(self.backing.fileno()).st_size
        self.bad = sorted(bad)
        self.slow = slow
        self.die_after_failures = die_after_failures
        self.failures = 0
        self.log = open(log, "a", buffering=1) if log else None
        self.holds = list(holds)
        self.release_file = release
        self.armed = not arm_after
        self.arm_after = arm_after

    def getattr(self, path, fh=None):
        now = time.time()
        if path == "/":
            return {"st_mode": stat.S_IFDIR | 0o555, "st_nlink": 2,
                    "st_atime": now, "st_mtime": now, "st_ctime": now}
        if path == "/" + CARD_NAME:
            return {"st_mode": stat.S_IFREG | 0o444, "st_nlink": 1, "st_size": self.size,
                    "st_atime": now, "st_mtime": now, "st_ctime": now}
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        return [".", "..", CARD_NAME]

    def open(self, path, flags):
        if path != "/" + CARD_NAME:
            raise FuseOSError(errno.ENOENT)
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise FuseOSError(errno.EROFS)
        return 0

    def fail(self, offset, size):
        self.failures += 1
        self.note(offset, size, "fail")
        raise FuseOSError(errno.EIO)

    def note(self, offset, size, outcome):
        if self.log:
            self.log.write("%d %d %s\n" % (offset, size, outcome))

    def hold(self, offset, size, end):
        self.armed = self.armed or size >= self.arm_after
        if not self.armed:
            return
        for start, stop in self.holds:
            if start < end and stop > offset:
                self.holds.remove((start, stop))
                self.note(offset, size, "held")
                while not os.path.exists(self.release_file):
                    time.sleep(0.01)
                os.remove(self.release_file)
                return

    def read(self, path, size, offset, fh):
        end = min(offset + size, self.size)
        if offset >= end:
            return b""
        self.hold(offset, size, end)
        for start, stop, seconds in self.slow:
            if start < end and stop > offset:
                time.sleep(seconds)
        if self.die_after_failures is not None and self.failures >= self.die_after_failures:
            self.fail(offset, size)
        for start, stop in self.bad:
            if stop <= offset or start >= end:
                continue
            if start <= offset:
                self.fail(offset, size)
            end = start
            break
        self.backing.seek(offset)
        data = self.backing.read(end - offset)
        self.note(offset, size, "ok")
        return data


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("backing")
    parser.add_argument("mountpoint")
    parser.add_argument("--bad", type=byte_range, action="append", default=[])
    parser.add_argument("--slow", type=slow_range, action="append", default=[])
    parser.add_argument("--die-after-failures", type=int)
    parser.add_argument("--log")
    parser.add_argument("--hold", type=byte_range, action="append", default=[])
    parser.add_argument("--release")
    parser.add_argument("--arm-after", type=lambda text: int(text, 0), default=0)
    args = parser.parse_args()
    card = FailingCard(args.backing, args.bad, args.slow, args.die_after_failures, args.log,
                       args.hold, args.release, args.arm_after)
    FUSE(card, args.mountpoint, foreground=True, nothreads=True, ro=True, direct_io=True)


if __name__ == "__main__":
    main()
