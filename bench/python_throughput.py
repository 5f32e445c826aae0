"""Throughput of vantrel.segment_many on generated slaps (not part of the tests).

    PYTHONPATH=build/default/python /usr/bin/python3 bench/python_throughput.py \
        --dump build/default/tests/python/vantrel_dump_results --count 200

Generates the slaps with the reference program's generator (seeds 1..count),
then times segment_many with 1 and 2 local worker processes and on a Dask
LocalCluster of 1 and 2 workers, and a plain serial loop for comparison.
"""

from __future__ import annotations

import argparse
import subprocess
import tempfile
import time
from pathlib import Path

import vantrel


def generate(dump: str, count: int, folder: Path) -> list:
    paths = []
    for seed in range(1, count + 1):
        path = folder / f"slap_{seed:04d}.png"
        subprocess.run([dump, "synth", str(seed), str(path)], check=True, capture_output=True)
        paths.append(str(path))
    return paths


def timed(label: str, run, count: int) -> list:
    started = time.perf_counter()
    outcomes = run()
    seconds = time.perf_counter() - started
    ok = sum(o.ok for o in outcomes) if outcomes is not None else count
    print(f"{label:32s} {seconds:7.2f} s  {count / seconds:7.1f} files/s  ({ok}/{count} ok)")
    return outcomes


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True, help="path of vantrel_dump_results")
    parser.add_argument("--count", type=int, default=200)
    parser.add_argument("--method", default=vantrel.DEFAULT_METHOD)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as tmp:
        paths = generate(args.dump, args.count, Path(tmp))
        print(f"{args.count} generated slaps, method {args.method}")

        def serial():
            outcomes = []
            for path in paths:
                try:
                    image = vantrel.read_image(path)
                    result = vantrel.segment(image.pixels, image.ppi, method=args.method)
                    outcomes.append(vantrel.Outcome(path, result=result))
                except Exception as error:
                    outcomes.append(vantrel.Outcome(path, error=error))
            return outcomes

        reference = timed("serial loop in this process", serial, args.count)
        for workers in (1, 2):
            got = timed(
                f"local processes, {workers} worker(s)",
                lambda: vantrel.segment_many(paths, method=args.method, workers=workers),
                args.count,
            )
            assert got == reference

        import distributed

        for workers in (1, 2):
            with distributed.LocalCluster(
                n_workers=workers,
                threads_per_worker=1,
                processes=True,
                host="127.0.0.1",
                dashboard_address=None,
                silence_logs=40,
            ) as cluster, distributed.Client(cluster) as client:
                got = timed(
                    f"dask LocalCluster, {workers} worker(s)",
                    lambda: vantrel.segment_many(paths, method=args.method, client=client),
                    args.count,
                )
                assert got == reference


if __name__ == "__main__":
    main()
