#!/usr/bin/python3
"""Checks dendrix-score --path against the node_id column.

Scores the conformance corpora (tests/conformance/manifest.txt) and the first
rows of every benchmark model with --path --format jsonl (each input cut to its
first ROWS rows), and checks each row: every path starts at a root, and a row
that names a node (node_id not -1) ends its last path at that node. A row without a
node must be a failed row, an ensemble, a rule set, or a case that no
condition routed and that was shared among branches (steps with weight < 1).

  scripts/check_paths.py [BUILD_DIR] [ROWS] [OPTION...]    (defaults: build, 3000)

OPTIONs are given to every run; with --semantics NAME the manifest's section
for that semantics gives each model's options and refusals.
"""
import gzip
import json
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SHARED = os.path.join(os.path.dirname(ROOT), "shared")
BENCH = ("iris-tree", "medium-tree", "deep-tree", "forest-100", "regression-tree")


def manifest_models(semantics):
    """The manifest's entries for one semantics: a "semantics" line starts a
    section that keeps the model's document and input but has options and
    refusals of its own."""
    entries = []
    entry = None
    with open(os.path.join(ROOT, "tests/conformance/manifest.txt")) as f:
        for line in f:
            words = line.split()
            if line.startswith("model "):
                entry = {"name": words[1], "options": [], "semantics": "native"}
                entries.append(entry)
            elif entry is not None and words and words[0] == "semantics":
                entry = {"name": entry["name"], "document": entry.get("document"),
                         "input": entry.get("input"), "options": [], "semantics": words[1]}
                entries.append(entry)
            elif entry is not None and words and words[0] in ("document", "input"):
                entry[words[0]] = os.path.join(SHARED, words[1])
            elif entry is not None and words and words[0] == "options":
                entry["options"] = words[1:]
            elif entry is not None and words and words[0] == "refused":
                entry["refused"] = True
    return [e for e in entries if e["semantics"] == semantics]


def unpacked(path, scratch, rows=None):
    """A plain copy of a .gz file (its header and first rows only when rows is given)."""
    if not path.endswith(".gz") and rows is None:
        return path
    opener = gzip.open if path.endswith(".gz") else open
    target = os.path.join(scratch, os.path.basename(path).replace(".gz", ""))
    with opener(path, "rt") as src, open(target, "w") as dst:
        for i, line in enumerate(src):
            if rows is not None and i > rows:
                break
            dst.write(line)
    return target


def check(tool, name, document, data, options):
    kind = subprocess.run([tool, "--describe"] + options + [document], capture_output=True,
                          text=True, check=True).stdout.splitlines()[0]
    run = subprocess.run([tool, "--path", "--format", "jsonl"] + options + [document, data],
                         capture_output=True, text=True)
    if run.returncode != 0:
        return [f"{name}: exit {run.returncode}: {run.stderr.strip()}"]
    problems = []
    rows = run.stdout.splitlines()
    for number, line in enumerate(rows, 1):
        row = json.loads(line)
        trees, node, failed = row["path"], row["node_id"], row["status"] != 0
        steps = [s for tree in trees for s in tree]
        why = None
        if any(t and (t[0]["depth"] != 0 or t[0]["condition"]) for t in trees):
            why = "a path that does not start at a root"
        elif node != "-1":
            # Regression ensembles report the node of their last tree.
            if not trees or not trees[-1] or trees[-1][-1]["node"] != node:
                why = "last step is not node_id"
        elif not (failed or len(trees) > 1 or "rule set" in kind
                  or any(s["weight"] < 1 for s in steps)):
            why = "node_id -1 on a single routed path"
        if why:
            problems.append(f"{name} row {number}: {why}: node_id {node}, path {trees}")
    print(f"{name}: {len(rows)} rows, {len(problems)} problems ({kind})")
    return problems[:5]


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 3000
    extra = sys.argv[3:]
    semantics = extra[extra.index("--semantics") + 1] if "--semantics" in extra else "native"
    tool = os.path.join(build, "bin", "dendrix-score")
    if not os.path.isdir(SHARED):
        print(f"{SHARED} is absent: no corpus to check")
        return 0
    problems = []
    checked = set()
    with tempfile.TemporaryDirectory() as scratch:
        for entry in manifest_models(semantics):
            if entry.get("refused") or "input" not in entry:
                continue
            problems += check(tool, entry["name"], unpacked(entry["document"], scratch),
                              unpacked(entry["input"], scratch, rows), entry["options"] + extra)
            checked.add(entry["name"])
        models = os.path.join(SHARED, "bench-models")
        for name in BENCH:
            if name in checked:
                continue
            document = os.path.join(models, name + ".pmml")
            if not os.path.exists(document):
                document = unpacked(document + ".gz", scratch)
            data = unpacked(os.path.join(models, name + "-input.csv.gz"), scratch, rows)
            problems += check(tool, name, document, data, extra)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
