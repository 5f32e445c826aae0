"""Pictures belong to Python; repeated calls do not leak."""

from __future__ import annotations

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
    for picture in pictures:
        assert picture.flags.owndata and picture.base is None
        assert picture.flags.writeable and picture.flags.c_contiguous
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


def test_no_growth_over_ten_thousand_calls(slap):
    # A small cut of the slap keeps 10,000 calls quick; every call still makes
    # pictures, so a lost container or picture shows as megabytes.
    rows, columns = slap.pixels.shape
    small = np.ascontiguousarray(slap.pixels[: rows // 2, : columns // 2])
    methods = ["separate", "quick", "quick-new", "cent2"]
    per_method = {}
    for method in methods:
        try:
            result = vantrel.segment(small, slap.ppi if method != "cent2" else 500, method=method)
            per_method[method] = sum(f.box_width * f.box_height for f in result.fingers)
        except vantrel.SegmentationError:
            per_method[method] = 0
    # Warm up allocator pools and caches before the baseline.
    for method in methods * 50:
        try:
            vantrel.segment(small, slap.ppi if method != "cent2" else 500, method=method)
        except vantrel.SegmentationError:
            pass
    gc.collect()
    before = resident_bytes()
    calls = 10_000
    for call in range(calls):
        method = methods[call % len(methods)]
        try:
            vantrel.segment(small, slap.ppi if method != "cent2" else 500, method=method)
        except vantrel.SegmentationError:
            pass
    gc.collect()
    growth = resident_bytes() - before
    assert growth < 8 * 1024 * 1024, f"resident memory grew by {growth} bytes over {calls} calls"
