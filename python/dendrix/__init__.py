"""Score decision-tree models read from PMML on NumPy and pandas data in memory.

    >>> import dendrix
    >>> model = dendrix.load("iris.pmml")
    >>> scores = model.predict(frame)          # a pandas DataFrame, one row per row of frame

Rows are scored in native code with the GIL released; ``n_threads`` scores
one model from several threads. ``dendrix.dask.predict`` scores a Dask
DataFrame, reading the model once per worker process.
"""

import os
import warnings

import numpy as np
import pandas as pd

from dendrix._errors import ModelError
from dendrix import _dendrix

__all__ = ["load", "Model", "ModelError", "TreePlot"]

_HERE = os.path.dirname(os.path.abspath(__file__))
_ENGINES = {"native": "libdendrix_plugin.so", "pmml": "libdendrix_pmml44.so"}
# The value a number field takes from text that is no number.
_SYSMIS = -np.finfo(np.float64).max


def _engine_path(semantics):
    if semantics not in _ENGINES:
        raise ValueError(f"semantics must be one of {sorted(_ENGINES)}, not {semantics!r}")
    path = os.path.join(_HERE, _ENGINES[semantics])
    if not os.path.exists(path):
        raise ModelError(0, f"the {semantics!r} engine is not built ({path} is missing)")
    return path


def load(source, semantics="native", upgrade=False):
    """Reads a model document.

    Args:
        source: a path (str or os.PathLike) or the document itself (bytes).
        semantics: "native" for this system's tree engine, "pmml" for the
            engine that follows the PMML 4.4 rules where they differ.
        upgrade: first rewrite documents that follow newer PMML conventions
            (as ``dendrix-score --upgrade-pmml`` does).

    Returns:
        A :class:`Model`.

    Raises:
        ModelError: the document cannot be read (``code`` and ``message``).
        ValueError: unknown semantics.
    """
    engine = _engine_path(semantics)
    if isinstance(source, (bytes, bytearray, memoryview)):
        native = _dendrix.Model(engine, bytes(source), False, bool(upgrade))
    else:
        native = _dendrix.Model(engine, os.fspath(source), True, bool(upgrade))
    return Model(native)


class Model:
    """A model read by :func:`load`. Safe to use from several threads."""

    def __init__(self, native):
        self._native = native
        self._names = list(native.names)
        self._text_fields = list(native.text_fields)
        self._inputs = list(native.inputs)
        self._classes = list(native.classes)
        self._kind = "regression" if native.regression else "classification"
        # The categories of the answers' text columns, made once per set of texts.
        self._dtypes = _Dtypes()

    @property
    def inputs(self):
        """Names of the fields the model reads, in document order."""
        return list(self._inputs)

    @property
    def target(self):
        """Name of the predicted field (None when the model names none)."""
        return self._native.target

    @property
    def classes(self):
        """The target's categories in order (empty for a regression)."""
        return list(self._classes)

    @property
    def kind(self):
        """"classification" or "regression"."""
        return self._kind

    def describe(self):
        """The model's kind, target, classes, inputs and tree sizes, as a dict."""
        return self._native.describe()

    def dump(self):
        """The model's text dump (as ``dendrix-score --dump`` writes it)."""
        return self._native.dump()

    def predict(self, X, prediction_only=False, null_handling=False, n_threads=1, columns=None):
        """Scores every row of X.

        Args:
            X: a pandas DataFrame (columns by name, in any order; extra
                columns are ignored), a dict of 1-D arrays, or a 2-D NumPy
                array with ``columns=`` naming its columns. Missing values are
                NaN, None or ``pd.NA``. Fields of type string take str,
                object or Categorical columns; numeric fields take numbers, or
                text that is parsed (text that is no number is the
                system-missing value, as in a CSV file).
            prediction_only: skip advice, probabilities and the checks that
                produce advice (as ``--prediction-only``).
            null_handling: a missing or unroutable split value stops scoring
                the row with no prediction (as ``--null-handling``).
            n_threads: threads scoring this call, sharing the model.
            columns: the column names of a 2-D array.

        Returns:
            A DataFrame with X's index (a RangeIndex for arrays and dicts) and
            the batch scorer's columns: ``prediction`` (Categorical for a
            classification, float for a regression), ``confidence`` and one
            ``probability(<class>)`` per class, or ``std_dev``; ``node_id``
            and ``advice`` (Categorical, advice "" when none) and ``status``
            (0 when scored). Numbers without a value are NaN.
        """
        batch, index = self._batch(X, columns)
        out = self._native.score(batch, len(index), bool(prediction_only), bool(null_handling),
                                 max(1, int(n_threads)))
        return _frame(out, self._kind, self._classes, index, self._dtypes)

    def explain(self, X, columns=None):
        """The decision path of every row of X (given as to :meth:`predict`).

        Returns:
            A Series with X's index holding, per row, one list per tree (one
            for a single tree or rule set) of the nodes entered from the root
            to the answer, each a dict ``{"node", "condition", "weight",
            "depth"}`` as ``dendrix-score --path --format jsonl`` writes
            them: the node's id, the condition that routed the case there
            ("" at the root), the share of the case that took the branch
            (below 1 where a case is split among branches) and the depth (0
            at the root; branches of a split case share a depth). A row
            that names a node (``predict``'s ``node_id``) ends its last
            tree's list there.
        """
        batch, index = self._batch(X, columns)
        paths = self._native.explain(batch, len(index))
        return pd.Series(paths, index=index, dtype=object, name="path")

    def plot(self, depth=None, tree=1, highlight=None, columns=None):
        """A picture of one tree (as ``dendrix-score --render`` draws it).

        Args:
            depth: levels below the root to draw (None for all); the number
                of nodes left out is shown under the last drawn ones.
            tree: which tree of an ensemble, from 1.
            highlight: one row (a one-row DataFrame, dict or 2-D array with
                ``columns=``) whose path through the tree is drawn.

        Returns:
            A :class:`TreePlot`: ``.svg`` holds the SVG document, Jupyter
            shows it inline, ``save(path)`` writes it.
        """
        count = self._native.tree_count
        if not 1 <= int(tree) <= max(count, 1):
            raise ValueError(f"tree must be from 1 to {max(count, 1)}, not {tree}")
        steps, caption = None, ""
        if highlight is not None:
            paths = self.explain(highlight, columns)
            if len(paths) != 1:
                raise ValueError(f"highlight must be one row, not {len(paths)}")
            trees = paths.iloc[0]
            # Ensembles have one path per tree; a single tree or rule set has one.
            index = int(tree) - 1 if len(trees) > 1 else 0
            steps = trees[index] if index < len(trees) else []
            caption = f"path of row {paths.index[0]}"
        depth = -1 if depth is None else int(depth)
        return TreePlot(self._native.render(int(tree) - 1, depth, steps, caption))

    def _batch(self, X, columns):
        """X's columns in the model's record layout, and X's index."""
        frame, index = _as_columns(X, columns, self._names)
        rows = len(index)
        missing = [name for name in self._inputs if name not in frame]
        if missing:
            warnings.warn(f"no column for model input(s) {', '.join(missing)}: "
                          "they have no value in any row", stacklevel=3)
        return [_column(frame.get(name), is_text, rows)
                for name, is_text in zip(self._names, self._text_fields)], index


class TreePlot:
    """An SVG picture of a tree, shown inline by Jupyter."""

    def __init__(self, svg):
        self.svg = svg

    def _repr_svg_(self):
        return self.svg

    def save(self, path):
        """Writes the SVG document to path."""
        with open(path, "w", encoding="utf-8") as f:
            f.write(self.svg)


def _as_columns(X, columns, names):
    """A mapping from the names the model reads to their columns (the first
    column of a name wins) and the index."""
    if isinstance(X, pd.DataFrame):
        wanted = set(names)
        if X.columns.is_unique:
            return {name: X[name] for name in X.columns if name in wanted}, X.index
        first = {}
        for position, name in enumerate(X.columns):
            if name in wanted:
                first.setdefault(name, position)
        return {name: X.iloc[:, position] for name, position in first.items()}, X.index
    if isinstance(X, np.ndarray):
        if X.ndim != 2 or columns is None or len(columns) != X.shape[1]:
            raise ValueError("a NumPy array must be 2-D with columns= naming each column")
        frame = {}
        for position, name in enumerate(columns):
            frame.setdefault(name, X[:, position])
        return frame, pd.RangeIndex(X.shape[0])
    if isinstance(X, dict):
        lengths = {len(v) for v in X.values()}
        if len(lengths) > 1:
            raise ValueError("the columns of a dict must have one length")
        return dict(X), pd.RangeIndex(lengths.pop() if lengths else 0)
    raise TypeError("X must be a pandas DataFrame, a dict of arrays or a 2-D NumPy array")


def _column(values, is_text, rows):
    """One model field's column as the native scorer takes it."""
    if values is None:
        return ("absent",)
    series = values if isinstance(values, pd.Series) else pd.Series(values)
    if len(series) != rows:
        raise ValueError("every column must have one entry per row")
    if is_text:
        if isinstance(series.dtype, pd.CategoricalDtype):
            codes = series.cat.codes.to_numpy(dtype=np.int32)
            texts = [_text(c) for c in series.cat.categories]
        else:
            codes, uniques = pd.factorize(series, use_na_sentinel=True)
            codes = codes.astype(np.int32, copy=False)
            texts = [_text(u) for u in uniques]
        return ("text", np.ascontiguousarray(codes), texts)
    if isinstance(series.dtype, pd.CategoricalDtype):
        numbers = np.array([_number(c) for c in series.cat.categories] + [np.nan])
        return ("number", np.ascontiguousarray(numbers[series.cat.codes.to_numpy()]))
    if series.dtype == np.float64:  # NaN is already "no value": read in place
        return ("number", series.to_numpy())
    if pd.api.types.is_numeric_dtype(series.dtype) or pd.api.types.is_bool_dtype(series.dtype):
        return ("number", np.ascontiguousarray(series.to_numpy(dtype=np.float64,
                                                                na_value=np.nan)))
    codes, uniques = pd.factorize(series, use_na_sentinel=True)
    numbers = np.array([_number(u) for u in uniques] + [np.nan])
    return ("number", np.ascontiguousarray(numbers[codes]))


def _text(value):
    """Text of a category as a CSV file holds it: whole numbers without a
    fraction, booleans as true and false."""
    if isinstance(value, (bool, np.bool_)):
        return "true" if value else "false"
    if isinstance(value, (float, np.floating)) and float(value).is_integer():
        return str(int(value))
    return str(value)


def _number(value):
    if isinstance(value, (int, float, np.integer, np.floating)) and not isinstance(value, bool):
        return float(value)
    try:
        return float(str(value).strip())
    except ValueError:
        return _SYSMIS


class _Dtypes:
    """The Categorical dtype of each text column's last set of texts (None
    when two texts print alike), kept so that calls with the same texts,
    the usual case, do not build and check the categories again."""

    def __init__(self):
        self._last = {}

    def get(self, column, texts):
        last = self._last.get(column)
        if last is not None and last[0] == texts:
            return last[1]
        dtype = pd.CategoricalDtype(texts) if len(set(texts)) == len(texts) else None
        self._last[column] = (texts, dtype)
        return dtype


def _categorical(out, column, dtypes):
    codes, texts = out[column], out[column + "_texts"]
    dtype = dtypes.get(column, texts)
    if dtype is not None:
        return pd.Categorical.from_codes(codes, dtype=dtype)
    # Categories that print alike: plain objects.
    table = np.array(list(texts) + [None], dtype=object)
    return table[codes]


def _frame(out, kind, classes, index, dtypes):
    data = {}
    if kind == "regression":
        data["prediction"] = out["prediction"]
        data["std_dev"] = out["std_dev"]
        data["node_id"] = _categorical(out, "node", dtypes)
    else:
        data["prediction"] = _categorical(out, "prediction", dtypes)
        data["confidence"] = out["confidence"]
        data["node_id"] = _categorical(out, "node", dtypes)
        for name, values in zip(classes, out["probabilities"]):
            data[f"probability({name})"] = values
    data["advice"] = _categorical(out, "advice", dtypes)
    data["status"] = out["status"]
    return pd.DataFrame(data, index=index, copy=False)
