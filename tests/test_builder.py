"""The palindrome builder: the shape of every palindrome, its exact digits
for a known clock, and how the build waits on the clock."""

import time

import pytest

from conftest import (
    CLOCK_START,
    LENGTH_PROMPT,
    REPEAT_QUESTION,
    RESULT_LABEL,
    STOPPED,
    TERMINAL_OR_PIPE,
    check_palindrome,
    palindromes,
    replay,
    run,
    session_input,
    stepping,
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


# Sessions whose digits are replayed exactly (the clock_reads fixture
# replays a session that mixes all kinds of turns).  Several turns share one
# clock, so the seeding of each turn, of each draw and of none for the
# middle digit all show; lengths 1 and -3 show the seed before the half.
SESSIONS = {
    "longest": [43],
    "empty halves": [1, -3, 1, -1, 1, 1, -1, -3],
}


@pytest.mark.parametrize("lengths", SESSIONS.values(), ids=SESSIONS.keys())
def test_digits_follow_from_the_clock(clock_reads, lengths):
    first, step = clock_reads
    shown = palindromes(run(session_input(lengths)))
    assert shown == replay(lengths, CLOCK_START + first, step)


@pytest.mark.parametrize("digit", range(9))
def test_a_half_may_start_with_any_digit(clock_reads, digit):
    # The first digit is taken as drawn: nothing before it to differ from.
    first, step = clock_reads
    start = next(s for s in range(CLOCK_START, CLOCK_START + 100)
                 if replay([5], s + first, step)[0][0] == str(digit))
    shown = palindromes(run("5\nn\n\n", clock=stepping(start)))
    assert shown == replay([5], start + first, step)


@pytest.mark.parametrize("length", [-3, 0, 1, 2, 3])
def test_short_lengths_finish_on_a_stopped_clock(length):
    (digits,) = palindromes(run(f"{length}\nn\n\n", clock=STOPPED))
    check_palindrome(digits, length)


@pytest.mark.parametrize("terminal", TERMINAL_OR_PIPE)
@pytest.mark.parametrize("length", [4, 43])
def test_longer_lengths_wait_on_a_stopped_clock_writing_nothing(console, length, terminal):
    # Through a pipe the output is held in a buffer until a flush; on a
    # terminal each line feed shows at once.
    program = console(clock=STOPPED, terminal=terminal)
    program.shows(LENGTH_PROMPT)
    program.type(f"{length}\n")
    program.shows_nothing_for(1.5)
    assert program.running(), "the build ended without a new second"


def test_each_digit_waits_for_a_later_second_of_the_real_clock():
    # A half of three digits needs at least two changes of the second.
    started = time.time()
    (digits,) = palindromes(run("6\nn\n\n", clock=None, timeout=30))
    ended = time.time()
    check_palindrome(digits, 6)
    assert int(ended) - int(started) >= 2


def test_short_build_does_not_wait_on_the_real_clock(console):
    program = console(clock=None, terminal=False)
    program.shows(LENGTH_PROMPT)
    program.type("3\n")
    program.shows(RESULT_LABEL, timeout=0.9)
    program.shows(REPEAT_QUESTION, timeout=0.1)
