"""segment_many: local worker processes and a Dask cluster give the serial results."""

from __future__ import annotations

import time

import pytest

import vantrel


def serial(paths, **kwargs):
    outcomes = []
    for path in paths:
        try:
            image = vantrel.read_image(path)
            outcomes.append(
                vantrel.Outcome(str(path), result=vantrel.segment(image.pixels, image.ppi, **kwargs))
            )
        except Exception as error:
            outcomes.append(vantrel.Outcome(str(path), error=error))
    return outcomes


@pytest.fixture(scope="module")
def batch(synthetic_dir, tmp_path_factory):
    folder = tmp_path_factory.mktemp("batch")
    (folder / "broken.png").write_bytes(b"this is no image")
    paths = sorted(synthetic_dir.glob("*.png"))
    mixed = paths[:2] + [folder / "missing.png"] + paths[2:] + [folder / "broken.png"] + paths
    return [str(p) for p in mixed]


def check_failures(outcomes, batch):
    assert [o.path for o in outcomes] == batch
    missing = outcomes[batch.index(next(p for p in batch if p.endswith("missing.png")))]
    broken = outcomes[batch.index(next(p for p in batch if p.endswith("broken.png")))]
    assert not missing.ok and isinstance(missing.error, FileNotFoundError)
    assert not broken.ok and isinstance(broken.error, vantrel.ImageReadError)
    with pytest.raises(FileNotFoundError):
        missing.unwrap()
    assert sum(o.ok for o in outcomes) >= 1


def test_local_workers_match_serial(batch):
    expected = serial(batch, method="quick", hand="right")
    for workers, batch_size in ((2, None), (1, 3)):
        outcomes = vantrel.segment_many(
            batch, method="quick", hand="right", workers=workers, batch_size=batch_size
        )
        check_failures(outcomes, batch)
        assert outcomes == expected


@pytest.mark.parametrize(
    "kwargs, message",
    [({"method": "nope"}, "method must be one of"), ({"workers": 0}, "workers must be at least 1")],
)
def test_argument_errors_raise_before_any_work(batch, kwargs, message):
    with pytest.raises(ValueError, match=message):
        vantrel.segment_many(batch, **kwargs)
    assert vantrel.segment_many([]) == []


def test_default_method_and_a_lone_path(batch):
    good = next(p for p in batch if p.endswith(".png") and "synth" in p)
    [outcome] = vantrel.segment_many([good], workers=1)
    assert outcome.unwrap().method == "slap"
    with pytest.raises(TypeError, match="sequence of paths, not one path"):
        vantrel.segment_many(good)


def test_cent2_reports_non_500_files_per_file(synthetic_dir, tmp_path):
    outcomes = vantrel.segment_many(
        sorted(synthetic_dir.glob("*.png")), method="cent2", workers=1
    )
    for outcome in outcomes:
        image = vantrel.read_image(outcome.path)
        if image.ppi != (500, 500):
            assert isinstance(outcome.error, ValueError)
            assert "500 ppi images only" in str(outcome.error)


# Debian's tornado warns about the event-loop call distributed makes.
@pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")
def test_dask_cluster_matches_serial(batch):
    distributed = pytest.importorskip("distributed")
    expected = serial(batch, method="separate")
    started = time.monotonic()
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, host="127.0.0.1", dashboard_address=None, silence_logs=40
    ) as cluster, distributed.Client(cluster) as client:
        outcomes = vantrel.segment_many(batch, method="separate", client=client, batch_size=2)
        workers_used = len(client.nthreads())
    assert workers_used == 2
    check_failures(outcomes, batch)
    assert outcomes == expected
    assert time.monotonic() - started < 60
