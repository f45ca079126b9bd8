#!/usr/bin/python3
# A stand-in openvpn that asks for its login on the terminal as openvpn does:
# it prints the password prompt and only then turns echo off, flushing the
# input it has not read (that window is widened here, so an answer written in
# it is always lost). Each prompt comes in the pieces its configuration file
# names: "sizeN.ovpn", pieces of N characters; "atN.ovpn", split once after N.
# An answer that comes before its prompt is complete, or twice, fails.
import os
import re
import select
import sys
import termios
import time

PIECE_GAP = 0.005  # between the pieces of a prompt, so that they are read apart
ECHO_OFF_DELAY = 0.03  # between the password prompt and the flush
SETTLE = 0.1  # how long a second answer to a prompt has to show up
ANSWER_WAIT = 3  # an answer not here by then was lost (openvpn would wait for ever)

kind, number = re.fullmatch(r"(size|at)(\d+)\.ovpn", os.path.basename(sys.argv[2])).groups()
number = int(number)


def fail(why):
    os.write(1, ("\r\n%s\r\n" % why).encode())
    sys.exit(1)


def input_waiting(timeout=0.0):
    return bool(select.select([0], [], [], timeout)[0])


def prompt(text):
    if kind == "size":
        pieces = [text[i : i + number] for i in range(0, len(text), number)]
    else:
        pieces = [text[:number], text[number:]]
    for i, piece in enumerate(pieces):
        if i:
            time.sleep(PIECE_GAP)
        if input_waiting():
            fail("answered before the prompt was complete: %r" % os.read(0, 1024))
        os.write(1, piece.encode())


def read_answer():
    line = b""
    while not line.endswith(b"\n"):
        if not input_waiting(ANSWER_WAIT):
            fail("no answer came")
        chunk = os.read(0, 1024)
        if not chunk:
            fail("the input ended")
        line += chunk
    if input_waiting(SETTLE) or line.count(b"\n") > 1:
        fail("answered twice")
    return line[:-1].decode()


saved_modes = termios.tcgetattr(0)
no_echo = list(saved_modes)
no_echo[3] &= ~termios.ECHO


prompt("Enter Auth Username:")
user = read_answer()
prompt("Enter Auth Password:")
time.sleep(ECHO_OFF_DELAY)
termios.tcsetattr(0, termios.TCSAFLUSH, no_echo)
password = read_answer()
termios.tcsetattr(0, termios.TCSAFLUSH, saved_modes)
if (user, password) != ("alice", "s3cret"):
    fail("AUTH_FAILED for %r" % user)
os.write(1, b"\r\nInitialization Sequence Completed\r\n")
time.sleep(60)
