"""Cut flat multi-finger fingerprint impressions (slaps) into single fingers.

The functions take and give numpy arrays::

    import vantrel

    image = vantrel.read_image("slap.png")
    result = vantrel.segment(image.pixels, ppi=image.ppi, hand="right")
    for finger in result.fingers:
        print(finger.position, finger.center, finger.angle, finger.image.shape)

Images are 8-bit grey, white background, ``image[row, column]``. Coordinates in
the results are pixels of the image given: x is the column from the left, y the
row from the top.

Failures of the library raise :class:`SegmentationError` (with ``status``, its
``meaning`` and the token ``kind``, e.g. ``"status_7"``); :class:`NoFingerFound`
is the subclass for status 23. Image files that cannot be read raise
:class:`ImageReadError` or :class:`FileNotFoundError`, whose ``kind`` is the
reader's token (``"corrupt"``, ``"not_found"``, ...), the same the command-line
tool writes as ``errorKind``.
Argument mistakes raise :class:`ValueError` or :class:`TypeError` before the
library is called.

Calls release the GIL while the library works. The library keeps process-wide
state, so calls from several threads are serialised inside the module; for
parallel work use :func:`segment_many`, which runs in worker processes or on a
Dask cluster.
"""

from __future__ import annotations

import errno
import math
import numbers
import operator
import os
from concurrent.futures import ProcessPoolExecutor
from dataclasses import dataclass
from typing import Any, Iterable, List, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np

from . import _vantrel

__version__: str = _vantrel.__version__

__all__ = [
    "Finger",
    "Image",
    "ImageReadError",
    "NoFingerFound",
    "Outcome",
    "Result",
    "TransactionImage",
    "SegmentationError",
    "DEFAULT_METHOD",
    "METHODS",
    "read_image",
    "read_transaction",
    "segment",
    "segment_many",
    "status_text",
]

#: The method names :func:`segment` accepts, from the table of entries the
#: tool and the tests share.
METHODS: Tuple[str, ...] = tuple(name for name, _entry, _oriented in _vantrel.METHODS)
#: The method used when none is named: ``"slap"``.
DEFAULT_METHOD: str = _vantrel.DEFAULT_METHOD

_HAND_CODES = {None: 0, "right": 13, "left": 14, "thumbs": 15}
_HAND_NAMES = {0: None, 13: "right", 14: "left", 15: "thumbs"}

NO_FINGER = 23
_INT32_MAX = 2**31 - 1

Ppi = Union[int, Tuple[int, int]]
Hand = Union[None, str, int]
PathLike = Union[str, "os.PathLike[str]"]


def status_text(status: int) -> str:
    """The library's description of a status code, e.g. ``"no finger found"`` for 23."""
    return _vantrel.status_text(int(status))


class SegmentationError(RuntimeError):
    """A segmenter returned a failure status.

    Attributes:
        status: the library's status code (7, 8, 9, 10, 11, 12, 19, 23, ...).
        kind: its stable token, ``"status_<code>"``, as the tool's ``errorKind``.
        meaning: the library's text for it (see :func:`status_text`).
        method: the method that failed.
    """

    def __new__(cls, *args: Any, **kwargs: Any) -> "SegmentationError":
        # Status 23 always comes out as NoFingerFound, whoever raises it.
        status = args[0] if args else kwargs.get("status")
        if cls is SegmentationError and status == NO_FINGER:
            cls = NoFingerFound
        return super().__new__(cls, *args, **kwargs)

    def __init__(self, status: int, method: Optional[str] = None) -> None:
        self.status = int(status)
        self.kind = _vantrel.status_token(self.status)
        self.meaning = status_text(self.status)
        self.method = method
        where = f"{method}: " if method else ""
        super().__init__(f"{where}status {self.status}: {self.meaning}")

    def __reduce__(self):
        return (type(self), (self.status, self.method))


class NoFingerFound(SegmentationError):
    """The segmenter found no finger in the image (status 23)."""

    def __init__(self, status: int = NO_FINGER, method: Optional[str] = None) -> None:
        super().__init__(status, method)


class ImageReadError(OSError):
    """An image file exists but could not be decoded.

    Attributes:
        kind: the reader's stable token, as the tool's ``errorKind``:
            ``"unsupported"``, ``"corrupt"``, ``"too_large"`` or ``"unreadable"``
            (``reason`` is the same).
        path: the file.
    """

    def __init__(self, kind: str, message: str, path: str) -> None:
        super().__init__(f"{path}: {message}")
        self.kind = kind
        self.path = path
        self.detail = message

    @property
    def reason(self) -> str:
        return self.kind

    def __reduce__(self):
        return (type(self), (self.kind, self.detail, self.path))


class Image(NamedTuple):
    """Pixels and resolution of an image file, as :func:`read_image` gives them."""

    pixels: np.ndarray  #: 2-D uint8, ``pixels[row, column]``
    ppi: Tuple[int, int]  #: resolution (across, down) in pixels per inch
    resolution_source: str  #: ``"file"``, ``"flag"`` (given by the caller) or ``"default"`` (500)
    format: str  #: ``"png"``, ``"jpeg"``, ``"bmp"``, ``"tiff"`` or ``"pnm"``


@dataclass(frozen=True, eq=False)
class Finger:
    """One finger found.

    Attributes:
        position: finger-position code 1..10 (``slap``, quick segmenters,
            ``cent2``) or the place from the left 0, 1, 2, ... (``separate``).
        center_x, center_y: column and row of the finger's centre.
        box_width, box_height: columns and rows of the finger box (and of ``image``).
        angle: direction of the finger's axis in radians (``slap``,
            ``separate``: the rotation of the box about its centre), a
            single-precision value widened exactly to a Python float; ``None``
            from ``cent2``.
        angle_two_degrees: ``cent2`` only: the angle in units of 2 degrees.
        fixed_value: the record's fixed value (``slap``: confidence 0..1; 15
            from the quick segmenters, 0 from ``separate``); ``confidence`` is
            the same number.
        top, left, bottom, right: box edges (quick segmenters and ``cent2``;
            ``slap``: the oriented box's bounds clipped to the image; 0 from
            ``separate``).
        corners: ``cent2`` only: (row, column) of the upper-left, upper-right,
            lower-left and lower-right corners as the library wrote them.
        image: the finger's picture, ``box_height`` x ``box_width`` uint8,
            owning its memory; ``None`` when the library made none (``cent2``).
    """

    position: int
    center_x: int
    center_y: int
    box_width: int
    box_height: int
    angle: Optional[float]
    fixed_value: float
    top: int
    left: int
    bottom: int
    right: int
    image: Optional[np.ndarray] = None
    angle_two_degrees: Optional[int] = None
    corners: Optional[Tuple[Tuple[int, int], ...]] = None

    @property
    def center(self) -> Tuple[int, int]:
        """(x, y): column and row of the centre."""
        return (self.center_x, self.center_y)

    @property
    def box(self) -> Tuple[int, int, int, int]:
        """(top, left, bottom, right)."""
        return (self.top, self.left, self.bottom, self.right)

    @property
    def confidence(self) -> float:
        """Alias of ``fixed_value``."""
        return self.fixed_value

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Finger):
            return NotImplemented
        for name in self.__dataclass_fields__:
            a, b = getattr(self, name), getattr(other, name)
            if name == "image":
                if (a is None) != (b is None):
                    return False
                if a is not None and not (a.shape == b.shape and np.array_equal(a, b)):
                    return False
            elif a != b:
                return False
        return True

    __hash__ = None  # type: ignore[assignment]


@dataclass(frozen=True, eq=True)
class Result:
    """The outcome of one successful segmentation.

    Attributes:
        hand_code: 13 (right four), 14 (left four), 15 (thumbs) or 0, as the
            segmenter filled it; ``cent2`` does not report one and gives 0.
        fingers: the fingers found, in the segmenter's order.
        method: the method that produced it.
    """

    hand_code: int
    fingers: List[Finger]
    method: str

    @property
    def hand(self) -> Optional[str]:
        """``"right"``, ``"left"``, ``"thumbs"`` or ``None`` for the hand code."""
        return _HAND_NAMES.get(self.hand_code)

    def __len__(self) -> int:
        return len(self.fingers)

    def __iter__(self):
        return iter(self.fingers)

    def __getitem__(self, index: int) -> Finger:
        return self.fingers[index]

    __hash__ = None  # type: ignore[assignment]


@dataclass(frozen=True, eq=False)
class Outcome:
    """What :func:`segment_many` got for one file: a result or the error.

    Attributes:
        path: the file, as given.
        result: the segmentation, or ``None`` when it failed.
        error: the exception (``SegmentationError``, ``OSError``,
            ``ValueError``, ...), or ``None`` on success.
    """

    path: str
    result: Optional[Result] = None
    error: Optional[BaseException] = None

    @property
    def ok(self) -> bool:
        return self.error is None

    def unwrap(self) -> Result:
        """The result, or the error raised."""
        if self.error is not None:
            raise self.error
        assert self.result is not None
        return self.result

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Outcome):
            return NotImplemented
        if self.path != other.path or self.result != other.result:
            return False
        if (self.error is None) != (other.error is None):
            return False
        return self.error is None or (
            type(self.error) is type(other.error) and str(self.error) == str(other.error)
        )

    __hash__ = None  # type: ignore[assignment]


# --- argument conversion ----------------------------------------------------


def _int32(value: Any, what: str) -> int:
    """An integer argument (Python or numpy int, or an integral float)."""
    if isinstance(value, bool):
        raise TypeError(f"{what} must be an integer, not bool")
    if isinstance(value, numbers.Real) and not isinstance(value, numbers.Integral):
        if not math.isfinite(value) or value != int(value):
            raise ValueError(f"{what} must be a whole number, got {value!r}")
        value = int(value)
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError(f"{what} must be an integer, got {type(value).__name__}") from None
    if not -(2**31) <= number <= _INT32_MAX:
        raise ValueError(f"{what} {number} does not fit a 32-bit integer")
    return number


def _resolution(ppi: Any) -> Tuple[int, int]:
    if isinstance(ppi, (tuple, list)) or (isinstance(ppi, np.ndarray) and ppi.ndim > 0):
        values = list(ppi)
        if len(values) != 2:
            raise ValueError(f"ppi must be one number or a pair (across, down), got {ppi!r}")
        return (_int32(values[0], "ppi across"), _int32(values[1], "ppi down"))
    if not isinstance(ppi, (numbers.Real, np.ndarray)):
        raise TypeError(f"ppi must be a number or a pair (across, down), got {type(ppi).__name__}")
    value = _int32(ppi, "ppi")
    return (value, value)


def _hand_code(hand: Hand) -> int:
    if hand is None or isinstance(hand, str):
        key = hand.lower() if isinstance(hand, str) else None
        if key not in _HAND_CODES:
            raise ValueError(f"hand must be None, 'right', 'left' or 'thumbs', got {hand!r}")
        return _HAND_CODES[key]
    code = _int32(hand, "hand")
    if code not in _HAND_NAMES:
        raise ValueError(f"hand code must be 13, 14, 15 or 0, got {code}")
    return code


def _method(method: str) -> str:
    if not isinstance(method, str) or method not in METHODS:
        raise ValueError(f"method must be one of {', '.join(METHODS)}; got {method!r}")
    return method


def _grey(image: Any) -> np.ndarray:
    """The image as a C-contiguous 2-D uint8 array.

    uint8 is taken as it is. uint16 keeps its high byte (``v >> 8``). Other
    integer types must hold 0..255. Floats must lie in 0.0..1.0 and are scaled
    by 255 and rounded. bool is refused (black or white is ambiguous). A 3-D
    array of shape (rows, columns, 3 or 4) is RGB(A): it is brought to 8 bits as
    above, then to grey as round(0.299 R + 0.587 G + 0.114 B); alpha is
    ignored. (rows, columns, 1) is taken as grey.
    """
    if not isinstance(image, np.ndarray):
        raise TypeError(f"image must be a numpy array, got {type(image).__name__}")
    array = image
    if array.ndim == 3 and array.shape[2] == 1:
        array = array[:, :, 0]
    if array.ndim == 3 and array.shape[2] not in (3, 4):
        raise ValueError(
            f"a 3-D image must have 3 (RGB) or 4 (RGBA) channels, got shape {array.shape}"
        )
    if array.ndim not in (2, 3):
        raise ValueError(f"image must be 2-D (rows, columns) or RGB(A), got shape {array.shape}")

    kind = array.dtype.kind
    if array.dtype == np.uint8:
        pass
    elif array.dtype == np.uint16:
        array = (array >> 8).astype(np.uint8)
    elif kind in "iu":
        if array.size and (array.min() < 0 or array.max() > 255):
            raise ValueError(
                f"an image of dtype {array.dtype} must hold values 0..255 "
                f"(found {array.min()}..{array.max()}); convert it to uint8 first"
            )
        array = array.astype(np.uint8)
    elif kind == "f":
        if array.size:
            if not np.isfinite(array).all():
                raise ValueError("a float image must not hold NaN or infinity")
            low, high = array.min(), array.max()
            if low < 0.0 or high > 1.0:
                raise ValueError(
                    f"a float image must hold values 0.0..1.0 (found {low}..{high}); "
                    "divide by 255 or convert to uint8 first"
                )
        array = np.rint(array.astype(np.float64) * 255.0).astype(np.uint8)
    else:
        raise ValueError(
            f"image dtype {array.dtype} is not supported: use uint8, uint16, "
            "another integer type holding 0..255, or float in 0..1"
        )

    if array.ndim == 3:
        rgb = array[:, :, :3].astype(np.uint32)
        grey = (299 * rgb[:, :, 0] + 587 * rgb[:, :, 1] + 114 * rgb[:, :, 2] + 500) // 1000
        array = grey.astype(np.uint8)
    return np.ascontiguousarray(array)


class _Options(NamedTuple):
    method: str
    ppi: Optional[Tuple[int, int]]
    fingers: int
    hand_code: int


def _options(method: str, ppi: Any, fingers: Any, hand: Hand) -> _Options:
    method = _method(method)
    resolution = None if ppi is None else _resolution(ppi)
    count = _int32(fingers, "fingers")
    code = _hand_code(hand)
    if method == "cent2":
        if resolution is not None and resolution != (500, 500):
            raise ValueError(f"method 'cent2' works on 500 ppi images only, got ppi {resolution}")
        if not 1 <= count <= 4:
            raise ValueError(f"method 'cent2' takes 1 to 4 fingers, got {count}")
    return _Options(method, resolution, count, code)


def _run(pixels: np.ndarray, options: _Options) -> Result:
    ppi = options.ppi if options.ppi is not None else (500, 500)
    if options.method == "cent2":
        # The finger count becomes a mask of that many fingers from bit 0.
        records = _vantrel.cent2(pixels, options.hand_code, (1 << options.fingers) - 1)
        if not records:
            raise NoFingerFound(NO_FINGER, "cent2")
        fingers = [
            Finger(
                position=r["position"],
                center_x=r["center_column"],
                center_y=r["center_row"],
                box_width=r["box_width"],
                box_height=r["box_height"],
                angle=None,
                fixed_value=float(r["fixed_value"]),
                top=r["upper_left"][0],
                left=r["upper_left"][1],
                bottom=r["lower_right"][0],
                right=r["lower_right"][1],
                angle_two_degrees=r["angle_two_degrees"],
                corners=(r["upper_left"], r["upper_right"], r["lower_left"], r["lower_right"]),
            )
            for r in records
        ]
        return Result(hand_code=0, fingers=fingers, method="cent2")

    status, hand_code, records = _vantrel.segment(
        pixels, ppi[0], ppi[1], options.fingers, options.hand_code, options.method
    )
    if status != 0:
        raise SegmentationError(status, options.method)
    return Result(
        hand_code=hand_code, fingers=[Finger(**r) for r in records], method=options.method
    )


# --- public functions ---------------------------------------------------------


def segment(
    image: np.ndarray,
    ppi: Ppi = 500,
    fingers: int = 4,
    hand: Hand = None,
    method: str = DEFAULT_METHOD,
) -> Result:
    """Cut a slap into single fingers.

    Args:
        image: 2-D array ``image[row, column]`` of grey values, dark ridges on a
            white background. uint8 is used as it is (any strides); uint16
            keeps its high byte; other integer types must hold 0..255; floats
            must hold 0.0..1.0 (scaled by 255, rounded); RGB or RGBA arrays of
            shape (rows, columns, 3 or 4) are turned grey with the weights
            0.299, 0.587, 0.114. Anything else raises ValueError.
        ppi: resolution in pixels per inch, one number or a pair (across,
            down). The library needs at least 201 each (status 7 or 8 below).
        fingers: the number of fingers expected (4 for a hand, 2 for thumbs).
        hand: ``None`` (let the segmenter decide), ``"right"``, ``"left"``,
            ``"thumbs"``, or the codes 13, 14, 15, 0.
        method: ``"slap"`` (VantrelSegmentSlap, the default: oriented boxes
            around each fingertip's top segment with its finger-position
            code), ``"separate"`` (SeparateImages, the full separator),
            ``"quick"`` (VantrelQuick), ``"quick-new"`` (VantrelQuickNew) or
            ``"cent2"`` (VantrelCent2: 500 ppi only, 1 to 4 fingers, no
            pictures; with ``hand=None`` it looks for two thumbs).

    Returns:
        A :class:`Result` whose fingers carry their pictures as arrays that
        own their memory.

    Raises:
        SegmentationError: the library returned a failure status;
            :class:`NoFingerFound` when it found no finger (status 23).
        ValueError, TypeError: an argument the library cannot take.
    """
    options = _options(method, ppi, fingers, hand)
    return _run(_grey(image), options)


def _raise_read_error(kind: Optional[str], message: str, name: str) -> None:
    """Raises what the reader reported, if anything: FileNotFoundError or ImageReadError."""
    if kind == "not_found":
        missing = FileNotFoundError(errno.ENOENT, message or os.strerror(errno.ENOENT), name)
        missing.kind = kind  # type: ignore[attr-defined]
        raise missing
    if kind is not None:
        raise ImageReadError(kind, message, name)


def read_image(path: PathLike, ppi: Optional[Ppi] = None) -> Image:
    """Read an image file into 8-bit grey with its resolution.

    Uses the readers of the command-line tool: PNG, JPEG, BMP, TIFF and binary
    PGM/PPM; colour and 16-bit samples are turned into 8-bit grey. The
    resolution comes from the file's metadata, or from ``ppi`` when given, or
    is 500 when neither says.

    Raises:
        FileNotFoundError: no such file (its ``kind`` is ``"not_found"``).
        ImageReadError: the file could not be read or decoded (``kind`` says
            why: "unsupported", "corrupt", "too_large", "unreadable").
    """
    name = os.fsdecode(os.fspath(path))
    xppi, yppi = (0, 0) if ppi is None else _resolution(ppi)
    if ppi is not None and (xppi < 1 or yppi < 1):
        raise ValueError(f"ppi must be positive, got {(xppi, yppi)}")
    kind, message, pixels, x, y, source, fmt = _vantrel.read_image(name, xppi, yppi)
    _raise_read_error(kind, message, name)
    return Image(pixels=pixels, ppi=(x, y), resolution_source=source, format=fmt)


def _segment_file(path: PathLike, options: _Options) -> Outcome:
    """One file of segment_many; every failure becomes part of the outcome."""
    name = os.fsdecode(os.fspath(path))
    try:
        image = read_image(name, options.ppi)
        if options.method == "cent2" and image.ppi != (500, 500):
            raise ValueError(f"method 'cent2' works on 500 ppi images only, got ppi {image.ppi}")
        return Outcome(path=name, result=_run(image.pixels, options._replace(ppi=image.ppi)))
    except Exception as error:  # reported per file, the batch goes on
        return Outcome(path=name, error=error)


def _segment_files(paths: Sequence[str], options: _Options) -> List[Outcome]:
    return [_segment_file(path, options) for path in paths]


def segment_many(
    paths: Iterable[PathLike],
    ppi: Optional[Ppi] = None,
    fingers: int = 4,
    hand: Hand = None,
    method: str = DEFAULT_METHOD,
    *,
    client: Any = None,
    workers: Optional[int] = None,
    batch_size: Optional[int] = None,
    mp_context: Optional[str] = None,
) -> List[Outcome]:
    """Segment many image files, in parallel.

    Each file is read with :func:`read_image` (its own resolution unless
    ``ppi`` is given) and segmented with the other arguments as in
    :func:`segment`, which are checked once, before any work starts.

    Args:
        client: a ``dask.distributed.Client``: the files are spread over its
            cluster, whose workers must be able to import vantrel and read the
            paths. Without one the files are worked through locally by a
            ``concurrent.futures.ProcessPoolExecutor``.
        workers: local worker processes (default: the number of CPUs); not
            used with a client.
        batch_size: files per task (default: about four tasks per worker).
        mp_context: multiprocessing start method for the local workers
            ("fork", "forkserver", "spawn"); default: the platform's.

    Returns:
        One :class:`Outcome` per path, in the order given. A file that fails
        (missing, unreadable, no finger found, ...) has its ``error`` set and
        does not stop the others.
    """
    if isinstance(paths, (str, bytes, os.PathLike)):
        # A string is iterable too, character by character.
        raise TypeError(f"paths must be a sequence of paths, not one path: use [{paths!r}]")
    options = _options(method, ppi, fingers, hand)
    names = [os.fsdecode(os.fspath(p)) for p in paths]
    if not names:
        return []

    if client is not None:
        slots = max(1, sum(client.nthreads().values()))
    else:
        slots = _int32(workers, "workers") if workers is not None else (os.cpu_count() or 1)
        if slots < 1:
            raise ValueError(f"workers must be at least 1, got {slots}")
    size = _int32(batch_size, "batch_size") if batch_size is not None else 0
    if size < 1:
        if batch_size is not None:
            raise ValueError(f"batch_size must be at least 1, got {size}")
        size = max(1, min(32, len(names) // (4 * slots)))
    batches = [names[i : i + size] for i in range(0, len(names), size)]

    if client is not None:
        futures = client.map(_segment_files, batches, options=options, pure=False)
        parts = client.gather(futures)
    else:
        import multiprocessing

        context = multiprocessing.get_context(mp_context) if mp_context else None
        with ProcessPoolExecutor(max_workers=min(slots, len(batches)), mp_context=context) as pool:
            parts = list(pool.map(_segment_files, batches, [options] * len(batches)))
    return [outcome for part in parts for outcome in part]


class TransactionImage(NamedTuple):
    """An image record of an ANSI/NIST-ITL transaction, as :func:`read_transaction` lists it."""

    record: int  #: place in the transaction, the Type-1 record being 1
    type: int  #: record type: 3 to 6 (binary), 10, 13 to 17 (tagged)
    positions: Tuple[int, ...]  #: finger positions (FGP; 13, 14, 15 for slaps)
    size: Tuple[int, int]  #: (columns, rows) as the record declares them
    ppi: Tuple[int, int]  #: resolution (across, down); (0, 0) when the record gives none
    compression: str  #: ``"none"``, ``"wsq"``, ``"jpeg"``, ``"png"``, ``"jpeg2000"``, ...


def read_transaction(path: PathLike) -> List[TransactionImage]:
    """List the image records of an ANSI/NIST-ITL transaction (.an2, .eft, .nist).

    Raises:
        FileNotFoundError: no such file.
        ImageReadError: the transaction is damaged (``kind`` "corrupt") or
            unreadable.
    """
    name = os.fsdecode(os.fspath(path))
    kind, message, records = _vantrel.read_transaction(name)
    _raise_read_error(kind, message, name)
    return [
        TransactionImage(record, kind_, tuple(positions), (columns, rows), (xppi, yppi), codec)
        for record, kind_, positions, columns, rows, xppi, yppi, codec in records
    ]


# A child forked while another thread is inside the library must not inherit
# the module's lock held.
if hasattr(os, "register_at_fork"):
    os.register_at_fork(
        before=_vantrel.lock_for_fork,
        after_in_parent=_vantrel.unlock_after_fork,
        after_in_child=_vantrel.unlock_after_fork,
    )
