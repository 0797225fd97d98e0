#pragma once

// Opt-in rewriting of a parsed PMML document written to newer conventions into
// the form the tree reader accepts. Works in place on a document the caller
// owns; hands out only plain values.

#include <string>
#include <vector>
#include <xercesc/dom/DOM.hpp>

#include "host/HostExport.h"

// One change the upgrade made, as a line of text, with its kind.
struct DX_HOST_API PmmlUpgradeChange {
  enum Kind {
    kUsageType,           // a MiningField's usageType was added or renamed
    kLocalDerived,        // a DerivedField moved out of a TreeModel's LocalTransformations
    kNodeScore,           // a Node without score was given one
    kCategoryValues,      // a categorical DataField without values was given its predicates' values
    kLeafDistribution,    // an ensemble's score-only classification leaf was given its records
    kDerivedMiningField,  // a MiningField naming a derived field was dropped
    kSegmentTarget,       // a segment's TreeModel was given its MiningModel's target
  };
  Kind kind;
  std::string text;
};

// Rewrites the document so that
// - a MiningField without usageType says "active", and "target" becomes "predicted";
// - the DerivedFields of every TreeModel's (and MiningModel's) LocalTransformations move to the
//   document's TransformationDictionary (created after the DataDictionary when
//   absent); an identical definition already there is dropped instead;
// - a Node without score gets one: in a classification tree the value of its
//   largest ScoreDistribution (the first listed on ties; without any, the
//   largest of the counts summed over the leaves below, where a leaf with no
//   distribution counts as recordCount, or one, records of its score), in a
//   regression tree the record-weighted mean of the scores of the leaves below it (the plain
//   mean when a leaf has no recordCount);
// - a categorical DataField without Value elements gets the values that
//   predicates on it name, in the order they first appear;
// - in a document of several TreeModels (an ensemble), a classification leaf
//   with a score and no ScoreDistribution gets one of its records (recordCount,
//   set to 1 when absent) all of its score, so each such tree votes with
//   confidence 1; a leaf whose recordCount is not a positive number is left;
// - a MiningField of a TreeModel's MiningSchema naming a derived field
//   that is not also a data field is dropped: derived fields are computed from
//   the data fields, never read;
// - a TreeModel in a Segment whose MiningSchema names no predicted field gets
//   a copy of the predicted MiningField of the nearest enclosing MiningModel.
// Returns the changes, grouped by rule; a document that needs none is left
// untouched. Throws VeltraException 3 naming the field when a moved derived
// field clashes with a field of the same name.
DX_HOST_API std::vector<PmmlUpgradeChange> UpgradePmmlDocument(xercesc::DOMDocument* document);

// What in the document follows newer conventions that the strict reader
// refuses: a MiningField without usageType, a "target" usageType, a predicate
// on a field defined only in a LocalTransformations, a MiningField naming a
// derived field, a segment's TreeModel without a predicted field, an inner
// Node without score, a categorical DataField without Value elements. Empty when none; used
// to explain a rejection. Does not change the document.
DX_HOST_API std::string DescribeNewerPmmlConventions(const xercesc::DOMDocument* document);

// A one-line summary of how many changes of one kind were made, e.g.
// "3 mining fields given a usageType".
DX_HOST_API std::string SummarizePmmlUpgrade(PmmlUpgradeChange::Kind kind, int count);

// The constructs of a document that the tree reader and its scoring rules
// answer otherwise than PMML 4.4 does, one line per kind with how often the
// document uses it, e.g. "12 notEqual predicates on nominal fields are read as
// equal". The lines cover predicates (comparisons other than equal on nominal
// fields, "and"/"xor" compounds, True children the reader passes over),
// TreeModel strategies (missingValueStrategy, noTrueChildStrategy,
// defaultChild, missingValuePenalty), ensembles (multipleModelMethod, segment
// predicates, nested segmentations), ScoreDistribution probabilities, Targets,
// computed OutputFields and MiningField replacements and outlier treatments.
// Empty when none. Does not change the document.
DX_HOST_API std::vector<std::string> DescribePmmlSemanticsDifferences(
    const xercesc::DOMDocument* document);
