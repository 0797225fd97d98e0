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
    kUsageType,       // a MiningField's usageType was added or renamed
    kLocalDerived,    // a DerivedField moved out of a TreeModel's LocalTransformations
    kNodeScore,       // a Node without score was given one
    kCategoryValues,  // a categorical DataField without values was given its predicates' values
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
//   predicates on it name, in the order they first appear.
// Returns the changes in document order; a document that needs none is left
// untouched. Throws VeltraException 3 naming the field when a moved derived
// field clashes with a field of the same name.
DX_HOST_API std::vector<PmmlUpgradeChange> UpgradePmmlDocument(xercesc::DOMDocument* document);

// What in the document follows newer conventions that the strict reader
// refuses: a MiningField without usageType, a "target" usageType, a predicate
// on a field defined only in a LocalTransformations, an inner Node without
// score, a categorical DataField without Value elements. Empty when none; used
// to explain a rejection. Does not change the document.
DX_HOST_API std::string DescribeNewerPmmlConventions(const xercesc::DOMDocument* document);

// A one-line summary of how many changes of one kind were made, e.g.
// "3 mining fields given a usageType".
DX_HOST_API std::string SummarizePmmlUpgrade(PmmlUpgradeChange::Kind kind, int count);
