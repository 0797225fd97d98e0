#pragma once

#include <string>
#include <vector>

#include "host/BaseDictionary.h"
#include "host/HostExport.h"
#include "host/ScoreCaseRecord.h"

class DerivedExpression;  // host/DerivedField.h

// The derived fields of a document (PMML TransformationDictionary): each a
// variable (IsDerived() true) with the expression that computes it. Fields are
// found by name like in any dictionary. Owns its fields and expressions.
// Not thread-safe: GetValuesForDeriedVars writes the dictionary's own record.
class DX_HOST_API TransformationDictionary : public BaseDictionary {
 public:
  TransformationDictionary();
  ~TransformationDictionary() override;

  // Takes ownership of both; var is marked derived. False (nothing taken) when
  // the name is already used. Fields added after SetUpDerivedCaseRecord make
  // the next GetValuesForDeriedVars set the record up again.
  bool AddDerivedField(DictVar* var, DerivedExpression* expression);
  const DerivedExpression* GetExpression(int i) const;

  // Prepares the record that GetValuesForDeriedVars fills; call once after the
  // last field is added.
  void SetUpDerivedCaseRecord();
  // Computes every derived field for record, in dictionary order, each able to
  // use the data fields and the derived fields defined before it. The returned
  // record belongs to this dictionary and is valid until the next call. Holds
  // the derived fields by name and by position (dictionary order); a missing
  // result has no value. Numeric fields (integer, float, double) hold numbers,
  // the others texts. The dictionary argument is not needed: references were
  // resolved when the document was read.
  const ScoreCaseRecord* GetValuesForDeriedVars(const ScoreCaseRecord* record,
                                                const ScoreDictionary* dictionary);

 private:
  std::vector<DerivedExpression*> expressions_;
  IndexedCaseRecord* derivedRecord_ = nullptr;
  std::vector<char> numericField_;  // per field: results are numbers, else texts
  std::string textBuffer_;          // a number or boolean written as text
};
