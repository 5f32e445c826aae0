"""Sample images and the C++ reference program (VANTREL_DUMP_RESULTS, VANTREL_SAMPLES_DIR)."""

from __future__ import annotations

import json
import os
import struct
import subprocess
from pathlib import Path
from typing import Dict, List, Optional

import numpy as np
import pytest

import vantrel

# The generator varies hand, resolution, rotation, clutter and contrast with the seed.
SYNTH_SEEDS = (1, 2, 3, 5, 8, 13)


def dump_program() -> str:
    program = os.environ.get("VANTREL_DUMP_RESULTS")
    if not program or not os.path.exists(program):
        pytest.fail("VANTREL_DUMP_RESULTS must name the built vantrel_dump_results")
    return program


def write_synthetic(seed: int, path: Path) -> None:
    done = subprocess.run(
        [dump_program(), "synth", str(seed), str(path)], capture_output=True, text=True
    )
    if done.returncode == 2:
        pytest.skip("vantrel_dump_results was built without the slap generator")
    assert done.returncode == 0, done.stderr


@pytest.fixture(scope="session")
def synthetic_dir(tmp_path_factory) -> Path:
    folder = tmp_path_factory.mktemp("synthetic")
    for seed in SYNTH_SEEDS:
        write_synthetic(seed, folder / f"synth_{seed}.png")
    return folder


def real_samples() -> List[Path]:
    folder = os.environ.get("VANTREL_SAMPLES_DIR")
    if not folder or not os.path.isdir(folder):
        return []
    return sorted(Path(folder).rglob("*.png"))


@pytest.fixture(scope="session")
def sample_paths(synthetic_dir) -> List[Path]:
    return real_samples() + sorted(synthetic_dir.glob("*.png"))


class Reference:
    def __init__(self, data: dict, folder: Path) -> None:
        self.data = data
        self.folder = folder

    @property
    def pixels(self) -> np.ndarray:
        raw = np.fromfile(self.folder / "pixels.raw", dtype=np.uint8)
        return raw.reshape(self.data["rows"], self.data["columns"])

    def picture(self, record: dict) -> Optional[np.ndarray]:
        if record["image"] is None:
            return None
        raw = np.fromfile(self.folder / record["image"], dtype=np.uint8)
        return raw.reshape(record["boxHeight"], record["boxWidth"])


def run_reference(image: Path, folder: Path, runs: List[str]) -> Reference:
    folder.mkdir(parents=True, exist_ok=True)
    done = subprocess.run(
        [dump_program(), "run", str(image), str(folder), *runs], capture_output=True, text=True
    )
    assert done.returncode == 0, done.stderr
    return Reference(json.loads(done.stdout), folder)


def float_bits(value: float) -> int:
    return struct.unpack("<I", struct.pack("<f", value))[0]


def same_records(result: vantrel.Result, run: dict, reference: Reference) -> None:
    records = run["records"]
    assert len(result.fingers) == len(records)
    for index, (finger, record) in enumerate(zip(result.fingers, records)):
        where = f"{run['method']} record {index}"
        if run["method"] == "cent2":
            corners = ("upperLeft", "upperRight", "lowerLeft", "lowerRight")
            expected: Dict[str, object] = {
                "center_y": record["centerRow"],
                "center_x": record["centerColumn"],
                "angle_two_degrees": record["angleTwoDegrees"],
                "fixed_value": float(record["fixedValue"]),
                "corners": tuple((record[c + "Row"], record[c + "Column"]) for c in corners),
                "top": record["upperLeftRow"],
                "left": record["upperLeftColumn"],
                "bottom": record["lowerRightRow"],
                "right": record["lowerRightColumn"],
            }
            assert finger.angle is None and finger.image is None, where
        else:
            expected = {"center_x": record["centerX"], "center_y": record["centerY"]}
            expected.update({k: record[k] for k in ("top", "left", "bottom", "right")})
            assert float_bits(finger.angle) == record["angleBits"], where
            assert float_bits(finger.fixed_value) == record["fixedValueBits"], where
            picture = reference.picture(record)
            if picture is None:
                assert finger.image is None, where
            else:
                assert finger.image.dtype == np.uint8 and finger.image.shape == picture.shape, where
                assert finger.image.tobytes() == picture.tobytes(), where
        expected.update(
            position=record["position"], box_height=record["boxHeight"], box_width=record["boxWidth"]
        )
        actual = {name: getattr(finger, name) for name in expected}
        assert actual == expected, where
