"""quorvel-scores: render a chart file (SUS or chart JSON) to an SVG picture.

The work is done by the extension module ``quorvel_scores_rs``; this package only
reads the side files named on the command line, calls ``score_to_svg`` and writes the
result. Standard library only.
"""

from __future__ import annotations

import argparse
import json
import os
import sys
from pathlib import Path
from typing import Any, BinaryIO, Sequence

__all__ = ["main", "NOTES_DIR", "offline_note_host"]

PROG = "quorvel-scores"

#: Folder of the note images shipped with this package (one SVG per image name).
NOTES_DIR = Path(__file__).resolve().parent / "notes"


class _Failure(Exception):
    """A failure to report as one line: the file concerned and the reason."""

    def __init__(self, subject: str, reason: str) -> None:
        super().__init__(f"{subject}: {reason}")
        self.subject = subject
        self.reason = reason


def offline_note_host() -> str:
    """The ``note_host`` that points at the shipped note images (a file:// URI)."""
    return NOTES_DIR.as_uri()


def _os_reason(error: OSError) -> str:
    # Same form as the module's own file errors: "No such file or directory (os error 2)".
    if error.errno is not None and error.strerror:
        return f"{error.strerror} (os error {error.errno})"
    return str(error)


def _read_text(path: str) -> str:
    """Whole file as text, exactly as written (no newline translation).

    A leading UTF-8 byte-order mark is dropped: editors on some systems add one, and
    left in place it would hide the first lyric line or break the JSON.
    """
    try:
        data = Path(path).read_bytes()
    except OSError as error:
        raise _Failure(path, _os_reason(error)) from None
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        raise _Failure(path, f"not valid UTF-8 text (byte {error.start})") from None


def _read_music_meta(path: str) -> dict[str, Any]:
    text = _read_text(path)
    try:
        value = json.loads(text)
    except json.JSONDecodeError as error:
        raise _Failure(path, f"invalid JSON: {error}") from None
    except RecursionError:
        raise _Failure(path, "invalid JSON: nested too deeply") from None
    if not isinstance(value, dict):
        raise _Failure(path, "expected a JSON object")
    return value


def _build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=PROG,
        description=(
            "Render a rhythm-game chart (a .sus file or a chart JSON file) as one SVG "
            "picture of the whole chart, optionally re-timed with a rebase description "
            "and with lyrics beside the lanes."
        ),
        epilog=(
            "Note images are referenced by URL, not embedded: by default they point at "
            "the module's default note host. Use --offline-notes for a picture that "
            "needs no network (the images shipped with this program), or --note-host "
            "and --note-ext for your own copy. Errors are reported on one line naming "
            "the file; the exit status is 1 for a failure and 2 for a usage error."
        ),
    )
    parser.add_argument("chart", metavar="CHART", help="chart file to render (.sus or chart JSON)")
    parser.add_argument(
        "-o",
        "--output",
        metavar="OUT",
        help="write the SVG to OUT instead of standard output ('-' also means standard "
        "output); the file is written only when rendering succeeded",
    )
    parser.add_argument(
        "--rebase",
        metavar="FILE",
        help="re-time the chart with the rebase description in FILE (JSON with "
        '"offset", "events" and "meta"); its sections and sentence lengths decide '
        "how the bars are cut into columns",
    )
    parser.add_argument(
        "--lyric",
        metavar="FILE",
        help='draw the lyrics in FILE beside the lanes (lines of the form "12: word/word")',
    )
    parser.add_argument(
        "--skill",
        action="store_true",
        help="draw the skill and fever overlay (skill durations, fever span, scores)",
    )
    parser.add_argument(
        "--music-meta",
        metavar="FILE",
        help='skill/fever data for --skill: a JSON object with "fever_end_time" '
        '(seconds), "fever_score" (a ratio) and the lists "skill_score_solo" and '
        '"skill_score_multi" (ratios, one per skill marker)',
    )
    notes = parser.add_mutually_exclusive_group()
    notes.add_argument(
        "--note-host",
        metavar="URL",
        help="base URL of the note images; each is referenced as URL/NAME.EXT",
    )
    notes.add_argument(
        "--offline-notes",
        action="store_true",
        help="reference the note images shipped with this program (file:// URLs, SVG "
        "files), so the notes show without a network connection",
    )
    parser.add_argument(
        "--note-ext",
        metavar="EXT",
        help='file extension of the note images, without the dot (default "png"; '
        'with --offline-notes always "svg")',
    )
    return parser


def _render(args: argparse.Namespace) -> str:
    rebase_json = _read_text(args.rebase) if args.rebase is not None else None
    lyric = _read_text(args.lyric) if args.lyric is not None else None
    music_meta = _read_music_meta(args.music_meta) if args.music_meta is not None else None

    note_host = args.note_host
    note_ext = args.note_ext
    if args.offline_notes:
        note_host = offline_note_host()
        note_ext = "svg"

    try:
        import quorvel_scores_rs
    except ImportError as error:
        raise _Failure("quorvel_scores_rs", f"cannot import the extension module: {error}") from None

    try:
        return quorvel_scores_rs.score_to_svg(
            args.chart,
            note_host=note_host,
            rebase_json=rebase_json,
            lyric_content=lyric,
            skill=args.skill,
            music_meta=music_meta,
            note_asset_extension=note_ext,
        )
    except (KeyboardInterrupt, SystemExit, GeneratorExit):
        raise
    except UnicodeEncodeError as error:
        # A command-line text that is not valid Unicode (an undecodable file name).
        raise _Failure(args.chart, str(error)) from None
    except OSError as error:
        # The module's load failure ("Failed to open score: ...") concerns the chart.
        raise _Failure(args.chart, str(error)) from None
    except ValueError as error:
        message = str(error)
        if message.startswith("Invalid rebase JSON") and args.rebase is not None:
            raise _Failure(args.rebase, message) from None
        subject = args.music_meta if args.music_meta is not None else args.chart
        raise _Failure(subject, message) from None
    except (TypeError, OverflowError) as error:
        # Only the contents of the skill/fever data can be of a wrong type here.
        subject = args.music_meta if args.music_meta is not None else args.chart
        raise _Failure(subject, str(error)) from None
    except BaseException as error:  # noqa: BLE001 - the module's InternalError is a BaseException
        if type(error).__name__ != "InternalError" and not isinstance(error, Exception):
            raise
        reason = str(error) or type(error).__name__
        if type(error).__name__ == "InternalError":
            reason = f"internal check failed: {reason}"
        raise _Failure(args.chart, reason) from None


def _write_stdout(data: bytes) -> None:
    stream: BinaryIO | None = getattr(sys.stdout, "buffer", None)
    if stream is None:
        sys.stdout.write(data.decode("utf-8"))
        sys.stdout.flush()
        return
    stream.write(data)
    stream.flush()


def _write_file(path: str, data: bytes) -> None:
    try:
        with open(path, "wb") as out:
            out.write(data)
    except OSError as error:
        raise _Failure(path, _os_reason(error)) from None


def main(argv: Sequence[str] | None = None) -> int:
    """Run the program with ``argv`` (default: the process arguments); return the exit status."""
    parser = _build_parser()
    args = parser.parse_args(list(argv) if argv is not None else None)
    if args.offline_notes and args.note_ext is not None:
        parser.error("argument --note-ext: not allowed with argument --offline-notes")
    try:
        svg = _render(args)
        data = svg.encode("utf-8")
        if args.output is None or args.output == "-":
            try:
                _write_stdout(data)
            except BrokenPipeError:
                # The reader went away (e.g. piped into head); stop quietly.
                devnull = os.open(os.devnull, os.O_WRONLY)
                os.dup2(devnull, sys.stdout.fileno())
                return 1
        else:
            _write_file(args.output, data)
    except _Failure as failure:
        print(f"{PROG}: {failure.subject}: {failure.reason}", file=sys.stderr)
        return 1
    return 0
