"""Type information for the extension module quorvel_scores_rs.

Charts are read from SUS text or chart JSON, re-timed with rebase descriptions,
given lyrics and rendered as one SVG document. Positions are bar numbers held as exact
fractions; times are seconds.
"""

from collections.abc import Sequence
from typing import Any, NoReturn, Protocol, SupportsFloat, SupportsIndex, final, type_check_only

__all__ = [
    "Fraction",
    "Meta",
    "Event",
    "Score",
    "Lyric",
    "Rebase",
    "Drawing",
    "sus_to_svg",
    "sus_to_png",
    "sus_to_jpg",
    "sus_to_jpeg",
    "score_to_svg",
    "score_to_png",
    "score_to_jpg",
    "score_to_jpeg",
]

@type_check_only
class _SupportsRead(Protocol):
    # Called with no arguments; must return str (a binary file's bytes are refused).
    def read(self) -> str: ...

@type_check_only
class _SupportsReadlines(Protocol):
    # The lines are joined with nothing between them.
    def readlines(self) -> Sequence[str]: ...

# A str, or a file-like object opened in text mode (read() is preferred to readlines()).
_TextOrFile = str | _SupportsRead | _SupportsReadlines
# A dict is serialised with json.dumps; anything else is read as JSON text.
_JsonSource = dict[Any, Any] | _TextOrFile
# Anything usable as a bar position: a Fraction, an integer-like or float-like value,
# or a text such as "3/4", "1.5" or "7".
_FractionLike = Fraction | SupportsIndex | SupportsFloat | str
_FloatLike = SupportsFloat | SupportsIndex
# Keys "fever_end_time", "fever_score" (numbers), "skill_score_solo",
# "skill_score_multi" (sequences of numbers); other keys are ignored.
_MusicMeta = dict[str, Any]

@final
class Fraction:
    """An exact rational number in lowest terms with a positive denominator.

    Fractions are values without arithmetic or comparison: use float(f), or read
    numerator and denominator. str() gives forms like "4.", "3.+1/2", "-1.+-1/2".
    """

    def __new__(cls, numerator: SupportsIndex, denominator: SupportsIndex = 1) -> Fraction: ...
    @property
    def numerator(self) -> int: ...
    @property
    def denominator(self) -> int: ...
    def limit_denominator(self, max_denominator: SupportsIndex | None) -> Fraction:
        """The closest fraction whose denominator is at most max_denominator (None: 1000000)."""

    def __float__(self) -> float: ...

@final
class Meta:
    """A copy of a chart's metadata; None marks a field the chart does not have."""

    @property
    def title(self) -> str | None: ...
    @property
    def subtitle(self) -> str | None: ...
    @property
    def artist(self) -> str | None: ...
    @property
    def genre(self) -> str | None: ...
    @property
    def designer(self) -> str | None: ...
    @property
    def difficulty(self) -> str | None: ...
    @property
    def playlevel(self) -> str | None: ...
    @property
    def songid(self) -> str | None: ...
    @property
    def wave(self) -> str | None: ...
    @property
    def waveoffset(self) -> str | None: ...
    @property
    def jacket(self) -> str | None: ...
    @property
    def background(self) -> str | None: ...
    @property
    def movie(self) -> str | None: ...
    @property
    def movieoffset(self) -> float | None: ...
    @property
    def basebpm(self) -> float | None: ...

@final
class Event:
    """A copy of one timing event; None marks a value the event does not set."""

    @property
    def bar(self) -> Fraction: ...
    @property
    def bpm(self) -> Fraction | None: ...
    @property
    def bar_length(self) -> Fraction | None: ...
    @property
    def sentence_length(self) -> int | None: ...
    @property
    def speed(self) -> float | None: ...
    @property
    def section(self) -> str | None: ...
    @property
    def text(self) -> str | None: ...

@final
class Score:
    """One chart. Instances come from the static loading methods and from Rebase."""

    @staticmethod
    def open(path: str) -> Score:
        """Open and parse a score file (.sus or chart JSON, chosen by extension and content).

        Raises OSError "Failed to open score: ..." when the file cannot be read or parsed.
        """

    @staticmethod
    def open_sus(path: str) -> Score:
        """Open and parse a .sus file (OSError "Failed to open SUS score: ...")."""

    @staticmethod
    def open_json(path: str) -> Score:
        """Open and parse a chart JSON file (OSError "Failed to open JSON score: ...")."""

    @staticmethod
    def from_str(content: str) -> Score:
        """Parse SUS text."""

    @staticmethod
    def from_json(value: _JsonSource) -> Score:
        """Parse chart JSON from a string, dict or file-like object (ValueError on bad JSON)."""

    @staticmethod
    def from_dict(dict: _JsonSource) -> Score:
        """Load chart JSON from a dict (a string or file-like object also works)."""

    @staticmethod
    def load(value: _JsonSource) -> Score:
        """Load SUS text, JSON text, a dict or a file-like object (JSON is detected)."""

    @property
    def meta(self) -> Meta: ...
    def set_meta(
        self,
        title: str | None = None,
        artist: str | None = None,
        difficulty: str | None = None,
        playlevel: str | None = None,
        jacket: str | None = None,
        songid: str | None = None,
        subtitle: str | None = None,
    ) -> None:
        """Set the given metadata fields; None leaves a field as it is."""

    def title(self) -> str | None: ...
    def artist(self) -> str | None: ...
    def difficulty(self) -> str | None: ...
    def playlevel(self) -> str | None: ...
    def note_count(self) -> int:
        """The number of notes that count (taps under flicks and slide steps are not counted)."""

    def event_count(self) -> int: ...
    def events(self) -> list[Event]:
        """All timing events, ordered by bar."""

    def get_time(self, bar: _FractionLike) -> Fraction:
        """Seconds from the start of the chart to the bar position."""

    def get_event(self, bar: _FractionLike) -> Event:
        """The accumulated timing state in effect at the bar position."""

    def get_time_delta(self, bar_from: _FractionLike, bar_to: _FractionLike) -> Fraction:
        """Seconds from bar_from to bar_to (negative when bar_to comes first)."""

    def get_bar_by_time(self, time: _FloatLike) -> Fraction:
        """The bar position at a time in seconds."""

@final
class Lyric:
    """Lyric words at bar positions, read from lines like "12: word/word"."""

    @staticmethod
    def load(content: _TextOrFile) -> Lyric: ...
    def word_count(self) -> int: ...

@final
class Rebase:
    """A rebase description: new timing events, a time offset and fallback metadata."""

    @staticmethod
    def load(value: _JsonSource) -> Rebase:
        """Read a description from a dict, JSON text or a file-like object (ValueError on bad JSON)."""

    @staticmethod
    def from_json(json_str: str) -> Rebase: ...
    @staticmethod
    def from_dict(dict: object) -> Rebase:
        """Serialise any object with json.dumps and read it (a non-object gives an empty description)."""

    @staticmethod
    def load_from_dict(dict: object) -> Rebase: ...
    def apply(self, score: Score) -> Score:
        """A new chart: score re-timed so that every note keeps its time in seconds."""

    def rebase(self, score: Score) -> Score: ...
    def __call__(self, score: Score) -> Score: ...

@final
class Drawing:
    """Renders charts as SVG with one set of drawing options."""

    def __new__(
        cls,
        score: Score | None = None,
        lyric: Lyric | None = None,
        style_sheet: str | None = None,
        note_host: str | None = None,
        skill: bool = False,
        music_meta: _MusicMeta | None = None,
        target_segment_seconds: _FloatLike | None = None,
        generator: str | None = None,
        note_asset_extension: str | None = None,
        font_paths: Sequence[str] | None = None,
        font_dirs: Sequence[str] | None = None,
    ) -> Drawing: ...
    def svg(self, score: Score | None = None, lyric: Lyric | None = None) -> str:
        """The SVG document of score (default: the chart given to the constructor)."""
    # This build has no raster back end: the three below always raise (TypeError
    # without any chart, RuntimeError otherwise).
    def png(self, score: Score | None = None, lyric: Lyric | None = None) -> NoReturn: ...
    def jpg(
        self, score: Score | None = None, lyric: Lyric | None = None, jpeg_quality: SupportsIndex = 90
    ) -> NoReturn: ...
    def jpeg(
        self, score: Score | None = None, lyric: Lyric | None = None, jpeg_quality: SupportsIndex = 90
    ) -> NoReturn: ...
    def set_font_paths(self, paths: Sequence[str]) -> None: ...
    def add_font_path(self, path: str) -> None: ...
    def set_font_dirs(self, dirs: Sequence[str]) -> None: ...
    def add_font_dir(self, dir: str) -> None: ...
    @property
    def note_size(self) -> int: ...
    @note_size.setter
    def note_size(self, v: SupportsIndex) -> None: ...
    @property
    def lane_width(self) -> int: ...
    @lane_width.setter
    def lane_width(self, v: SupportsIndex) -> None: ...
    @property
    def time_height(self) -> float: ...
    @time_height.setter
    def time_height(self, v: _FloatLike) -> None: ...

def sus_to_svg(
    sus_path: str,
    note_host: str | None = None,
    style_sheet: str | None = None,
    rebase_json: str | None = None,
    lyric_content: str | None = None,
    skill: bool = False,
    music_meta: _MusicMeta | None = None,
    target_segment_seconds: _FloatLike | None = None,
    generator: str | None = None,
    note_asset_extension: str | None = None,
    font_paths: Sequence[str] | None = None,
    font_dirs: Sequence[str] | None = None,
) -> str:
    """Parse a score file and generate SVG in one call."""

def sus_to_png(
    sus_path: str,
    note_host: str | None = None,
    style_sheet: str | None = None,
    rebase_json: str | None = None,
    lyric_content: str | None = None,
    skill: bool = False,
    music_meta: _MusicMeta | None = None,
    target_segment_seconds: _FloatLike | None = None,
    generator: str | None = None,
    note_asset_extension: str | None = None,
    font_paths: Sequence[str] | None = None,
    font_dirs: Sequence[str] | None = None,
) -> NoReturn:
    """Always raises: this build has no raster back end (after loading and checking the inputs)."""

def sus_to_jpg(
    sus_path: str,
    note_host: str | None = None,
    style_sheet: str | None = None,
    rebase_json: str | None = None,
    lyric_content: str | None = None,
    skill: bool = False,
    music_meta: _MusicMeta | None = None,
    target_segment_seconds: _FloatLike | None = None,
    generator: str | None = None,
    note_asset_extension: str | None = None,
    font_paths: Sequence[str] | None = None,
    font_dirs: Sequence[str] | None = None,
    jpeg_quality: SupportsIndex = 90,
) -> NoReturn: ...
def sus_to_jpeg(
    sus_path: str,
    note_host: str | None = None,
    style_sheet: str | None = None,
    rebase_json: str | None = None,
    lyric_content: str | None = None,
    skill: bool = False,
    music_meta: _MusicMeta | None = None,
    target_segment_seconds: _FloatLike | None = None,
    generator: str | None = None,
    note_asset_extension: str | None = None,
    font_paths: Sequence[str] | None = None,
    font_dirs: Sequence[str] | None = None,
    jpeg_quality: SupportsIndex = 90,
) -> NoReturn: ...
def score_to_svg(
    score_path: str,
    note_host: str | None = None,
    style_sheet: str | None = None,
    rebase_json: str | None = None,
    lyric_content: str | None = None,
    skill: bool = False,
    music_meta: _MusicMeta | None = None,
    target_segment_seconds: _FloatLike | None = None,
    generator: str | None = None,
    note_asset_extension: str | None = None,
    font_paths: Sequence[str] | None = None,
    font_dirs: Sequence[str] | None = None,
) -> str:
    """Parse a score file and generate SVG in one call."""

def score_to_png(
    score_path: str,
    note_host: str | None = None,
    style_sheet: str | None = None,
    rebase_json: str | None = None,
    lyric_content: str | None = None,
    skill: bool = False,
    music_meta: _MusicMeta | None = None,
    target_segment_seconds: _FloatLike | None = None,
    generator: str | None = None,
    note_asset_extension: str | None = None,
    font_paths: Sequence[str] | None = None,
    font_dirs: Sequence[str] | None = None,
) -> NoReturn: ...
def score_to_jpg(
    score_path: str,
    note_host: str | None = None,
    style_sheet: str | None = None,
    rebase_json: str | None = None,
    lyric_content: str | None = None,
    skill: bool = False,
    music_meta: _MusicMeta | None = None,
    target_segment_seconds: _FloatLike | None = None,
    generator: str | None = None,
    note_asset_extension: str | None = None,
    font_paths: Sequence[str] | None = None,
    font_dirs: Sequence[str] | None = None,
    jpeg_quality: SupportsIndex = 90,
) -> NoReturn: ...
def score_to_jpeg(
    score_path: str,
    note_host: str | None = None,
    style_sheet: str | None = None,
    rebase_json: str | None = None,
    lyric_content: str | None = None,
    skill: bool = False,
    music_meta: _MusicMeta | None = None,
    target_segment_seconds: _FloatLike | None = None,
    generator: str | None = None,
    note_asset_extension: str | None = None,
    font_paths: Sequence[str] | None = None,
    font_dirs: Sequence[str] | None = None,
    jpeg_quality: SupportsIndex = 90,
) -> NoReturn: ...
