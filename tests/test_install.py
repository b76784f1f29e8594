"""Installing puts the program and its manual page where a Unix user looks."""

import os
import subprocess

import pytest

from conftest import FAREWELL, TITLE, program_env

BUILD_DIR = os.environ.get("PALINDROME_BUILD_DIR")
CMAKE = os.environ.get("CMAKE_COMMAND", "cmake")


@pytest.fixture(scope="module")
def prefix(tmp_path_factory):
    if not BUILD_DIR:
        pytest.skip("set PALINDROME_BUILD_DIR to the build tree")
    prefix = tmp_path_factory.mktemp("prefix")
    subprocess.run([CMAKE, "--install", BUILD_DIR, "--prefix", str(prefix)], check=True, capture_output=True)
    return prefix


def test_installed_program_runs(prefix):
    program = prefix / "bin" / "palindrome"
    result = subprocess.run([program], input=b"0\nn\n\n", capture_output=True, env=program_env(), timeout=10)
    assert result.returncode == 0
    assert result.stdout.decode().startswith(TITLE)
    assert result.stdout.decode().endswith(FAREWELL)


def test_manual_page_renders_without_a_warning(prefix):
    page = prefix / "share" / "man" / "man6" / "palindrome.6"
    result = subprocess.run(["groff", "-man", "-ww", "-z", page], capture_output=True, text=True)
    assert result.returncode == 0 and result.stderr == ""
    text = subprocess.run(["groff", "-man", "-Tascii", "-P-cbou", page], capture_output=True, text=True).stdout
    for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "EXAMPLES"):
        assert f"\n{section}\n" in text
    assert "Moechtest du eine weitere Aufgabe versuchen?" in text
