"""The dendrix package as users rely on it: what predict gives against the
batch scorer on the same rows, column order, missing values, categories,
errors, threads and Dask; decision paths and pictures of trees."""

import io
import json
import os
import subprocess
from xml.etree import ElementTree

import numpy as np
import pandas as pd
import pytest

dendrix = pytest.importorskip("dendrix")

SOURCE = os.environ.get("DENDRIX_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
TOOL = os.environ.get("DENDRIX_SCORE", os.path.join(SOURCE, "build", "bin", "dendrix-score"))
EXAMPLES = os.path.join(SOURCE, "examples")
NAMES = ["credit", "ensemble", "iris", "legacy", "regression", "ruleset"]


def example(name):
    model = "model.xml" if name == "legacy" else "model.pmml"
    return os.path.join(EXAMPLES, name, model), os.path.join(EXAMPLES, name, "input.csv")


def tool_output(model, csv_text, *flags):
    run = subprocess.run([TOOL, model, "-", *flags], input=csv_text.encode(), capture_output=True,
                         check=True)
    return pd.read_csv(io.BytesIO(run.stdout), dtype=str, keep_default_na=False)


def assert_same_as_tool(got, expected):
    """Texts equal, numbers equal to the last bit (an empty cell is NaN)."""
    assert list(got.columns) == list(expected.columns)
    for column in expected.columns:
        have = got[column]
        if have.dtype == np.float64 or column == "status":
            want = expected[column].replace("", "nan").astype(np.float64).to_numpy()
            mine = have.to_numpy(dtype=np.float64)
            same = (want == mine) | (np.isnan(want) & np.isnan(mine))
        else:
            same = (have.astype(object).fillna("").astype(str) == expected[column]).to_numpy()
        assert same.all(), f"{column}: rows {np.flatnonzero(~same)[:5]}"


def pmml_engine_built():
    return os.path.exists(os.path.join(os.path.dirname(dendrix.__file__), "libdendrix_pmml44.so"))


def assert_same(got, expected):
    """Equal values; Categorical columns may list their categories differently."""
    pd.testing.assert_frame_equal(got, expected, check_categorical=False)


# Every example through predict and through the tool, as read by pandas
# (numbers, booleans, NaN) and as plain text, with each scoring option.
@pytest.mark.parametrize("name", NAMES)
@pytest.mark.parametrize("flags", [(), ("--prediction-only",), ("--null-handling",)])
@pytest.mark.parametrize("as_text", [False, True])
def test_predict_matches_the_batch_scorer(name, flags, as_text):
    model_path, input_path = example(name)
    text = open(input_path).read()
    frame = pd.read_csv(io.StringIO(text), dtype=str if as_text else None)
    got = dendrix.load(model_path).predict(frame, prediction_only="--prediction-only" in flags,
                                           null_handling="--null-handling" in flags)
    assert_same_as_tool(got, tool_output(model_path, text, *flags))


def test_column_order_and_input_forms_do_not_change_answers():
    model_path, input_path = example("credit")
    frame = pd.read_csv(input_path)
    model = dendrix.load(model_path)
    first = model.predict(frame)
    shuffled = frame[list(reversed(frame.columns))].assign(extra=1.5)
    numbers = frame[["income", "age"]]
    for again in (shuffled, frame.to_dict("series"), frame, shuffled):
        assert_same(model.predict(again), first)
    # A 2-D array with columns=: the text fields absent, warned about.
    with pytest.warns(UserWarning, match="employment"):
        from_array = model.predict(numbers.to_numpy(), columns=["income", "age"])
    with pytest.warns(UserWarning):
        assert_same(from_array, model.predict(numbers))


def test_missing_values_and_categories_in_every_form():
    model = dendrix.load(example("credit")[0])
    income = [52000.0, np.nan, 24000.0, np.nan]
    employment = ["employed", None, "unemployed", "retired"]
    base = pd.DataFrame({"income": income, "age": [41, 23, 35, 60],
                         "employment": employment, "housing": ["own", "rent", None, "own"]})
    expected = model.predict(base)
    forms = [
        base.assign(income=pd.array([52000, None, 24000, pd.NA], dtype="Int64")),
        base.assign(employment=pd.Categorical(employment, categories=["unemployed", "employed",
                                                                      "retired", "unused"])),
        base.assign(employment=pd.array(employment, dtype="string")),
        base.assign(income=["52000", None, "24000", ""]),  # text that is no number
    ]
    for i, form in enumerate(forms):
        got = model.predict(form)
        if i < 3:
            assert_same(got, expected)
        else:  # "" is no number: the system-missing value, as a CSV cell that is no number
            assert_same(got.iloc[[0, 2]], expected.iloc[[0, 2]])
    assert list(expected.index) == [0, 1, 2, 3]
    indexed = base.set_index(pd.Index(["a", "b", "c", "d"]))
    assert list(model.predict(indexed).index) == ["a", "b", "c", "d"]


# Many rows of a row-major table, some numbers missing or system-missing
# (a CSV cell that is no number), scored in blocks on two threads.
def test_row_major_table_with_missing_numbers_matches_the_batch_scorer():
    model_path, input_path = example("iris")
    rows = pd.read_csv(input_path).drop(columns="flower")
    table = rows.sample(3001, replace=True, random_state=1).to_numpy()
    cells = np.random.default_rng(1).random(table.shape)
    table[cells < 0.02] = np.nan
    sysmis = -np.finfo(np.float64).max
    table[(cells >= 0.02) & (cells < 0.04)] = sysmis
    text = pd.DataFrame(table, columns=rows.columns).replace(sysmis, "x").to_csv(index=False)
    got = dendrix.load(model_path).predict(table, columns=list(rows.columns), n_threads=2)
    assert_same_as_tool(got, tool_output(model_path, text))


def test_answer_texts_follow_each_call_on_one_model():
    model_path, input_path = example("iris")
    frame = pd.read_csv(input_path)
    model = dendrix.load(model_path)
    for rows in ([0, 1], [3, 12], [6, 13], [0, 1], range(len(frame))):
        part = frame.iloc[list(rows)].reset_index(drop=True)
        got = model.predict(part)
        assert_same_as_tool(got, tool_output(model_path, part.to_csv(index=False)))
        assert (got["node_id"] == got["node_id"].astype(str)).all()


@pytest.mark.parametrize("source, code, text", [
    (b"not xml", 0, ""),
    (b"<PMML/>", 1, "DataDictionary"),
    ("/no/such/model.pmml", 0, "/no/such/model.pmml"),
    (b"<PMML version='4.3'><DataDictionary/></PMML>", None, ""),
])
def test_unreadable_documents_raise_model_error(source, code, text):
    with pytest.raises(dendrix.ModelError) as caught:
        dendrix.load(source)
    if code is not None:
        assert caught.value.code == code
    assert text in caught.value.message and caught.value.message


def test_bad_arguments():
    with pytest.raises(ValueError):
        dendrix.load(example("iris")[0], semantics="other")
    model = dendrix.load(open(example("iris")[0], "rb").read())
    with pytest.raises(TypeError):
        model.predict([[1, 2, 3, 4]])
    with pytest.raises(ValueError):
        model.predict(np.zeros((2, 4)))


def test_model_description():
    model = dendrix.load(example("iris")[0])
    assert model.kind == "classification" and model.target == "species"
    assert model.classes == ["setosa", "versicolor", "virginica"]
    described = model.describe()
    assert [f["name"] for f in described["inputs"]] == model.inputs
    assert described["trees"][0]["nodes"] > 1
    regression = dendrix.load(example("regression")[0])
    assert regression.kind == "regression" and regression.classes == []
    assert "std_dev" in regression.predict(pd.read_csv(example("regression")[1])).columns
    assert model.dump().strip()


@pytest.mark.parametrize("name", ["credit", "ensemble", "ruleset"])
def test_threads_share_one_model(name):
    model_path, input_path = example(name)
    frame = pd.read_csv(input_path)
    big = pd.concat([frame] * 800, ignore_index=True)  # enough rows for four threads
    model = dendrix.load(model_path)
    alone = model.predict(big)
    assert_same(model.predict(big, n_threads=4), alone)
    assert_same(alone.iloc[:len(frame)], model.predict(frame))


def test_pmml_semantics_when_built():
    if not pmml_engine_built():
        pytest.skip("the PMML engine is not built")
    for name in ["credit", "iris", "regression"]:
        model_path, input_path = example(name)
        text = open(input_path).read()
        got = dendrix.load(model_path, semantics="pmml").predict(pd.read_csv(io.StringIO(text)))
        assert_same_as_tool(got, tool_output(model_path, text, "--semantics", "pmml"))


def test_dask_on_two_worker_processes_matches_in_process_predict():
    dd = pytest.importorskip("dask.dataframe")
    distributed = pytest.importorskip("distributed")
    import dendrix.dask

    model_path = example("iris")[0]
    rng = np.random.default_rng(3)
    rows = 1_000_000
    frame = pd.DataFrame(np.round(rng.uniform(0, 8, (rows, 4)), 1),
                         columns=["sepal_length", "sepal_width", "petal_length", "petal_width"])
    frame.loc[::97, "petal_width"] = np.nan
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster):
        ddf = dd.from_pandas(frame, npartitions=8)
        scored = dendrix.dask.predict(ddf, model_path).compute()
    assert_same(scored, dendrix.load(model_path).predict(frame))


# Paths as the tool's --path writes them, each ending at the row's node_id (a
# classification ensemble names no node).
@pytest.mark.parametrize("name, semantics", [("credit", "native"), ("regression", "native"),
                                             ("ensemble", "native"), ("iris", "pmml")])
def test_explain_matches_the_tool_and_ends_at_node_id(name, semantics):
    if semantics == "pmml" and not pmml_engine_built():
        pytest.skip("the PMML engine is not built")
    model_path, input_path = example(name)
    text = open(input_path).read()
    frame = pd.read_csv(io.StringIO(text), index_col=0)
    model = dendrix.load(model_path, semantics=semantics)
    paths = model.explain(frame)
    assert paths.index.equals(frame.index)
    run = subprocess.run([TOOL, model_path, "-", "--path", "--format", "jsonl", "--semantics",
                          semantics], input=text.encode(), capture_output=True, check=True)
    assert list(paths) == [json.loads(line)["path"] for line in run.stdout.splitlines()]
    ends = [(trees[-1][-1]["node"], node) for trees, node
            in zip(paths, model.predict(frame)["node_id"].astype(str)) if node != "-1"]
    assert (ends or name == "ensemble") and all(last == node for last, node in ends)


def svg_nodes(svg):
    """Ids of the node boxes, and of those drawn on the highlighted path."""
    boxes = [g for g in ElementTree.fromstring(svg).iter() if g.get("class") == "node"]
    on_path = [g.get("data-node") for g in boxes if g.find("*").get("stroke-width") == "3"]
    return [g.get("data-node") for g in boxes], on_path


def test_plot_draws_what_the_tool_draws(tmp_path):
    model_path, input_path = example("iris")
    model = dendrix.load(model_path)
    render = [TOOL, "--render", "-", model_path]
    assert model.plot().svg == subprocess.run(render, capture_output=True, text=True).stdout
    nodes, on_path = svg_nodes(model.plot(depth=1).svg)
    assert len(nodes) == 3 and on_path == []
    row = pd.read_csv(input_path).iloc[[12]]
    drawn = model.plot(highlight=row)
    assert len(svg_nodes(drawn.svg)[0]) == model.describe()["trees"][0]["nodes"] == 9
    assert svg_nodes(drawn.svg)[1] == [s["node"] for s in model.explain(row).iloc[0][0]]
    drawn.save(tmp_path / "tree.svg")
    assert drawn._repr_svg_() == (tmp_path / "tree.svg").read_text() == drawn.svg
