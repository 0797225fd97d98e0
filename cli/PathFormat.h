#pragma once

#include <string>

#include "host/DecisionPath.h"

// A decision path as one line of text for reading: a tree's steps in order,
// "ID" at the root and "ID[condition]" below it, "*W" after a step that only
// a share W of the case took. A step one level below the one before it
// follows " -> "; any other step (a further branch of a split case, a parent
// answering for an empty node, another rule that holds) follows " ; ".
// Trees are separated by " | ".
// Conditions hold the texts of the document's field names and categories
// unchanged, so the JSON form is the one for programs to read.
//   0 -> 1[petal_length <= 2.45]
//   0 -> 2[x1 > 3] -> 5[no condition applies: share by records]*0.25 ; 6[...]*0.75
void AppendPathText(std::string& out, const DecisionPath& path);

// The same as JSON: an array per tree of
// {"node":ID,"depth":D,"condition":TEXT,"weight":W} objects.
void AppendPathJson(std::string& out, const DecisionPath& path);
