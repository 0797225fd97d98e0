// dendrix-score --upgrade-pmml: documents written to newer PMML conventions,
// the hint given without the option, and the option changing nothing else.
// The producers' documents are scored by the conformance runner.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "RunTool.h"
#include "ToolCase.h"

namespace fs = std::filesystem;

namespace {

// --- A small document with every kind of change --------------------------------

// No usageType, a "target", a local derived field, scoreless inner nodes and a
// categorical field without values.
const char kNewerDocument[] = R"(<PMML version="4.3">
<DataDictionary>
  <DataField name="x" optype="continuous" dataType="double"/>
  <DataField name="y" optype="continuous" dataType="double"/>
  <DataField name="colour" optype="categorical" dataType="string"/>
  <DataField name="out" optype="continuous" dataType="double"/>
</DataDictionary>
<TreeModel functionName="regression">
  <MiningSchema>
    <MiningField name="x"/><MiningField name="y"/><MiningField name="colour"/>
    <MiningField name="out" usageType="target"/>
  </MiningSchema>
  <LocalTransformations>
    <DerivedField name="sum" optype="continuous" dataType="double">
      <Apply function="+"><FieldRef field="x"/><FieldRef field="y"/></Apply>
    </DerivedField>
  </LocalTransformations>
  <Node id="0"><True/>
    <Node id="1"><SimplePredicate field="sum" operator="lessThan" value="10"/>
      <Node id="2" score="1" recordCount="1"><SimplePredicate field="colour" operator="equal" value="red"/></Node>
      <Node id="3" score="2" recordCount="3"><SimplePredicate field="colour" operator="notEqual" value="red"/></Node>
    </Node>
    <Node id="4" score="5" recordCount="4"><SimplePredicate field="sum" operator="greaterOrEqual" value="10"/></Node>
  </Node>
</TreeModel>
</PMML>
)";

TEST(UpgradeOption, EveryKindOfChangeIsAppliedWarnedAndDescribed) {
  const std::string input = "x,y,colour\n1,2,red\n1,2,blue\n8,9,red\n";
  const std::string warn = "dendrix-score: warning: @/m.pmml: ";
  ExpectToolCases({
      // Read strictly: the reader's error, then what follows newer conventions.
      {"strict", kNewerDocument, input, "@m @in", 2,
       "=dendrix-score: @/m.pmml: error 1: Attribute \"usageType\" is required in element "
       "<MiningField>\ndendrix-score: @/m.pmml follows newer PMML conventions (MiningField 'x' "
       "has no usageType (and 2 more); MiningField 'out' has usageType \"target\"; predicate "
       "field 'sum' is defined only in a LocalTransformations; Node '0' has no score (and 1 more "
       "inner nodes); categorical DataField 'colour' lists no values); --upgrade-pmml reads it\n",
       ""},
      {"upgraded", kNewerDocument, input, "--upgrade-pmml --prediction-only @m @in", 0,
       warn +
           "upgraded: 4 mining fields given a usageType the reader knows (\"active\", or "
           "\"predicted\" for \"target\")\n" +
           warn +
           "upgraded: 1 derived field moved from LocalTransformations to the "
           "TransformationDictionary\n" +
           warn + "upgraded: 2 nodes without score given one\n" + warn +
           "upgraded: 1 categorical field without values given the values their predicates "
           "name\n" +
           warn +
           "1 notEqual predicate on a nominal field is read as equal; --semantics pmml scores it "
           "as PMML 4.4 does\n",
       "=prediction,std_dev,node_id,advice,status\n1,,2,,0\n2,,3,,0\n5,,4,,0\n"},
      // The list itself is the reader's (tests/host); the tool ends the description with it.
      {"described", kNewerDocument, "", "--upgrade-pmml --describe @m", 0,
       warn + "upgraded: 4 mining fields",
       "\nupgraded: 8\n  MiningField 'x': no usageType, now \"active\"\n"},
  });
}

// Every example scores exactly as its expected file (keeping the first
// column, as the README shows). On these documents the option changes
// nothing: same scores, same description, no warning.
TEST(UpgradeOption, ConformingDocumentsGiveIdenticalOutput) {
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(ExamplePath(""))) {
    const std::string folder = entry.path().string(), input = folder + "/input.csv";
    const bool legacy = fs::exists(folder + "/model.xml");  // not PMML: the option does not apply
    const std::string model = folder + (legacy ? "/model.xml" : "/model.pmml");
    if (!fs::exists(model) || !fs::exists(input)) continue;
    SCOPED_TRACE(model);
    const std::string text = ReadFile(input), first = text.substr(0, text.find_first_of(",\n"));
    ToolRun plain = RunTool({"--keep", first, model, input});
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(plain.out, ReadFile(folder + "/expected.csv"));
    ++checked;
    if (legacy) continue;
    ToolRun upgraded = RunTool({"--upgrade-pmml", "--keep", first, model, input});
    EXPECT_EQ(upgraded.out, plain.out);
    EXPECT_EQ(upgraded.err, "");
    EXPECT_EQ(RunTool({"--upgrade-pmml", "--describe", model}).out,
              RunTool({"--describe", model}).out + "upgraded: 0\n");
  }
  EXPECT_GE(checked, 6);
}

}  // namespace
