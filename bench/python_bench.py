#!/usr/bin/python3
"""dendrix from Python against scikit-learn on the five bench models.

For each model: retrains scikit-learn's trees (the generator's own recipe, so
the trees are the ones in the document), then times, interleaved in one run,
scikit-learn's predict_proba (predict for the regression) and
dendrix's Model.predict with full output on the same 100,000 in-memory rows.
Checks that predict gives what dendrix-score writes for the model's input file,
to the last bit. Then n_threads=2 against 1 on forest-100 and Dask with one
and two worker processes on 1M rows of medium-tree.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py [--quick]

Per-row times are the best of several runs in CPU time of this process (one
thread), which a shared machine disturbs less than wall time; the two sides of
a row were measured in turn in the same run. Threads and Dask are timed on
the wall clock.
"""

import argparse
import gzip
import io
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
import pandas as pd

import dendrix

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SHARED = os.path.join(os.path.dirname(ROOT), "shared")
MODELS = os.path.join(SHARED, "bench-models")
TOOL = os.environ.get("DENDRIX_SCORE", os.path.join(ROOT, "build", "bin", "dendrix-score"))

# The generator's arguments per model (bench-models/regenerate.sh).
RECIPES = {
    "iris-tree": "--dataset iris --max-depth 4",
    "medium-tree": "--dataset classification --features 20 --classes 3 --max-depth 10",
    "deep-tree": "--dataset classification --features 20 --classes 3 --max-depth 20 "
                 "--train-rows 100000 --label-noise 0.1",
    "forest-100": "--dataset classification --features 20 --classes 3 --trees 100 --max-depth 8",
    "regression-tree": "--dataset regression --features 10 --max-depth 12",
}


def model_path(name):
    plain = os.path.join(MODELS, name + ".pmml")
    if os.path.exists(plain):
        return plain
    out = os.path.join(tempfile.gettempdir(), f"dendrix-bench-{os.getuid()}-{name}.pmml")
    if not os.path.exists(out):
        with gzip.open(plain + ".gz", "rb") as src, open(out, "wb") as dst:
            dst.write(src.read())
    return out


def best_time(fn, repeat, clock=time.perf_counter):
    best = float("inf")
    for _ in range(repeat):
        start = clock()
        fn()
        best = min(best, clock() - start)
    return best


def same_as_tool(name, path, model):
    """Rows of predict that differ from dendrix-score on the model's input file."""
    with gzip.open(os.path.join(MODELS, name + "-input.csv.gz"), "rb") as f:
        raw = f.read()
    tool = subprocess.run([TOOL, path, "-"], input=raw, capture_output=True, check=True)
    expected = pd.read_csv(io.BytesIO(tool.stdout), dtype=str, keep_default_na=False)
    got = model.predict(pd.read_csv(io.BytesIO(raw)))
    bad = np.zeros(len(got), dtype=bool)
    for column in expected.columns:
        want = expected[column]
        have = got[column]
        if column in ("prediction", "node_id", "advice") and have.dtype != np.float64:
            bad |= (have.astype(object).fillna("").astype(str) != want).to_numpy()
        else:
            numbers = want.replace("", "nan").astype(np.float64).to_numpy()
            mine = have.to_numpy(dtype=np.float64)
            bad |= ~((numbers == mine) | (np.isnan(numbers) & np.isnan(mine)))
    return int(bad.sum())


def compare_sklearn(names, repeat):
    sys.path.insert(0, os.path.join(SHARED, "tools"))
    import gen_sklearn_pmml as gen  # noqa: E402 (the generator, for its data and trees)

    print("| model | scikit-learn ns/row | dendrix ns/row | ratio | rows differing from dendrix-score |")
    print("|---|---|---|---|---|")
    for name in names:
        args = gen.parse_args(RECIPES[name].split() + ["--name", name])
        data = gen.make_dataset(args)
        trained = gen.train(args, data)
        x = np.ascontiguousarray(data.x_score, dtype=np.float64)
        frame = pd.DataFrame(x, columns=data.fields)
        path = model_path(name)
        model = dendrix.load(path)
        sk = trained.predict if data.regression else trained.predict_proba
        sk_best = ours_best = float("inf")
        for _ in range(repeat):  # interleaved, so both see the same machine
            sk_best = min(sk_best, best_time(lambda: sk(x), 1, time.process_time))
            ours_best = min(ours_best, best_time(lambda: model.predict(frame), 1, time.process_time))
        bad = same_as_tool(name, path, model)
        rows = len(frame)
        print(f"| {name} | {sk_best / rows * 1e9:,.0f} | {ours_best / rows * 1e9:,.0f} | "
              f"{ours_best / sk_best:.2f} | {bad} |", flush=True)


# Scores forest-100's input in a fresh process: wall seconds of the best run
# and the process's peak resident memory.
THREAD_RUN = """
import resource, sys, time
import pandas as pd
import dendrix
model = dendrix.load(sys.argv[1])
frame = pd.read_csv(sys.argv[2])
threads, repeat = int(sys.argv[3]), int(sys.argv[4])
best = float("inf")
for _ in range(repeat):
    start = time.perf_counter()
    model.predict(frame, n_threads=threads)
    best = min(best, time.perf_counter() - start)
print(best, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024)
"""


def compare_threads(repeat):
    path = model_path("forest-100")
    data = os.path.join(MODELS, "forest-100-input.csv.gz")
    model = dendrix.load(path)
    frame = pd.read_csv(data)
    same = model.predict(frame, n_threads=1).equals(model.predict(frame, n_threads=2))
    runs = {}
    for threads in (1, 2):
        out = subprocess.run([sys.executable, "-c", THREAD_RUN, path, data, str(threads),
                              str(repeat)], capture_output=True, text=True, check=True,
                             env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
        runs[threads] = [float(v) for v in out.stdout.split()]
    (one, one_mb), (two, two_mb) = runs[1], runs[2]
    print(f"forest-100, {len(frame):,} rows: n_threads=1 {one:.3f} s, n_threads=2 {two:.3f} s, "
          f"speed-up {one / two:.2f}x, same answers: {same}; peak RSS {one_mb:.0f} MB with 1 "
          f"thread, {two_mb:.0f} MB with 2")


def compare_dask(rows):
    import dask.dataframe as dd
    from distributed import Client, LocalCluster

    import dendrix.dask

    path = model_path("medium-tree")
    rng = np.random.default_rng(7)
    fields = [f"x{i + 1}" for i in range(20)]
    frame = pd.DataFrame(np.round(rng.normal(0, 2, (rows, 20)) * 16) / 16, columns=fields)
    local = dendrix.load(path).predict(frame)
    for workers in (1, 2):
        with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster):
            ddf = dd.from_pandas(frame, npartitions=8).persist()
            dendrix.dask.predict(ddf, path).compute()  # workers read the model
            start = time.perf_counter()
            scored = dendrix.dask.predict(ddf, path).compute()
            took = time.perf_counter() - start
        print(f"Dask, {workers} worker process(es), {rows:,} rows of medium-tree: "
              f"{rows / took:,.0f} rows/s; same as in-process predict: {scored.equals(local)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer repeats")
    parser.add_argument("--models", nargs="*", default=list(RECIPES))
    args = parser.parse_args()
    repeat = 3 if args.quick else 7
    compare_sklearn(args.models, repeat)
    compare_threads(repeat)
    compare_dask(1_000_000)


if __name__ == "__main__":
    main()
