"""Whatever the input and whatever becomes of the standard streams, the
program ends, writes only its own texts and tells a loss from a success."""

import os
import random
import subprocess

import pytest

from conftest import (
    FAREWELL,
    LENGTH_PROMPT,
    PROGRAM,
    TITLE,
    check_palindrome,
    events,
    program_env,
    run,
)

INT_MIN = -(2**31)  # above 43 is refused anyway, so no upper int limit is needed
BLANKS = b" \t\n\v\f\r"

BLANK_PIECES = [b" ", b"\t", b"\r", b"\n", b"\v", b"\f", b"  \n\n"]
NUMBERS = [b"0", b"1", b"-1", b"-3", b"-4", b"+5", b"7", b"17", b"42", b"43", b"44",
           b"0043", b"2147483647", b"2147483648", b"-2147483648", b"-2147483649"]
SIGNS_AND_DIGITS = [b"+", b"-", *(str(d).encode() for d in range(10))]
ANSWERS = [b"J", b"j", b"J", b"j", b"ja", b"N", b"n", b"nein", b"x", b"1"]
JUNK = [b"a", b"Z", b"\0", b"\xe4", b"\xff", b"\x80", b"+ 5", b"- 5", b"5abc"]


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


def expected_events(data):
    """What the dialogue does with an input, worked out independently of the
    program: "P" for each length prompt, then each accepted length."""
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
        [PROGRAM],
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
        assert out == TITLE + LENGTH_PROMPT + FAREWELL
