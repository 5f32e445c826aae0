"""Argument checks, conversions and the errors they raise."""

from __future__ import annotations

import pickle

import numpy as np
import pytest

import vantrel

WHITE = np.full((300, 300), 255, dtype=np.uint8)


def test_conversions_follow_the_documented_rules():
    grey = vantrel._grey
    assert grey(np.array([[0, 255, 65535, 0x1234]], dtype=np.uint16)).tolist() == [[0, 0, 255, 0x12]]
    assert grey(np.array([[0.0, 0.5, 1.0, 0.1]])).tolist() == [[0, 128, 255, 26]]
    rgb = np.array([[[255, 0, 0], [0, 255, 0], [0, 0, 255], [10, 20, 30]]], dtype=np.uint8)
    assert grey(rgb).tolist() == [[76, 150, 29, 18]]
    rgba = np.concatenate([rgb, np.zeros((1, 4, 1), dtype=np.uint8)], axis=2)
    assert grey(rgba).tolist() == grey(rgb).tolist()
    view = np.arange(100, dtype=np.uint8).reshape(10, 10)[::2, ::3]
    converted = grey(view)
    assert converted.flags.c_contiguous and converted.tolist() == view.tolist()


@pytest.mark.parametrize(
    "image, kwargs, error, message",
    [
        (np.zeros(100, dtype=np.uint8), {}, ValueError, "2-D"),
        (np.zeros((10, 10, 2), dtype=np.uint8), {}, ValueError, "3 \\(RGB\\) or 4 \\(RGBA\\) channels"),
        (np.zeros((10, 10), dtype=bool), {}, ValueError, "dtype bool is not supported"),
        (np.full((10, 10), 256, dtype=np.int32), {}, ValueError, "0..255 \\(found 256..256\\)"),
        (np.full((10, 10), -1, dtype=np.int8), {}, ValueError, "must hold values 0..255"),
        (np.full((10, 10), 1.5), {}, ValueError, "must hold values 0.0..1.0"),
        (np.full((10, 10), np.nan), {}, ValueError, "NaN or infinity"),
        ([[255] * 10] * 10, {}, TypeError, "numpy array, got list"),
        (WHITE, {"method": "fast"}, ValueError, "method must be one of separate, quick"),
        (WHITE, {"hand": "middle"}, ValueError, "hand must be None, 'right', 'left' or 'thumbs'"),
        (WHITE, {"hand": 12}, ValueError, "hand code must be 13, 14, 15 or 0, got 12"),
        (WHITE, {"hand": 13.5}, ValueError, "hand must be a whole number"),
        (WHITE, {"ppi": (500, 500, 500)}, ValueError, "one number or a pair"),
        (WHITE, {"ppi": "500"}, TypeError, "ppi must be a number or a pair"),
        (WHITE, {"ppi": 2**31}, ValueError, "does not fit a 32-bit integer"),
        (WHITE, {"ppi": True}, TypeError, "must be an integer, not bool"),
        (WHITE, {"fingers": "4"}, TypeError, "fingers must be an integer, got str"),
        (WHITE, {"method": "cent2", "ppi": 250}, ValueError, "500 ppi images only"),
        (WHITE, {"method": "cent2", "fingers": 5}, ValueError, "takes 1 to 4 fingers"),
    ],
)
def test_bad_arguments(image, kwargs, error, message):
    with pytest.raises(error, match=message):
        vantrel.segment(image, **kwargs)


def test_whole_floats_and_numpy_integers_are_taken():
    for ppi in (500.0, np.int32(500), (np.int64(500), 500.0), np.array([500, 500])):
        assert vantrel._resolution(ppi) == (500, 500)
    assert vantrel._hand_code("RIGHT") == 13 and vantrel._hand_code(np.int16(15)) == 15


@pytest.mark.parametrize("method", ["separate", "quick"])
@pytest.mark.parametrize(
    "shape, kwargs, status, meaning",
    [
        ((300, 300), {"ppi": (500, 200)}, 8, "vertical resolution below 201 pixels per inch"),
        ((0, 300), {}, 10, "number of rows below 1"),
    ],
)
def test_library_statuses_raise_segmentation_error(method, shape, kwargs, status, meaning):
    with pytest.raises(vantrel.SegmentationError) as caught:
        vantrel.segment(np.full(shape, 255, dtype=np.uint8), method=method, **kwargs)
    error = caught.value
    assert error.status == status and error.meaning.startswith(meaning)
    assert error.kind == f"status_{status}"
    assert error.method == method
    assert str(error) == f"{method}: status {status}: {error.meaning}"
    assert not isinstance(error, vantrel.NoFingerFound)


def test_status_texts_and_no_finger_error():
    assert vantrel.status_text(23) == "no finger found"
    assert vantrel.status_text(19) == "out of memory"
    assert vantrel.status_text(4242) == "unknown status"
    error = vantrel.SegmentationError(23, "quick")
    assert isinstance(error, vantrel.NoFingerFound) and error.status == 23
    assert isinstance(vantrel.NoFingerFound(), vantrel.SegmentationError)
    for original in (error, vantrel.SegmentationError(19, "separate")):
        copy = pickle.loads(pickle.dumps(original))
        assert type(copy) is type(original) and str(copy) == str(original)
        assert copy.status == original.status and copy.method == original.method


@pytest.mark.parametrize(
    "name, content, reason",
    [
        ("absent.png", None, None),
        ("notes.png", b"not an image at all", "unsupported"),
        ("truncated.png", b"\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR\x00\x00", "corrupt"),
        ("", None, "unreadable"),
    ],
)
def test_read_image_errors(tmp_path, name, content, reason):
    path = tmp_path / name
    if content is not None:
        path.write_bytes(content)
    with pytest.raises(FileNotFoundError if reason is None else vantrel.ImageReadError) as caught:
        vantrel.read_image(path)
    copy = pickle.loads(pickle.dumps(caught.value))
    if reason is None:
        assert caught.value.filename == str(path)
        assert caught.value.kind == copy.kind == "not_found"
        return
    assert caught.value.kind == reason and str(caught.value).startswith(str(path))
    assert copy.kind == reason and str(copy) == str(caught.value)


def test_read_image_resolution_override(synthetic_dir):
    path = next(iter(sorted(synthetic_dir.glob("*.png"))))
    from_file = vantrel.read_image(path)
    assert from_file.resolution_source == "file" and from_file.format == "png"
    forced = vantrel.read_image(str(path), ppi=(300, 400))
    assert forced.ppi == (300, 400) and forced.resolution_source == "flag"
    assert forced.pixels.tobytes() == from_file.pixels.tobytes()
    with pytest.raises(ValueError, match="ppi must be positive"):
        vantrel.read_image(path, ppi=0)
