"""The palindrome builder: the shape of every palindrome, its exact digits
for a known clock, and how the build waits on the clock."""

import subprocess
import time

import pexpect
import pytest

from conftest import (
    LENGTH_PROMPT,
    PROGRAM,
    REPEAT_QUESTION,
    RESULT_LABEL,
    STOPPED,
    check_palindrome,
    find_start,
    palindromes,
    program_env,
    run,
    session_input,
)

# length -> how many digits it shows
DIGITS = {-4: 0, -3: 1, -1: 1, 0: 0, 1: 1, 2: 2, 3: 3, 4: 4, 42: 42, 43: 43}


@pytest.mark.parametrize("length, count", DIGITS.items(), ids=map(str, DIGITS))
def test_shape_of_each_length(length, count):
    (digits,) = palindromes(run(f"{length}\nn\n\n"))
    assert len(digits) == count
    check_palindrome(digits, length)
    if length >= 2 and length % 2 == 0:
        half = length // 2
        assert digits[half - 1] == digits[half], f"middle of {digits!r} is not doubled"


def test_no_nine_and_no_equal_neighbours_over_many_seconds():
    # Every turn starts from a later second, so this sees many seeds.
    lengths = [43] * 12 + [42] * 12
    for length, digits in zip(lengths, palindromes(run(session_input(lengths)))):
        check_palindrome(digits, length)


# Sessions whose digits are replayed exactly.  Several turns share one
# clock, so the seeding of each turn, of each draw and of none for the
# middle digit all show; lengths 1 and -3 show the seed before the half.
SESSIONS = {
    "longest": [43],
    "mixed turns": [43, 1, 6, -3, 5, 0, 42, 2, 3, -1, 4],
    "empty halves": [1, -3, 1, -1, 1],
}


@pytest.mark.parametrize("lengths", SESSIONS.values(), ids=SESSIONS.keys())
def test_digits_follow_from_the_clock(lengths):
    shown = palindromes(run(session_input(lengths)))
    assert len(shown) == len(lengths)
    assert find_start(lengths, shown) is not None, f"{shown} is no replay of the clock"


@pytest.mark.parametrize("length", [-3, 0, 1, 2, 3])
def test_short_lengths_finish_on_a_stopped_clock(length):
    (digits,) = palindromes(run(f"{length}\nn\n\n", clock=STOPPED))
    check_palindrome(digits, length)


@pytest.mark.parametrize("length", [4, 43])
def test_longer_lengths_wait_on_a_stopped_clock_writing_nothing(spawn, length):
    child = spawn(clock=STOPPED, pty=False)
    child.expect_exact(LENGTH_PROMPT)
    child.send(f"{length}\n")
    with pytest.raises(pexpect.TIMEOUT):
        child.expect(r"(?s).", timeout=1.5)
    assert child.proc.poll() is None, "the build ended without a new second"


def test_each_digit_waits_for_a_later_second_of_the_real_clock():
    # A half of three digits needs at least two changes of the second.
    started = time.time()
    result = subprocess.run([PROGRAM], input=b"6\nn\n\n", capture_output=True, env=program_env(), timeout=30)
    ended = time.time()
    (digits,) = palindromes(result.stdout.decode())
    check_palindrome(digits, 6)
    assert int(ended) - int(started) >= 2


def test_short_build_does_not_wait_on_the_real_clock(spawn):
    child = spawn(clock=None, pty=False)
    child.expect_exact(LENGTH_PROMPT)
    child.send("3\n")
    child.expect_exact(RESULT_LABEL, timeout=0.9)
    child.expect_exact(REPEAT_QUESTION, timeout=0.1)
