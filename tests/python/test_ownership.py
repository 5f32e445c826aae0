"""Pictures belong to Python; repeated calls do not leak."""

from __future__ import annotations

import ctypes
import gc
import os

import numpy as np
import pytest

import vantrel
from conftest import SYNTH_SEEDS

PICTURE_METHODS = [m for m in vantrel.METHODS if m != "cent2"]


def resident_bytes() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.fixture(scope="module")
def slap(synthetic_dir) -> vantrel.Image:
    return vantrel.read_image(synthetic_dir / f"synth_{SYNTH_SEEDS[0]}.png")


@pytest.mark.parametrize("method", PICTURE_METHODS)
def test_pictures_outlive_their_result(slap, method):
    result = vantrel.segment(slap.pixels, slap.ppi, method=method)
    pictures = [f.image for f in result.fingers if f.image is not None]
    assert pictures, "expected finger pictures"
    copies = [p.copy() for p in pictures]
    for p in pictures:
        assert p.flags.owndata and p.base is None and p.flags.writeable and p.flags.c_contiguous
    del result
    gc.collect()
    # Further calls reuse the library's memory; the pictures must not change.
    for _ in range(5):
        vantrel.segment(slap.pixels, slap.ppi, method=method)
    for picture, copy in zip(pictures, copies):
        assert np.array_equal(picture, copy)
    pictures[0][:] = 0  # writable without touching anything else
    again = vantrel.segment(slap.pixels, slap.ppi, method=method)
    assert np.array_equal(again.fingers[0].image, copies[0])


def test_input_is_not_modified(slap):
    pixels = slap.pixels.copy()
    pixels.flags.writeable = False  # read-only input is accepted
    vantrel.segment(pixels, slap.ppi)
    assert np.array_equal(pixels, slap.pixels)


class _MallInfo2(ctypes.Structure):
    _fields_ = [
        (name, ctypes.c_size_t)
        for name in "arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost".split()
    ]


def heap_bytes() -> int:
    libc = ctypes.CDLL(None)
    libc.mallinfo2.restype = _MallInfo2
    info = libc.mallinfo2()
    return info.uordblks + info.hblkhd


def test_no_growth_over_ten_thousand_calls(slap):
    # Half the slap's size keeps the quick entries near a millisecond a call;
    # the slower full separator runs on a corner of it every 100th call.
    small = np.ascontiguousarray(slap.pixels[::2, ::2])
    small_ppi = (slap.ppi[0] // 2, slap.ppi[1] // 2)
    corner = np.ascontiguousarray(slap.pixels[: slap.pixels.shape[0] // 2, : slap.pixels.shape[1] // 2])
    calls = [(small, small_ppi, "quick"), (small, small_ppi, "quick-new"), (small, 500, "cent2")]

    def call(index):
        image, ppi, method = (corner, slap.ppi, "separate") if index % 100 == 99 else calls[index % 3]
        try:
            return vantrel.segment(image, ppi, method=method)
        except vantrel.SegmentationError:
            return None

    # Every call must hand over pictures (or records), so a lost container shows.
    for index in (0, 1, 99):
        result = call(index)
        assert result is not None and sum(f.box_width * f.box_height for f in result) > 10_000
    assert call(2) is not None

    for index in range(300):  # allocator pools and caches settle first
        call(index)
    gc.collect()
    heap_before, rss_before = heap_bytes(), resident_bytes()
    for index in range(10_000):
        call(index)
    gc.collect()
    heap_growth = heap_bytes() - heap_before
    rss_growth = resident_bytes() - rss_before
    # One lost container with its record array alone is over 100 bytes a call.
    assert heap_growth < 256 * 1024, f"heap grew by {heap_growth} bytes over 10,000 calls"
    assert rss_growth < 4 * 1024 * 1024, f"resident memory grew by {rss_growth} bytes"
