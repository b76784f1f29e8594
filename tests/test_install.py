"""Installing puts the program, its manual page and the learners' text
where their users look, and the download cpack makes runs once unpacked."""

import os
import subprocess
import tarfile
import zipfile
from pathlib import Path

import pytest

import target
from conftest import FAREWELL, LENGTH_PROMPT, REPEAT_QUESTION, RESULT_LABEL, TITLE, run

BUILD_DIR = os.environ.get("PALINDROME_BUILD_DIR")
VERSION = os.environ.get("PALINDROME_VERSION")
CMAKE = os.environ.get("CMAKE_COMMAND", "cmake")
CPACK = os.environ.get("CPACK_COMMAND", "cpack")
OBJDUMP = os.environ.get("OBJDUMP", "objdump")


pytestmark = pytest.mark.skipif(not BUILD_DIR or not VERSION,
                                reason="set PALINDROME_BUILD_DIR to the build tree and PALINDROME_VERSION")


def files_below(top):
    return {path.relative_to(top).as_posix() for path in Path(top).rglob("*") if path.is_file()}


def check_runs(program):
    output = run("0\nn\n\n", clock=None, program=program)
    assert output == TITLE + LENGTH_PROMPT + RESULT_LABEL + REPEAT_QUESTION + FAREWELL


@pytest.fixture(scope="module")
def prefix(tmp_path_factory):
    prefix = tmp_path_factory.mktemp("prefix")
    subprocess.run([CMAKE, "--install", BUILD_DIR, "--prefix", prefix], check=True, capture_output=True)
    return prefix


def test_install_puts_each_file_in_its_place(prefix):
    assert files_below(prefix) == target.INSTALLED_FILES
    check_runs(prefix / target.INSTALLED_PROGRAM)


@pytest.mark.skipif(target.WINDOWS, reason="Windows has no manual pages")
def test_manual_page_renders_without_a_warning(prefix):
    page = prefix / "share" / "man" / "man6" / "palindrome.6"
    result = subprocess.run(["groff", "-man", "-ww", "-z", page], capture_output=True, text=True)
    assert result.returncode == 0 and result.stderr == ""
    text = subprocess.run(["groff", "-man", "-Tascii", "-P-cbou", page], capture_output=True, text=True).stdout
    for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "EXAMPLES"):
        assert f"\n{section}\n" in text
    assert "Moechtest du eine weitere Aufgabe versuchen?" in text


@pytest.fixture(scope="module")
def download(tmp_path_factory):
    """The archive cpack makes, unpacked: (its name, the folder it holds)."""
    packages = tmp_path_factory.mktemp("packages")
    subprocess.run([CPACK, "--config", Path(BUILD_DIR) / "CPackConfig.cmake", "-B", packages],
                   check=True, capture_output=True, cwd=BUILD_DIR)
    (archive,) = (path for path in packages.iterdir() if path.is_file())
    unpacked = tmp_path_factory.mktemp("unpacked")
    if archive.suffix == ".zip":
        with zipfile.ZipFile(archive) as whole:
            whole.extractall(unpacked)
    else:
        with tarfile.open(archive) as whole:
            whole.extractall(unpacked)
    return archive.name, unpacked


def test_download_holds_a_folder_that_runs(download):
    name, unpacked = download
    folder = f"palindrome-{VERSION}-{target.DOWNLOAD_SYSTEM}"
    assert name == folder + target.DOWNLOAD_TYPE
    assert files_below(unpacked) == {f"{folder}/{path}" for path in target.INSTALLED_FILES}
    (text,) = (unpacked / folder).rglob("LIESMICH*")
    assert f"palindrome-{VERSION}-Linux.tar.gz" in text.read_text(), "the learners' text names another version"
    program = unpacked / folder / target.INSTALLED_PROGRAM
    check_runs(program)
    symbols = subprocess.run([OBJDUMP, "--syms", program], check=True, capture_output=True, text=True).stdout
    # GNU objdump says so; LLVM's lists nothing.
    listed = symbols.split("SYMBOL TABLE:", 1)[1].strip()
    assert listed in ("", "no symbols"), "the program in the download is not stripped"


@pytest.mark.skipif(not target.WINDOWS, reason="a Windows download only")
def test_windows_download_needs_nothing_beside_it(download):
    name, unpacked = download
    (program,) = unpacked.rglob("palindrome.exe")
    headers = subprocess.run([OBJDUMP, "-p", program], check=True, capture_output=True, text=True).stdout
    dlls = {line.split(":", 1)[1].strip().lower() for line in headers.splitlines() if "DLL Name:" in line}
    assert dlls <= {"kernel32.dll", "msvcrt.dll"}, f"needs {dlls}"
    (text,) = unpacked.rglob("LIESMICH.txt")
    data = text.read_bytes()
    assert data.count(b"\n") == data.count(b"\r\n") > 0, "LIESMICH.txt does not have CR LF line ends"
