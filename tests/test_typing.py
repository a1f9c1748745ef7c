"""The type stub as type checkers find it in the installed package: mypy --strict accepts right
calls and flags wrong ones, and stubtest finds the stub in agreement with the module."""

import importlib.util
import re
import subprocess
import sys

import pytest

if importlib.util.find_spec("mypy") is None:
    pytest.skip("mypy is not installed (it comes with the test extra)", allow_module_level=True)

# (file name, source, the [code]s of the errors mypy --strict must report, in line order)
CASES = [
    (
        "right_calls",
        "import tarvel_codec\n"
        "from tarvel_codec import columnarize\n"
        "out: bytes = tarvel_codec.columnarize(b'[]')\n"
        "out = columnarize(b'[]', 5)\n"
        "out = columnarize(payload=b'[]', min_rows=0)\n"
        "version: str = tarvel_codec.__version__\n",
        [],
    ),
    ("str_payload", "import tarvel_codec\ntarvel_codec.columnarize('[]')\n", ["arg-type"]),
    ("str_min_rows", "import tarvel_codec\ntarvel_codec.columnarize(b'[]', min_rows='20')\n", ["arg-type"]),
    ("result_is_bytes", "import tarvel_codec\ntext: str = tarvel_codec.columnarize(b'[]')\n", ["assignment"]),
    ("unknown_keyword", "import tarvel_codec\ntarvel_codec.columnarize(b'[]', rows=2)\n", ["call-arg"]),
    ("no_other_names", "import tarvel_codec\ntarvel_codec.transform(b'[]')\n", ["attr-defined"]),
]


@pytest.fixture(scope="module")
def mypy_errors(tmp_path_factory):
    """Runs mypy --strict once over every case; returns {file name: [error code, ...]}."""
    folder = tmp_path_factory.mktemp("typing")
    for name, source, _ in CASES:
        (folder / f"{name}.py").write_text(source, encoding="utf-8")
    command = [sys.executable, "-m", "mypy", "--strict", "--no-incremental", "--show-error-codes",
               "--cache-dir", str(folder / ".cache")] + [f"{name}.py" for name, _, _ in CASES]
    result = subprocess.run(command, cwd=folder, capture_output=True, text=True)
    assert "import-not-found" not in result.stdout and "import-untyped" not in result.stdout, result.stdout
    errors = {name: [] for name, _, _ in CASES}
    for match in re.finditer(r"^(\w+)\.py:\d+: error: .*\[([\w-]+)\]$", result.stdout, re.MULTILINE):
        errors[match[1]].append(match[2])
    assert result.returncode == (1 if any(errors.values()) else 0), result.stdout + result.stderr
    return errors


@pytest.mark.parametrize(("name", "source", "codes"), CASES, ids=[case[0] for case in CASES])
def test_mypy_strict(mypy_errors, name, source, codes):
    assert mypy_errors[name] == codes


def test_stubtest_finds_the_stub_in_agreement_with_the_module(tmp_path):
    result = subprocess.run([sys.executable, "-m", "mypy.stubtest", "tarvel_codec"],
                            cwd=tmp_path, capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr
    assert "Success: no issues found in 1 module" in result.stdout
