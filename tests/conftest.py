"""Shared helpers for driving the built palindrome program end to end.

The program's path comes from $PALINDROME (CTest sets it); how it is started
and what differs between systems is in target.py.  The clock is faked with
libfaketime: a stepping clock makes every clock read return a later second,
so even the longest palindrome builds at once and the same way every run; a
stopped clock never moves, so any build that needs a second digit waits for
ever.
"""

import calendar
import os
import re
import subprocess
import time

import pexpect
import pexpect.popen_spawn
import pytest

import target

SANITIZED = os.environ.get("PALINDROME_SANITIZED", "0") == "1"

TITLE = "Ein Programm zur Entwicklung vom Palindromen\n\n"
LENGTH_PROMPT = "\nAus wie viel Zahlen soll das Palindrom bestehen?\n"
RESULT_LABEL = "\nDas ist dein Palindrom:\t"
REPEAT_QUESTION = "\n\nMoechtest du eine weitere Aufgabe versuchen?\t (J)a oder (N)ein?"
FAREWELL = "\n\nDann bis zum naechsten Mal!"

FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
CLOCK_START = calendar.timegm((2026, 1, 1, 0, 0, 0))
STOPPED = "2026-01-01 00:00:00"

# Long enough for a slow sanitized start, short enough that a hang fails soon.
TIMEOUT = 10

# The ways a test may attach to the program's console.
TERMINAL_OR_PIPE = [
    pytest.param(True, id="terminal",
                 marks=pytest.mark.skipif(target.NO_TERMINAL is not None, reason=str(target.NO_TERMINAL))),
    pytest.param(False, id="pipe"),
]


def stepping(start=CLOCK_START):
    """A clock that starts at start and moves on a second at every read."""
    return time.strftime("@%Y-%m-%d %H:%M:%S i1", time.gmtime(start))


STEPPING = stepping()


def pytest_configure(config):
    if not target.PROGRAM or not os.access(target.PROGRAM, os.X_OK):
        raise pytest.UsageError("set PALINDROME to the built program")


def program_env(clock=None):
    """The environment for one run; clock is STEPPING, STOPPED or None (real)."""
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LC_ALL": "C", **target.PASSED_ON}
    if SANITIZED:
        # libfaketime is preloaded ahead of the sanitizer runtime.
        env["ASAN_OPTIONS"] = "verify_asan_link_order=0:detect_leaks=1"
        env["UBSAN_OPTIONS"] = "print_stacktrace=1"
    if clock is not None:
        # Faked file times would make wine rebuild its prefix, and its
        # waits are kept on the real monotonic clock.
        env.update(TZ="UTC", LD_PRELOAD=FAKETIME_LIB, FAKETIME=clock,
                   NO_FAKE_STAT="1", FAKETIME_DONT_FAKE_MONOTONIC="1")
    return env


def faketime_files(pid):
    """Where libfaketime keeps the step counter of process pid.  If these
    exist when the process starts, left by an earlier one of the same id, it
    silently uses the real clock."""
    return (f"/dev/shm/faketime_shm_{pid}", f"/dev/shm/sem.faketime_sem_{pid}")


def remove_faketime_files(pid):
    for path in faketime_files(pid):
        try:
            os.unlink(path)
        except FileNotFoundError:
            pass


def clean_start():
    """Runs in the child before it execs: no leftovers for its own id."""
    remove_faketime_files(os.getpid())


def run(data, clock=STEPPING, timeout=TIMEOUT, program=target.PROGRAM):
    """Runs the program with data typed as its whole input, then end of
    input, and checks that it ended as a normal run does: status 0, nothing
    on stderr.  Returns the text it wrote."""
    if isinstance(data, str):
        data = data.encode("latin-1")
    proc = subprocess.Popen(
        target.command(program),
        stdin=subprocess.PIPE,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        env=program_env(clock),
        preexec_fn=clean_start,
    )
    try:
        out, err = proc.communicate(target.typed(data), timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.communicate()
        pytest.fail(f"no end within {timeout} s for input {data!r}")
    finally:
        remove_faketime_files(proc.pid)
    err = err.decode("latin-1")
    assert proc.returncode == 0 and err == "", f"status {proc.returncode} for input {data!r}:\n{err}"
    return target.from_screen(out.decode("latin-1"))


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


def replay(lengths, first, step=1):
    """The digits a session of these lengths shows when its first clock read
    returns the second first and every read after it step seconds more: the
    seeding and drawing replayed with the system's own generator."""
    generator = target.GENERATOR
    clock = first

    def seed():
        nonlocal clock
        generator.srand(clock)
        clock += step

    shown = []
    for length in lengths:
        seed()
        half = [None]
        for i in range(1, half_length(length) + 1):
            seed()
            half.append(generator.rand() % 9)
            while i >= 2 and half[i] == half[i - 1]:
                seed()
                half[i] = generator.rand() % 9
        middle = [generator.rand() % 9] if length % 2 else []
        shown.append("".join(map(str, half[1:] + middle + half[:0:-1])))
    return shown


def session_input(lengths):
    """Input for a session that answers J after every length but the last."""
    return "j\n".join(f"{n}\n" for n in lengths) + "n\n\n"


# A session whose digits follow from one way alone in which the stepping
# clock can meet the program's reads: its even and odd, long and empty
# halves seed and draw in every order the program has.
CALIBRATION = [43, 1, 6, -3, 5, 0, 42, 2, 3, -1, 4]


@pytest.fixture(scope="session")
def clock_reads():
    """How the stepping clock meets the program: (first, step), the second
    its first clock read returns, counted from the clock's start, and the
    seconds each read moves on.  Natively (0, 1); a sanitizer runtime or
    wine reads the clock too, so it is found, once, rather than fixed."""
    shown = palindromes(run(session_input(CALIBRATION)))
    found = [(first, step) for step in (1, 2, 3, 4) for first in range(0, 40)
             if replay(CALIBRATION, CLOCK_START + first, step) == shown]
    assert len(found) == 1, f"{shown} follows from {len(found)} ways to read the clock: {found}"
    return found[0]


class Console:
    """The program under pexpect, on a terminal or through pipes, in the
    tests' own terms: the texts as the program writes them, input as typed."""

    def __init__(self, child, terminal):
        self.child = child
        self.terminal = terminal

    def shows(self, text, timeout=TIMEOUT):
        self.child.expect_exact(target.on_screen(text, self.terminal), timeout=timeout)

    def shows_match(self, pattern, timeout=TIMEOUT):
        self.child.expect(pattern, timeout=timeout)

    def type(self, text):
        self.child.send(target.typed(text))

    def shows_nothing_for(self, seconds):
        with pytest.raises(pexpect.TIMEOUT):
            self.child.expect(r"(?s).", timeout=seconds)

    def still_waiting(self, seconds=1):
        with pytest.raises(pexpect.TIMEOUT):
            self.child.expect(pexpect.EOF, timeout=seconds)

    def running(self):
        return self.child.isalive() if self.terminal else self.child.proc.poll() is None

    def ends(self, timeout=TIMEOUT):
        self.child.expect(pexpect.EOF, timeout=timeout)
        return self.child.wait()


@pytest.fixture
def console():
    """Starts the program under pexpect, on a terminal or through pipes, and
    kills whatever is still running at the end of the test."""
    children = []

    def start(clock=STEPPING, terminal=True):
        env = program_env(clock)
        command = target.command()
        if terminal:
            child = pexpect.spawn(command[0], command[1:], env=env, echo=False, timeout=TIMEOUT,
                                  encoding="latin-1", preexec_fn=clean_start)
        else:
            child = pexpect.popen_spawn.PopenSpawn(command, env=env, timeout=TIMEOUT, encoding="latin-1",
                                                   preexec_fn=clean_start)
        children.append(child)
        return Console(child, terminal)

    yield start
    for child in children:
        if isinstance(child, pexpect.spawn):
            child.close(force=True)
        elif child.proc.poll() is None:
            child.proc.kill()
            child.proc.wait()
        remove_faketime_files(child.pid)
