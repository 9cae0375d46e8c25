"""A virtual serial receipt printer: a pseudo-terminal whose far end is copied to a file.

    python3 PtyPrinter.py LINK OUTPUT [--held]

Creates the pair, points the symbolic link LINK at the slave side and appends every
byte the terminal sends to OUTPUT until it is terminated. --held: a printer that
takes nothing (the line's output is suspended).
"""
import os
import pty
import signal
import sys
import termios
import tty

link, output = sys.argv[1], sys.argv[2]
master, slave = pty.openpty()
tty.setraw(slave)
if "--held" in sys.argv[3:]:
    termios.tcflow(slave, termios.TCOOFF)
if os.path.lexists(link):
    os.remove(link)
os.symlink(os.ttyname(slave), link)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
with open(output, "ab", buffering=0) as out:
    while True:
        out.write(os.read(master, 4096))
