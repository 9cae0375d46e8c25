"""A virtual serial receipt printer: a pseudo-terminal whose far end is copied to a file.

    python3 PtyPrinter.py LINK OUTPUT

Creates the pair, points the symbolic link LINK at the slave side and appends every
byte the terminal sends to OUTPUT until it is terminated.
"""
import os
import pty
import signal
import sys
import tty

link, output = sys.argv[1], sys.argv[2]
master, slave = pty.openpty()
tty.setraw(slave)
if os.path.lexists(link):
    os.remove(link)
os.symlink(os.ttyname(slave), link)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
with open(output, "ab", buffering=0) as out:
    while True:
        out.write(os.read(master, 4096))
