"""The module gives exactly what the library gives when called from C++."""

from __future__ import annotations

import threading
import time
from pathlib import Path

import numpy as np
import pytest

import vantrel
from conftest import SYNTH_SEEDS, real_samples, run_reference, same_records

# (fingers, hand code) combinations run through every segmenter.
CASES = [(4, 0), (4, 14), (2, 15)]
# (fingers, hand code) for cent2; the finger count becomes the mask (1 << n) - 1.
CENT2_CASES = [(4, 13), (2, 15)]

SAMPLES = [pytest.param(p, id=p.name) for p in real_samples()] + [
    pytest.param(seed, id=f"synth_{seed}") for seed in SYNTH_SEEDS
]


def runs_for(ppi):
    runs = []
    for method in vantrel.METHODS:
        if method == "cent2":
            if ppi == (500, 500):
                runs += [f"cent2:{(1 << n) - 1}:{hand}" for n, hand in CENT2_CASES]
        else:
            runs += [f"{method}:{n}:{hand}" for n, hand in CASES]
    return runs


def python_run(image: vantrel.Image, run: dict):
    fingers = run["fingers"]
    if run["method"] == "cent2":
        fingers = bin(fingers).count("1")
    try:
        return vantrel.segment(
            image.pixels, image.ppi, fingers=fingers, hand=run["hand"], method=run["method"]
        )
    except vantrel.SegmentationError as error:
        return error


@pytest.mark.parametrize("sample", SAMPLES)
def test_every_entry_matches_cpp(sample, synthetic_dir, tmp_path):
    path = sample if isinstance(sample, Path) else synthetic_dir / f"synth_{sample}.png"
    image = vantrel.read_image(path)
    reference = run_reference(path, tmp_path, runs_for(image.ppi))

    assert image.ppi == (reference.data["xppi"], reference.data["yppi"])
    assert image.pixels.shape == (reference.data["rows"], reference.data["columns"])
    assert image.pixels.tobytes() == reference.pixels.tobytes()

    for run in reference.data["runs"]:
        outcome = python_run(image, run)
        label = f"{path.name} {run['method']} fingers={run['fingers']} hand={run['hand']}"
        if run["method"] == "cent2":
            if run["count"] == 0:
                assert isinstance(outcome, vantrel.NoFingerFound), label
                continue
        elif run["status"] != 0:
            assert isinstance(outcome, vantrel.SegmentationError), label
            assert outcome.status == run["status"], label
            continue
        assert isinstance(outcome, vantrel.Result), f"{label}: {outcome}"
        if run["method"] != "cent2":
            assert outcome.hand_code == run["handCode"], label
        same_records(outcome, run, reference)


def test_segmenters_find_fingers_on_the_samples(sample_paths):
    # Guards the comparison above against agreeing on nothing but failures.
    found = {method: 0 for method in vantrel.METHODS}
    for path in sample_paths:
        image = vantrel.read_image(path)
        for method in vantrel.METHODS:
            if method == "cent2" and image.ppi != (500, 500):
                continue
            try:
                result = vantrel.segment(image.pixels, image.ppi, method=method, hand=13)
            except vantrel.SegmentationError:
                continue
            found[method] += len(result.fingers) > 0
    assert all(count > 0 for count in found.values()), found


@pytest.fixture(scope="module")
def slap(synthetic_dir) -> vantrel.Image:
    return vantrel.read_image(synthetic_dir / f"synth_{SYNTH_SEEDS[0]}.png")


def results_or_error(*args, **kwargs):
    try:
        return vantrel.segment(*args, **kwargs)
    except vantrel.SegmentationError as error:
        return (type(error), error.status)


def test_strided_and_converted_inputs_give_the_same_result(slap):
    # The conversion comes before any entry runs: one entry shows it.
    method = "quick"
    pixels = slap.pixels
    expected = results_or_error(pixels, slap.ppi, method=method)
    fortran = np.asfortranarray(pixels)
    padded = np.zeros((pixels.shape[0], pixels.shape[1] * 2), dtype=np.uint8)
    padded[:, ::2] = pixels
    assert not fortran.flags.c_contiguous and not padded[:, ::2].flags.c_contiguous
    for variant in (
        fortran,
        padded[:, ::2],
        pixels.astype(np.uint16) * 257,  # 16-bit: the high byte is kept
        pixels.astype(np.float32) / np.float32(255),
        np.repeat(pixels[:, :, None], 3, axis=2),  # grey stored as RGB
    ):
        assert results_or_error(variant, slap.ppi, method=method) == expected
    assert expected == results_or_error(pixels, list(slap.ppi), method=method)


def test_native_calls_let_other_threads_run(slap):
    # A slap scaled up to twice its size and taken as 201 ppi keeps the full
    # separator busy for a while (a large working image); a Python loop in
    # another thread must keep ticking meanwhile.
    big = np.ascontiguousarray(np.repeat(np.repeat(slap.pixels, 2, axis=0), 2, axis=1))
    ppi = 201
    started = time.perf_counter()
    results_or_error(big, ppi, method="separate")
    call_seconds = time.perf_counter() - started

    done = threading.Event()

    def work():
        for _ in range(3):
            results_or_error(big, ppi, method="separate")
        done.set()

    worker = threading.Thread(target=work)
    longest_gap = 0.0
    worker.start()
    last = time.perf_counter()
    while not done.is_set():
        now = time.perf_counter()
        longest_gap = max(longest_gap, now - last)
        last = now
    worker.join()
    assert longest_gap < call_seconds / 2, (longest_gap, call_seconds)
