#!/usr/bin/python3
"""Scores a table too large for one process with Dask: each worker process
reads the model once and scores its partitions.

    PYTHONPATH=build/python /usr/bin/python3 examples/dask_scoring.py [ROWS]

Here the table is made up and the cluster is local (two worker processes);
with real data, read it with dask.dataframe.read_csv or read_parquet and
connect a Client to your cluster instead. The model document must be
readable at the same path on every worker.
"""

import os
import sys

import dask.dataframe as dd
import numpy as np
import pandas as pd
from distributed import Client, LocalCluster

import dendrix.dask

MODEL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "iris", "model.pmml")


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    rng = np.random.default_rng(1)
    frame = pd.DataFrame(np.round(rng.uniform(0.1, 8, (rows, 4)), 1),
                         columns=["sepal_length", "sepal_width", "petal_length", "petal_width"])
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster):
        cases = dd.from_pandas(frame, npartitions=8)
        scores = dendrix.dask.predict(cases, MODEL)  # lazy: nothing is scored yet
        counts = scores["prediction"].value_counts().compute()
    print(counts.to_string())


if __name__ == "__main__":
    main()
