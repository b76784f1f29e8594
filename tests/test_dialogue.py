"""The dialogue: its texts and their order, the reading of the length and
of the answer, the end of the program and the choices for unusable input."""

import re

import pytest

import target
from conftest import (
    CLOCK_START,
    FAREWELL,
    LENGTH_PROMPT,
    REPEAT_QUESTION,
    RESULT_LABEL,
    TERMINAL_OR_PIPE,
    TITLE,
    events,
    replay,
    run,
)


def test_sample_run_is_exact_to_the_byte(clock_reads):
    first, step = clock_reads
    (digits,) = replay([5], CLOCK_START + first, step)
    output = run("5\nN\n\n")
    assert output == TITLE + LENGTH_PROMPT + RESULT_LABEL + digits + REPEAT_QUESTION + FAREWELL
    a, b, m, b2, a2 = digits
    assert (a, b) == (a2, b2) and a != b


# What each input leads to: "P" is a length prompt, a number the count of
# digits of a palindrome shown.  Every session then ends with the farewell.
CASES = {
    # Answers: J and j go on, anything else ends.
    "J goes on": ("5\nJ\n3\nn\n\n", ["P", 5, "P", 3]),
    "j goes on": ("5\nj\n3\nn\n\n", ["P", 5, "P", 3]),
    "N ends": ("5\nN\n\n", ["P", 5]),
    "n ends": ("5\nn\n\n", ["P", 5]),
    "x ends": ("5\nx\n\n", ["P", 5]),
    "1 ends": ("5\n1\n\n", ["P", 5]),
    "non-ASCII answer ends": ("5\n\xe4\n\n", ["P", 5]),
    # Whitespace before the length and the answer is skipped silently.
    "blank lines and spaces": ("\n\n  \t\r\v\f\n   5\n\n  \n   n\n\n", ["P", 5]),
    "length and answer on one line": ("4 n\n\n", ["P", 4]),
    # Signs.
    "plus sign": ("+5\nn\n\n", ["P", 5]),
    "minus three": ("-3\nn\n\n", ["P", 1]),
    "largest length": ("43\nn\n\n", ["P", 43]),
    "smallest int": ("-2147483648\nn\n\n", ["P", 0]),
    # A length that is no number: its line is dropped and the prompt repeated.
    "letter": ("abc 7\n5\nn\n\n", ["P", "P", 5]),
    "lone plus": ("+\n5\nn\n\n", ["P", "P", 5]),
    "lone minus": ("-\n5\nn\n\n", ["P", "P", 5]),
    "sign and blank": ("- 5\n5\nn\n\n", ["P", "P", 5]),
    "above int": ("2147483648\n5\nn\n\n", ["P", "P", 5]),
    "below int": ("-2147483649\n5\nn\n\n", ["P", "P", 5]),
    "far above int": ("99999999999999999999999\n5\nn\n\n", ["P", "P", 5]),
    # A length above 43 is refused the same way, with the rest of its line.
    "44": ("44\n5\nn\n\n", ["P", "P", 5]),
    "44 and more on its line": ("44 3 j\n5\nn\n\n", ["P", "P", 5]),
    "largest int": ("2147483647\n5\nn\n\n", ["P", "P", 5]),
    # What an answer leaves behind meets the next length read.
    "ja leaves a": ("5\nja\n3\nn\n\n", ["P", 5, "P", "P", 3]),
    "5abc leaves abc for the answer": ("5abc\n\n", ["P", 5]),
    "4.5 answers with the dot": ("4.5\n", ["P", 4]),
    "3j answers yes": ("3j\n2\nn\n\n", ["P", 3, "P", 2]),
    # End of input ends the turns as a "no".
    "empty input": ("", ["P"]),
    "end at the answer": ("5\n", ["P", 5]),
    "end after j": ("5\nj\n", ["P", 5, "P"]),
    "end after a bad length": ("abc", ["P"]),
    "end after a refused length": ("44", ["P"]),
    "end behind a lone sign": ("-", ["P"]),
    "end right behind the length": ("5", ["P", 5]),
}


@pytest.mark.parametrize("data, expected", CASES.values(), ids=CASES.keys())
def test_input_leads_to(data, expected):
    seen = events(run(data))
    assert [e if e == "P" else len(e) for e in seen] == expected


@pytest.mark.parametrize("terminal", TERMINAL_OR_PIPE)
def test_every_prompt_is_visible_before_the_program_waits(console, terminal):
    program = console(terminal=terminal)
    program.shows(TITLE + LENGTH_PROMPT)
    program.type("5\n")
    program.shows(RESULT_LABEL)
    program.shows_match(r"[0-8]{5}")
    program.shows(REPEAT_QUESTION)
    program.type("j\n")
    program.shows(LENGTH_PROMPT)
    program.type("2\n")
    program.shows(REPEAT_QUESTION)
    program.type("N\n")
    program.shows(FAREWELL)
    # The first final read takes the line feed behind N; the second waits.
    program.still_waiting()
    program.type("\n")
    assert program.ends() == 0


@pytest.mark.parametrize(
    "typed, waits",
    [("3\nN\n", True), ("3\nnein\n", False), ("3\nne\n", False), ("3\nn \n", False), ("4 n\n", True)],
)
def test_final_reads_continue_behind_the_answer(console, typed, waits):
    program = console(terminal=False)
    program.shows(LENGTH_PROMPT)
    program.type(typed)
    program.shows(REPEAT_QUESTION)
    program.shows(FAREWELL)
    if waits:
        program.still_waiting()
        program.type("\n")
    assert program.ends(timeout=2) == 0


def test_end_of_input_key_ends_the_program(console):
    # The input stays open: only the key can end it.  Read as a character,
    # it would be a length that is no number, and the prompt would return.
    program = console(terminal=target.END_OF_INPUT_NEEDS_TERMINAL)
    program.shows(TITLE + LENGTH_PROMPT)
    program.type(target.END_OF_INPUT)
    program.shows(FAREWELL, timeout=2)
    assert program.ends(timeout=2) == 0


@pytest.mark.parametrize("terminal", TERMINAL_OR_PIPE)
def test_refused_length_asks_again_at_once(console, terminal):
    program = console(terminal=terminal)
    program.shows(TITLE + LENGTH_PROMPT)
    program.type("44\n")
    program.shows(LENGTH_PROMPT, timeout=2)
    program.type("abc\n")
    program.shows(LENGTH_PROMPT, timeout=2)
    program.type("1\n")
    program.shows_match(r"\t[0-8]" + re.escape(target.on_screen("\n", terminal)))
