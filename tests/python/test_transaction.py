"""read_transaction on the interchange tests' transactions."""

from __future__ import annotations

import os
from pathlib import Path

import pytest

import vantrel

DATA = Path(os.environ["VANTREL_SAMPLES_DIR"]).parent / "tests" / "interchange" / "data"


def test_slap_records_are_listed():
    slaps = [r for r in vantrel.read_transaction(DATA / "valid1.8.an2")]
    assert [(r.record, r.type, r.positions) for r in slaps] == [
        (3, 14, (13,)),
        (4, 14, (14,)),
        (5, 14, (15,)),
    ]
    assert slaps[2].size == (1800, 900) and slaps[2].ppi == (500, 500)
    assert {r.compression for r in slaps} == {"wsq"}
    binary = vantrel.read_transaction(str(DATA / "nist_sample.an2"))
    assert len(binary) == 14 and binary[10] == vantrel.TransactionImage(
        13, 4, (14,), (1608, 1000), (500, 500), "wsq"
    )


def test_damaged_and_missing_transactions(tmp_path):
    damaged = tmp_path / "cut.an2"
    damaged.write_bytes((DATA / "valid1.8.an2").read_bytes()[:5000])
    with pytest.raises(vantrel.ImageReadError) as caught:
        vantrel.read_transaction(damaged)
    assert caught.value.kind == "corrupt" and "truncated" in str(caught.value)
    with pytest.raises(FileNotFoundError):
        vantrel.read_transaction(tmp_path / "absent.an2")
