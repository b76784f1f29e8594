"""What differs between the systems the program is built for, in one place:
how it is started, what its text mode does to line ends and to the input,
which generator its C library has, and what its install looks like.

CTest tells the build's system in $PALINDROME_SYSTEM ("Linux", "Windows")
and the cross build's emulator in $PALINDROME_EMULATOR (wine).
"""

import ctypes
import os
import shlex

PROGRAM = os.environ.get("PALINDROME", "")
WINDOWS = os.environ.get("PALINDROME_SYSTEM") == "Windows"
EMULATOR = shlex.split(os.environ.get("PALINDROME_EMULATOR", ""))

# What the program's runs need of the test's environment: wine's prefix of
# the build's own, and its quiet.
PASSED_ON = {name: os.environ[name] for name in ("WINEPREFIX", "WINEDEBUG") if name in os.environ}

# What a user types to end the input early, and whether it does so only on
# a terminal: Ctrl-D is the terminal's own; Ctrl-Z then Enter is the C
# runtime's, so it ends piped input too.
END_OF_INPUT = "\x1a\n" if WINDOWS else "\x04"
END_OF_INPUT_NEEDS_TERMINAL = not WINDOWS

# Under wine a pseudo-terminal is wine's console emulation, with escape
# sequences and an echo of its own: not byte-exact.
NO_TERMINAL = "wine's console emulation on a terminal is not byte-exact" if WINDOWS else None


def command(program=PROGRAM):
    """How the program (or a copy of it) is started."""
    return [*EMULATOR, str(program)]


def typed(text):
    """What the keyboard sends for text (str or bytes): Enter is CR LF on
    Windows."""
    if not WINDOWS:
        return text
    if isinstance(text, bytes):
        return text.replace(b"\n", b"\r\n")
    return text.replace("\n", "\r\n")


def on_screen(text, terminal=False):
    """What arrives for text written by the program: Windows' text mode, like
    a terminal, turns every line feed into CR LF."""
    return text.replace("\n", "\r\n") if WINDOWS or terminal else text


def from_screen(raw):
    """The text the program wrote, from what arrived through a pipe; fails
    unless every line feed arrived as the system writes it."""
    text = raw.replace("\r\n", "\n") if WINDOWS else raw
    assert on_screen(text) == raw, f"line ends are not {'CR LF' if WINDOWS else 'LF'}: {raw!r}"
    return text


def as_read(data):
    """The characters the program reads of the bytes given as its input:
    Windows' text mode reads CR LF as LF and a Ctrl-Z as the end."""
    if WINDOWS:
        return data.split(b"\x1a", 1)[0].replace(b"\r\n", b"\n")
    return data


class _MicrosoftRand:
    """The Windows C runtime's generator (wine's is the same)."""

    def __init__(self):
        self.state = 1

    def srand(self, seed):
        self.state = seed & 0xFFFFFFFF

    def rand(self):
        self.state = (self.state * 214013 + 2531011) & 0xFFFFFFFF
        return (self.state >> 16) & 0x7FFF


class _LibcRand:
    """The C library's own srand and rand, called through ctypes."""

    def __init__(self):
        self._libc = ctypes.CDLL("libc.so.6")
        self._libc.srand.argtypes = [ctypes.c_uint]

    def srand(self, seed):
        self._libc.srand(seed & 0xFFFFFFFF)

    def rand(self):
        return self._libc.rand()


GENERATOR = _MicrosoftRand() if WINDOWS else _LibcRand()

# What an install holds, and so the download: a Windows folder holds the
# program and a text to open beside it, a Unix tree its usual places.
if WINDOWS:
    INSTALLED_PROGRAM = "palindrome.exe"
    INSTALLED_FILES = {INSTALLED_PROGRAM, "LIESMICH.txt"}
    DOWNLOAD_SYSTEM, DOWNLOAD_TYPE = "win64", ".zip"
else:
    INSTALLED_PROGRAM = "bin/palindrome"
    INSTALLED_FILES = {INSTALLED_PROGRAM, "share/man/man6/palindrome.6", "share/doc/palindrome/LIESMICH"}
    DOWNLOAD_SYSTEM, DOWNLOAD_TYPE = "Linux", ".tar.gz"
