"""Scoring Dask DataFrames: each worker process reads the model once.

    >>> import dask.dataframe as dd
    >>> import dendrix.dask
    >>> scores = dendrix.dask.predict(dd.read_parquet("cases/"), "model.pmml")
    >>> scores.to_parquet("scores/")

The model document must be readable at the same path on every worker.
"""

import os
import threading

import dendrix

__all__ = ["predict"]

_models = {}
_models_lock = threading.Lock()


def _model(path, semantics, upgrade):
    """The model of this process for (path, semantics, upgrade), read on first use."""
    key = (path, semantics, upgrade)
    with _models_lock:
        model = _models.get(key)
        if model is None:
            model = _models[key] = dendrix.load(path, semantics=semantics, upgrade=upgrade)
        return model


def _score_partition(partition, path, semantics, upgrade, options):
    return _model(path, semantics, upgrade).predict(partition, **options)


def predict(ddf, path, semantics="native", upgrade=False, **options):
    """Scores a Dask DataFrame lazily, partition by partition.

    Args:
        ddf: a dask.dataframe.DataFrame with the model's input columns.
        path: the model document, readable at this path by every worker.
        semantics, upgrade: as for :func:`dendrix.load`.
        **options: as for :meth:`dendrix.Model.predict` (prediction_only,
            null_handling, n_threads).

    Returns:
        A Dask DataFrame with the partitions and index of ddf and the columns
        of :meth:`dendrix.Model.predict`. The model is read here once (to
        check it and to know the columns) and once per worker process.
    """
    path = os.path.abspath(os.fspath(path))
    meta = _model(path, semantics, upgrade).predict(ddf._meta, **options)
    return ddf.map_partitions(_score_partition, path, semantics, upgrade, options, meta=meta,
                              align_dataframes=False)
