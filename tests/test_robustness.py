"""Whatever the input and whatever becomes of the standard streams, the
program ends, writes only its own texts and tells a loss from a success."""

import os
import random
import re
import select
import subprocess

import pytest

import target
from conftest import (
    CLOCK_START,
    FAREWELL,
    LENGTH_PROMPT,
    REPEAT_QUESTION,
    RESULT_LABEL,
    TIMEOUT,
    TITLE,
    check_palindrome,
    events,
    faketime_files,
    palindromes,
    program_env,
    replay,
    run,
)

INT_MIN = -(2**31)  # above 43 is refused anyway, so no upper int limit is needed
BLANKS = b" \t\n\v\f\r"

BLANK_PIECES = [b" ", b"\t", b"\r", b"\n", b"\v", b"\f", b"  \n\n"]
NUMBERS = [b"0", b"1", b"-1", b"-3", b"-4", b"+5", b"7", b"17", b"42", b"43", b"44",
           b"0043", b"2147483647", b"2147483648", b"-2147483648", b"-2147483649"]
SIGNS_AND_DIGITS = [b"+", b"-", *(str(d).encode() for d in range(10))]
ANSWERS = [b"J", b"j", b"J", b"j", b"ja", b"N", b"n", b"nein", b"x", b"1"]
# Ctrl-Z (0x1a) ends the input on Windows and is junk elsewhere.
JUNK = [b"a", b"Z", b"\0", b"\xe4", b"\xff", b"\x80", b"\x1a", b"+ 5", b"- 5", b"5abc"]


def random_inputs(count, seed=20261211):
    """Inputs built like typed turns (blanks, a length, blanks, an answer)
    with any piece replaced at times by something the dialogue cannot use."""
    rng = random.Random(seed)

    def blanks():
        return b"".join(rng.choices(BLANK_PIECES, k=rng.randint(0, 2)))

    def piece(usual):
        if rng.random() < 0.15:
            return rng.choice(JUNK)
        if rng.random() < 0.1:
            return b"".join(rng.choices(SIGNS_AND_DIGITS, k=rng.randint(1, 12)))
        return rng.choice(usual)

    inputs = []
    for _ in range(count):
        turns = [blanks() + piece(NUMBERS) + blanks() + piece(ANSWERS) + blanks()
                 for _ in range(rng.randint(0, 4))]
        whole = b"\n".join(turns)
        # Cut some short, anywhere: end of input may come at any point.
        inputs.append(whole[: rng.randint(0, len(whole))] if rng.random() < 0.3 else whole)
    return inputs


def expected_events(typed):
    """What the dialogue does with an input, worked out independently of the
    program: "P" for each length prompt, then each accepted length."""
    data = target.as_read(target.typed(typed))
    pos, seen = 0, []

    def skip_blanks():
        nonlocal pos
        while pos < len(data) and data[pos] in BLANKS:
            pos += 1

    while True:
        seen.append("P")
        skip_blanks()
        start = pos
        if pos < len(data) and data[pos] in b"+-":
            pos += 1
        while pos < len(data) and data[pos] in b"0123456789":
            pos += 1
        number = data[start:pos]
        usable = number.lstrip(b"+-") != b"" and INT_MIN <= int(number) <= 43
        if not usable:
            line_end = data.find(b"\n", pos)
            if line_end < 0:
                return seen
            pos = line_end + 1
            continue
        seen.append(int(number))
        skip_blanks()
        if pos == len(data):
            return seen
        pos += 1
        if data[pos - 1] not in b"Jj":
            return seen


@pytest.mark.parametrize("data", random_inputs(300), ids=lambda d: f"{len(d)}b")
def test_random_input_gives_a_well_formed_session(data):
    note = f"for input {data!r}"
    seen = events(run(data, timeout=5), note)
    expected = expected_events(data)
    assert [e if e == "P" else "digits" for e in seen] == [e if e == "P" else "digits" for e in expected], note
    for digits, length in zip((e for e in seen if e != "P"), (e for e in expected if e != "P")):
        assert len(digits) <= 43, note
        check_palindrome(digits, length)


def closing(fd):
    return lambda: os.close(fd)


# Faults of the standard streams, without a fake clock: with a descriptor
# closed, a preloaded library's own files could take its number.
# name -> (stdin, stdout, fd to close, status, what stderr names)
ENVIRONMENT = {
    "stdin closed": (None, subprocess.PIPE, 0, 1, "standard input"),
    "stdin a directory": ("/", subprocess.PIPE, None, 1, "standard input"),
    "stdout closed": (subprocess.PIPE, None, 1, 1, "standard output"),
    "stdout full": (subprocess.PIPE, "/dev/full", None, 1, "standard output"),
    "stdin empty": ("/dev/null", subprocess.PIPE, None, 0, None),
}


@pytest.mark.parametrize("stdin, stdout, closed, status, named", ENVIRONMENT.values(), ids=ENVIRONMENT.keys())
def test_faults_of_the_standard_streams_end_at_once(stdin, stdout, closed, status, named):
    files = []
    if isinstance(stdin, str):
        stdin = os.open(stdin, os.O_RDONLY)
        files.append(stdin)
    if isinstance(stdout, str):
        stdout = os.open(stdout, os.O_WRONLY)
        files.append(stdout)
    # A stdin pipe is kept open and empty: a program that went on asking
    # after losing its output would wait here until the timeout.
    proc = subprocess.Popen(
        target.command(),
        stdin=stdin,
        stdout=stdout,
        stderr=subprocess.PIPE,
        env=program_env(),
        preexec_fn=None if closed is None else closing(closed),
    )
    for fd in files:
        os.close(fd)
    try:
        proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        proc.kill()
        pytest.fail("the program kept waiting")
    finally:
        out = proc.stdout.read().decode() if proc.stdout else None
        err = proc.stderr.read().decode()
        if proc.stdin:
            proc.stdin.close()
    assert proc.returncode == status
    if named:
        assert err.count("\n") == 1 and named in err, err
    else:
        assert err == ""
    if out is not None:
        assert target.from_screen(out) == TITLE + LENGTH_PROMPT + FAREWELL


# A session of two turns as the program writes it, one flush at a time, each
# followed by what the user types once it has been shown.  Lengths of at
# most 3 build at once on the real clock; digits are written as 0 here.
WRITES = [
    (TITLE + LENGTH_PROMPT, "3\n"),
    (RESULT_LABEL + "000" + REPEAT_QUESTION, "j\n"),
    (LENGTH_PROMPT, "2\n"),
    (RESULT_LABEL + "00" + REPEAT_QUESTION, "n\n"),
    (FAREWELL, "\n"),
]


def read_exactly(fd, size):
    data = b""
    while len(data) < size:
        ready, _, _ = select.select([fd], [], [], TIMEOUT)
        chunk = os.read(fd, size - len(data)) if ready else b""
        assert chunk, f"the output stopped after {data!r}"
        data += chunk
    return data.decode("latin-1")


@pytest.mark.parametrize("lost_at", range(1, len(WRITES) + 2),
                         ids=[f"write {n}" for n in range(1, len(WRITES) + 1)] + ["nothing lost"])
def test_output_lost_at_any_write_ends_the_run_at_once(lost_at):
    # The reader of the output goes away just before write lost_at.  Only
    # what the user could answer is typed, and the input stays open: a
    # program that asked on after its output was lost would wait here.
    reader, writer = os.pipe()
    if lost_at == 1:
        os.close(reader)
    # SIGPIPE stays ignored, as in this test: a write then fails, not kills.
    proc = subprocess.Popen(target.command(), stdin=subprocess.PIPE, stdout=writer, stderr=subprocess.PIPE,
                            env=program_env(), restore_signals=False)
    os.close(writer)
    try:
        for number, (text, answer) in enumerate(WRITES[: lost_at - 1], 1):
            shown = read_exactly(reader, len(target.on_screen(text)))
            assert re.sub("[0-8]", "0", shown) == target.on_screen(text)
            if number == lost_at - 1:
                os.close(reader)
            proc.stdin.write(target.typed(answer).encode())
            proc.stdin.flush()
        proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        pytest.fail("the program kept waiting after its output was lost")
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        proc.stdin.close()
        err = proc.stderr.read().decode()
        proc.stderr.close()
    if lost_at > len(WRITES):
        assert (proc.returncode, err) == (0, "")
    else:
        assert proc.returncode == 1
        assert err.count("\n") == 1 and "standard output" in err, err


def test_leftovers_of_earlier_processes_do_not_stop_the_fake_clock(clock_reads):
    # Leftovers for the ids the next processes will get: with them, a run
    # that did not clean up first would build on the real clock, 20 seconds.
    with open("/proc/sys/kernel/pid_max") as pid_max:
        ids = int(pid_max.read())
    with open("/proc/sys/kernel/ns_last_pid") as last_pid:
        last = int(last_pid.read())
    planted = []
    try:
        for pid in range(last + 1, last + 400):
            for path in faketime_files(pid % ids):
                if not os.path.exists(path):
                    open(path, "x").close()
                    planted.append(path)
        first, step = clock_reads
        assert palindromes(run("43\nn\n\n", timeout=5)) == replay([43], CLOCK_START + first, step)
    finally:
        for path in planted:
            try:
                os.unlink(path)
            except FileNotFoundError:  # a run took that id and cleaned up
                pass
