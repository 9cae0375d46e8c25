"""A virtual serial receipt printer: a pseudo-terminal whose far end is copied to a file.

    python3 PtyPrinter.py LINK OUTPUT [--held] [--state FILE]

Creates the pair, points the symbolic link LINK at the slave side and appends every
byte the terminal sends to OUTPUT until it is terminated. --held: a printer that
takes the status request and then nothing (the line's output is suspended once it
has been asked: a line held from the start refuses the payment before it is made). The real-time status requests
(DLE EOT 1, 2, 4) are a printer's, never printed; with --state the printer answers
them with the condition FILE names when asked (ready, near-end, paper-end,
cover-open, offline; ready without the file), without it it has no back channel.
"""
import os
import pty
import signal
import sys
import termios
import tty

link, output = sys.argv[1], sys.argv[2]
options = sys.argv[3:]
state = options[options.index("--state") + 1] if "--state" in options else None
master, slave = pty.openpty()
tty.setraw(slave)
held = "--held" in options
if os.path.lexists(link):
    os.remove(link)
os.symlink(os.ttyname(slave), link)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

# Answer bytes: printer status (offline), offline cause (cover, paper-end stop),
# paper roll sensor (near end, end).
ANSWERS = {
    "ready": {1: 0x12, 2: 0x12, 4: 0x12},
    "near-end": {1: 0x12, 2: 0x12, 4: 0x1E},
    "paper-end": {1: 0x1A, 2: 0x32, 4: 0x7E},
    "cover-open": {1: 0x1A, 2: 0x16, 4: 0x12},
    "offline": {1: 0x1A, 2: 0x12, 4: 0x12},
}


def condition():
    try:
        with open(state) as f:
            return (f.read().split() or ["ready"])[0]
    except FileNotFoundError:
        return "ready"


pending = b""
with open(output, "ab", buffering=0) as out:
    while True:
        data = pending + os.read(master, 4096)
        pending = b""
        printed = bytearray()
        i = 0
        while i < len(data):
            if data[i] == 0x10 and len(data) - i < 3:
                pending = data[i:]  # a request cut off: its rest comes next
                break
            if data[i] == 0x10 and data[i + 1] == 0x04:
                if state is not None:
                    os.write(master, bytes([ANSWERS.get(condition(), ANSWERS["ready"]).get(data[i + 2], 0x12)]))
                if held and data[i + 2] == 4:  # the request's last question
                    termios.tcflow(slave, termios.TCOOFF)
                i += 3
                continue
            printed.append(data[i])
            i += 1
        out.write(bytes(printed))
