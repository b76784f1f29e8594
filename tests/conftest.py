"""Shared helpers for driving the built palindrome program end to end.

The program's path comes from $PALINDROME (CTest sets it).  The clock is
faked with libfaketime: a stepping clock makes every clock read return the
next second, so even the longest palindrome builds at once and the same way
every run; a stopped clock never moves, so any build that needs a second
digit waits for ever.
"""

import calendar
import ctypes
import os
import re
import subprocess

import pexpect
import pexpect.popen_spawn
import pytest

PROGRAM = os.environ.get("PALINDROME", "")
SANITIZED = os.environ.get("PALINDROME_SANITIZED", "0") == "1"

TITLE = "Ein Programm zur Entwicklung vom Palindromen\n\n"
LENGTH_PROMPT = "\nAus wie viel Zahlen soll das Palindrom bestehen?\n"
RESULT_LABEL = "\nDas ist dein Palindrom:\t"
REPEAT_QUESTION = "\n\nMoechtest du eine weitere Aufgabe versuchen?\t (J)a oder (N)ein?"
FAREWELL = "\n\nDann bis zum naechsten Mal!"

FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
CLOCK_START = calendar.timegm((2026, 1, 1, 0, 0, 0))
STEPPING = "@2026-01-01 00:00:00 i1"
STOPPED = "2026-01-01 00:00:00"

# Long enough for a slow sanitized start, short enough that a hang fails soon.
TIMEOUT = 10


def pytest_configure(config):
    if not PROGRAM or not os.access(PROGRAM, os.X_OK):
        raise pytest.UsageError("set PALINDROME to the built program")


def program_env(clock=None):
    """The environment for one run; clock is STEPPING, STOPPED or None (real)."""
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LC_ALL": "C"}
    if SANITIZED:
        # libfaketime is preloaded ahead of the sanitizer runtime.
        env["ASAN_OPTIONS"] = "verify_asan_link_order=0:detect_leaks=1"
        env["UBSAN_OPTIONS"] = "print_stacktrace=1"
    if clock is not None:
        env.update(TZ="UTC", LD_PRELOAD=FAKETIME_LIB, FAKETIME=clock)
    return env


def remove_faketime_leftovers(pid):
    """A fake clock killed in flight leaves its shared counter behind."""
    for path in (f"/dev/shm/faketime_shm_{pid}", f"/dev/shm/sem.faketime_sem_{pid}"):
        try:
            os.unlink(path)
        except FileNotFoundError:
            pass


def run(data, clock=STEPPING, timeout=TIMEOUT):
    """Runs the program with data as its whole input, then end of input, and
    checks that it ended as a normal run does: status 0, nothing on stderr."""
    if isinstance(data, str):
        data = data.encode("latin-1")
    proc = subprocess.Popen(
        [PROGRAM],
        stdin=subprocess.PIPE,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        env=program_env(clock),
    )
    try:
        out, err = proc.communicate(data, timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.communicate()
        pytest.fail(f"no end within {timeout} s for input {data!r}")
    finally:
        remove_faketime_leftovers(proc.pid)
    err = err.decode("latin-1")
    assert proc.returncode == 0 and err == "", f"status {proc.returncode} for input {data!r}:\n{err}"
    return out.decode("latin-1")


TURN = re.escape(RESULT_LABEL) + r"([0-9]*)" + re.escape(REPEAT_QUESTION)
SESSION = re.compile(
    re.escape(TITLE) + r"((?:" + re.escape(LENGTH_PROMPT) + r"|" + TURN + r")*)" + re.escape(FAREWELL)
)
EVENT = re.compile(r"(" + re.escape(LENGTH_PROMPT) + r")|" + TURN)


def events(output, note=""):
    """Splits a whole session into its length prompts ("P") and palindromes.

    Fails unless the output is the title, any sequence of length prompts and
    of (result label, digits, repeat question), then the farewell.
    """
    whole = SESSION.fullmatch(output)
    assert whole, f"output is not a well formed session: {output!r} {note}"
    return ["P" if m.group(1) else m.group(2) for m in EVENT.finditer(whole.group(1))]


def palindromes(output):
    return [e for e in events(output) if e != "P"]


def check_palindrome(digits, length):
    """The shape every palindrome of the given (accepted) length must have."""
    half = half_length(length)
    expected = max(half, 0) * 2 + (length % 2 != 0)
    assert len(digits) == expected, f"{length}: {digits!r}"
    assert digits == digits[::-1], digits
    assert "9" not in digits, digits
    first_half = digits[: max(half, 0)]
    for left, right in zip(first_half, first_half[1:]):
        assert left != right, f"equal neighbours in the half of {digits!r}"


def half_length(length):
    # C's division truncates toward zero; Python's // does not.
    return int((length - 1) / 2) if length % 2 else int(length / 2)


_libc = ctypes.CDLL("libc.so.6")
_libc.srand.argtypes = [ctypes.c_uint]


def replay(lengths, start):
    """The digits a session of these lengths shows when its first clock read
    returns start and every read after it the next second: the seeding and
    drawing replayed with the C library's own srand and rand."""
    clock = start

    def seed():
        nonlocal clock
        _libc.srand(clock & 0xFFFFFFFF)
        clock += 1

    shown = []
    for length in lengths:
        seed()
        half = [None]
        for i in range(1, half_length(length) + 1):
            seed()
            half.append(_libc.rand() % 9)
            while i >= 2 and half[i] == half[i - 1]:
                seed()
                half[i] = _libc.rand() % 9
        middle = [_libc.rand() % 9] if length % 2 else []
        shown.append("".join(map(str, half[1:] + middle + half[:0:-1])))
    return shown


def find_start(lengths, shown):
    """The first clock second for which the replay gives what was shown.

    It is searched near the fake clock's start rather than fixed, since a
    sanitizer runtime may read the clock before the program does.  A whole
    session of several turns has one start for all of them, so a shift inside
    it still shows.
    """
    for start in range(CLOCK_START - 2, CLOCK_START + 8):
        if replay(lengths, start) == shown:
            return start
    return None


def session_input(lengths):
    """Input for a session that answers J after every length but the last."""
    return "j\n".join(f"{n}\n" for n in lengths) + "n\n\n"


@pytest.fixture
def spawn():
    """Starts the program under pexpect, through a pty or through pipes, and
    kills whatever is still running at the end of the test."""
    children = []

    def start(clock=STEPPING, pty=True):
        env = program_env(clock)
        if pty:
            child = pexpect.spawn(PROGRAM, env=env, echo=False, timeout=TIMEOUT, encoding="latin-1")
        else:
            child = pexpect.popen_spawn.PopenSpawn(PROGRAM, env=env, timeout=TIMEOUT, encoding="latin-1")
        children.append(child)
        return child

    yield start
    for child in children:
        if isinstance(child, pexpect.spawn):
            child.close(force=True)
        elif child.proc.poll() is None:
            child.proc.kill()
            child.proc.wait()
        remove_faketime_leftovers(child.pid)
