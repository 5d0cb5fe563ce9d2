"""The type stubs of quorvel_scores_rs, checked against the built module with mypy."""

from __future__ import annotations

import importlib.util
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

if importlib.util.find_spec("mypy") is None:
    pytest.skip("mypy is not installed (pip install mypy)", allow_module_level=True)

ROOT = Path(__file__).resolve().parents[2]
STUB = ROOT / "python" / "quorvel_scores_rs-stubs" / "__init__.pyi"

# Runtime details stubtest reports that the stubs describe on purpose.
ALLOWLIST = """\
"""


@pytest.fixture(scope="module")
def stub_env(tmp_path_factory: pytest.TempPathFactory) -> dict[str, str]:
    # mypy looks for "-stubs" packages only among installed packages; a plain copy on
    # MYPYPATH checks the stubs of this source tree, installed or not.
    base = tmp_path_factory.mktemp("stubs")
    package = base / "quorvel_scores_rs"
    package.mkdir()
    shutil.copyfile(STUB, package / "__init__.pyi")
    return {**os.environ, "MYPYPATH": str(base)}


def run_mypy(env: dict[str, str], cache: Path, *args: str) -> subprocess.CompletedProcess[str]:
    return subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-error-summary",
         "--cache-dir", str(cache), *args],
        capture_output=True, text=True, env=env, timeout=600,
    )


def test_stubs_match_module(stub_env: dict[str, str], tmp_path: Path) -> None:
    allowlist = tmp_path / "allowlist.txt"
    allowlist.write_text(ALLOWLIST, encoding="utf-8")
    result = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "quorvel_scores_rs",
         "--allowlist", str(allowlist)],
        capture_output=True, text=True, env=stub_env, cwd=tmp_path, timeout=600,
    )
    assert result.returncode == 0, result.stdout + result.stderr


def test_typed_example_checks(stub_env: dict[str, str], tmp_path: Path) -> None:
    result = run_mypy(stub_env, tmp_path / "cache", str(ROOT / "examples" / "typed_example.py"))
    assert result.returncode == 0, result.stdout + result.stderr


def test_stubs_reject_misuse(stub_env: dict[str, str], tmp_path: Path) -> None:
    # Each marked line must be reported, so the stubs are precise rather than Any.
    program = tmp_path / "misuse.py"
    lines = [
        "import io",
        "import quorvel_scores_rs as qs",
        "s = qs.Score.open('x.sus')",
        "qs.Fraction(1.5)  # E",
        "s.meta.title = 'x'  # E",
        "qs.sus_to_svg('x', skill=None)  # E",
        "qs.Lyric.load(open('x', 'rb'))  # E",
        "s.get_time(None)  # E",
        "s.get_bar_by_time('1')  # E",
        "d = qs.Drawing(s, font_paths=['a'])",
        "n: str = d.note_size  # E",
        "d.note_size = 1.5  # E",
        "r: str = qs.Rebase.from_dict([1])(s)  # E",
        "qs.Lyric.load(io.StringIO('1: a'))",
        "s.get_time(qs.Fraction(1, 2)); s.get_time('3/4'); s.get_time(2)",
        "t: float = float(s.get_time_delta(0, 1)) + d.time_height",
    ]
    program.write_text("\n".join(lines) + "\n", encoding="utf-8")
    result = run_mypy(stub_env, tmp_path / "cache", str(program))
    reported = {
        int(line.split(":")[1]) for line in result.stdout.splitlines() if ": error:" in line
    }
    expected = {i + 1 for i, line in enumerate(lines) if line.endswith("# E")}
    assert reported == expected, result.stdout
