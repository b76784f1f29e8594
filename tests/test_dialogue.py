"""The dialogue: its texts and their order, the reading of the length and
of the answer, the end of the program and the choices for unusable input."""

import pexpect
import pytest

from conftest import (
    FAREWELL,
    LENGTH_PROMPT,
    REPEAT_QUESTION,
    RESULT_LABEL,
    TITLE,
    events,
    find_start,
    palindromes,
    replay,
    run,
)


def test_sample_run_is_exact_to_the_byte():
    output = run("5\nN\n\n")
    shown = palindromes(output)
    start = find_start([5], shown)
    assert start is not None, f"digits {shown} do not follow from the clock"
    (digits,) = replay([5], start)
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


def still_waiting(child):
    with pytest.raises(pexpect.TIMEOUT):
        child.expect(pexpect.EOF, timeout=1)


def on_screen(text, pty):
    # A terminal turns every line feed into carriage return and line feed.
    return text.replace("\n", "\r\n") if pty else text


@pytest.mark.parametrize("pty", [True, False], ids=["pty", "pipe"])
def test_every_prompt_is_visible_before_the_program_waits(spawn, pty):
    child = spawn(pty=pty)
    child.expect_exact(on_screen(TITLE + LENGTH_PROMPT, pty))
    child.send("5\n")
    child.expect_exact(on_screen(RESULT_LABEL, pty))
    child.expect(r"[0-8]{5}")
    child.expect_exact(on_screen(REPEAT_QUESTION, pty))
    child.send("j\n")
    child.expect_exact(on_screen(LENGTH_PROMPT, pty))
    child.send("2\n")
    child.expect_exact(on_screen(REPEAT_QUESTION, pty))
    child.send("N\n")
    child.expect_exact(on_screen(FAREWELL, pty))
    # The first final read takes the line feed behind N; the second waits.
    still_waiting(child)
    child.send("\n")
    child.expect(pexpect.EOF)
    assert child.wait() == 0


@pytest.mark.parametrize(
    "typed, waits",
    [("3\nN\n", True), ("3\nnein\n", False), ("3\nne\n", False), ("3\nn \n", False), ("4 n\n", True)],
)
def test_final_reads_continue_behind_the_answer(spawn, typed, waits):
    child = spawn(pty=False)
    child.expect_exact(LENGTH_PROMPT)
    child.send(typed)
    child.expect_exact(REPEAT_QUESTION)
    child.expect_exact(FAREWELL)
    if waits:
        still_waiting(child)
        child.send("\n")
    child.expect(pexpect.EOF, timeout=2)
    assert child.wait() == 0


def test_refused_length_asks_again_at_once(spawn):
    child = spawn(pty=True)
    child.expect_exact(on_screen(TITLE + LENGTH_PROMPT, True))
    child.send("44\n")
    child.expect_exact(on_screen(LENGTH_PROMPT, True), timeout=2)
    child.send("abc\n")
    child.expect_exact(on_screen(LENGTH_PROMPT, True), timeout=2)
    child.send("1\n")
    child.expect(r"\t[0-8]\r\n")
