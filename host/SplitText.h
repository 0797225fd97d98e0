#pragma once

#include <string>

#include "host/HostExport.h"
#include "host/ScoreSplitVar.h"

// A short readable condition for the values a split sends to one child
// position: "age <= 30", "10 < income <= 20", "color in {red, blue}". With
// position -1, every entry of the split (a rule's condition). Ranges or
// categories sharing a position are joined with " or " and ", "; a long
// category list is cut after a few values with the number left out.
DX_HOST_API std::string DescribeBranch(const ScoreSplitVar& split, int position);

// A rule's condition: every split's entries, joined with " and "; "always"
// for a rule without splits. Null splits are skipped.
DX_HOST_API std::string DescribeRule(const ScoreSplitVar* const* splits, int count);
