// SimpleSetPredicate elements: PMML value arrays, "isIn" / "isNotIn"
// categorical splits, and the typed values of cost cells.

#include <algorithm>
#include <locale>
#include <sstream>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "host/Codes.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "host/VeltraException.h"
#include "pmml/DendrixPMMLTranslator.h"
#include "scoring/DendrixPMMLModel.h"

using xercesc::DOMNode;

namespace {

// A value of the array's type: text for "string", a number otherwise. The
// caller owns it.
ScoreValue* MakeArrayValue(bool isString, const std::string& text) {
  if (isString) return new StringValue(text);
  return new NumericValue(text);
}

// Position of the quotation mark closing the one at open, skipping escaped
// ones; npos when the text ends first.
std::size_t FindClosingQuote(const std::string& s, std::size_t open) {
  for (std::size_t j = open + 1; j < s.size(); ++j) {
    if (s[j] == '"' && s[j - 1] != '\\') return j;
  }
  return std::string::npos;
}

// The category values of a variable in hash sets, so that checking n array
// elements against m categories costs n + m instead of n * m: numeric
// variables by number (0 and -0 alike, NaN never matches), others by text.
class CategorySet {
 public:
  explicit CategorySet(const ScoreDictVar* var)
      : numeric_(var->GetVariableType() == ScoreDictVar::kNumeric) {
    const ScoreValueLabelSet* labels = var->GetValueLabelSet();
    if (labels == nullptr) return;
    for (const ScoreValueLabel* label : labels->GetLabels()) {
      const ScoreValue* value = label->GetValue();
      if (value == nullptr) continue;
      if (numeric_) {
        numbers_.insert(value->ToDouble());
      } else {
        texts_.insert(value->ToString());
      }
    }
  }
  bool IsNumeric() const { return numeric_; }
  bool HasNumber(double x) const { return numbers_.count(x) != 0; }
  bool HasText(const std::string& text) const { return texts_.count(text) != 0; }

 private:
  bool numeric_;
  std::unordered_set<double> numbers_;
  std::unordered_set<std::string> texts_;
};

}  // namespace

void DendrixPMMLTranslator::HandleSetPredicate(DOMNode* predicate,
                                               std::vector<ScoreSplitVar*>& splits,
                                               int /*childCount*/, int childIndex,
                                               const XMLCh* fieldName, int splitIndex) {
  const std::string name = Transcode(fieldName);
  const ScoreDictVar* var = dictionary != nullptr ? dictionary->GetVar(name) : nullptr;
  if (var == nullptr && transformationDictionary != nullptr) {
    var = transformationDictionary->GetVar(name);
    model->SetNeedDerivedPredictor(true);
  }
  if (var == nullptr)
    throw VeltraException(ErrorCode::kUnknownVariable,
                          "Variable " + name + " not in the dictionary!");

  // A set predicate on a continuous field adds no condition.
  const int level = var->GetMeasurementLevel();
  if (level != ScoreDictVar::kNominal && level != ScoreDictVar::kOrdinal) return;
  if (var->GetValueLabelSet() == nullptr) {
    throw VeltraException(ErrorCode::kMissingList, name + ": category value list is required!!");
  }
  SetArrayDiscreteSplit(splits, predicate, var, childIndex, splitIndex);
}

void DendrixPMMLTranslator::SetArrayDiscreteSplit(std::vector<ScoreSplitVar*>& splits,
                                                  DOMNode* predicate, const ScoreDictVar* var,
                                                  int childIndex, int splitIndex) {
  if (var->GetValueLabelSet() == nullptr) {
    throw VeltraException(ErrorCode::kInvalidValue, var->GetName() + ": Value list is required!");
  }
  DiscreteSplit* split = ListedDiscreteSplit(splits, var, splitIndex);
  const bool listHasEntry = split != nullptr;
  if (!listHasEntry) split = new DiscreteSplit(var);

  try {
    std::vector<std::string> elements;
    const XMLCh* booleanOperator = nullptr;
    const XMLCh* type = nullptr;
    if (predicate->getNodeType() == DOMNode::ELEMENT_NODE &&
        IsEqual(predicate->getNodeName(), "SimpleSetPredicate")) {
      booleanOperator = GetAttributeForced(predicate, "booleanOperator");
      DOMNode* array = GetArrayNode(predicate);
      type = GetAttribute(array, "type");
      elements = GetArrayElements(array, type);
    }

    const bool isString = IsEqual(type, "string");
    if (!isString && !IsEqual(type, "real") && !IsEqual(type, "int")) {
      throw VeltraException(ErrorCode::kTargetTypeMismatch, Transcode(type) + " Invalid Operator!");
    }

    if (IsEqual(booleanOperator, "isIn")) {
      // The same test as the variable's IsValidCategory, for many elements.
      const CategorySet categories(var);
      for (const std::string& element : elements) {
        ScoreValue* v = MakeArrayValue(isString, element);
        const bool valid = categories.IsNumeric()
                               ? v->IsNumeric() &&
                                     v->ToDouble() != NumericValue::GetSysmisValue() &&
                                     categories.HasNumber(v->ToDouble())
                               : v->IsString() && categories.HasText(element);
        if (!valid) {
          delete v;
          throw VeltraException(ErrorCode::kInvalidValue, "In valid split value!");
        }
        split->PutSplit(v, childIndex);
      }
    } else if (IsEqual(booleanOperator, "isNotIn")) {
      for (const std::string& text : Remove(var, elements)) {
        split->PutSplit(MakeArrayValue(isString, text), childIndex);
      }
    } else {
      throw VeltraException(ErrorCode::kInvalidOperator,
                            Transcode(booleanOperator) + " Invalid Operator!");
    }
    if (!listHasEntry) splits.push_back(split);
  } catch (...) {
    if (!listHasEntry) delete split;
    throw;
  }
}

DOMNode* DendrixPMMLTranslator::GetArrayNode(DOMNode* predicate) {
  for (DOMNode* child = predicate->getFirstChild(); child != nullptr;
       child = child->getNextSibling()) {
    if (IsEqual(child->getNodeName(), "Array")) return child;
  }
  throw VeltraException(ErrorCode::kInvalidOperator, "Array Node is required!!!");
}

std::vector<std::string> DendrixPMMLTranslator::GetArrayElements(DOMNode* array,
                                                                 const XMLCh* type) {
  int n = 0;
  const XMLCh* nText = GetAttribute(array, "n");
  if (nText != nullptr && nText[0] != 0) n = VerifyInt(nText);
  if (n < 0)
    throw VeltraException(ErrorCode::kArraySizeMismatch, "Array size n can't be negative!");

  DOMNode* content = array->getFirstChild();
  if (content == nullptr)
    throw VeltraException(ErrorCode::kMissingList, "Array Node is required!!!");
  const short contentType = content->getNodeType();
  if (contentType != DOMNode::TEXT_NODE && contentType != DOMNode::CDATA_SECTION_NODE) {
    throw VeltraException(ErrorCode::kMissingList, "Array content must be text!");
  }
  const XMLCh* text = content->getNodeValue();
  // Some text besides white space (checked without the parser's tokenizer,
  // which leaks when an allocation inside it fails).
  const XMLCh* firstText = text != nullptr ? text : u"";
  while (*firstText == ' ' || *firstText == '\t' || *firstText == '\n' || *firstText == '\r') {
    ++firstText;
  }
  if (*firstText == 0)
    throw VeltraException(ErrorCode::kMissingList, "No Elements found in array!");

  const bool isReal = IsEqual(type, "real");
  const bool isInt = IsEqual(type, "int");
  const std::string s = Transcode(text);
  const int len = static_cast<int>(s.size());
  std::vector<std::string> result;
  // Each element ends at a distinct character, so the text holds at most len
  // of them: never reserve more than that, whatever n claims.
  result.reserve(static_cast<std::size_t>(std::min(n, len)));

  int k = 0;
  int start = -1;
  int end = -1;
  for (int i = 0; i < len && k < n; ++i) {
    const char c = s[i];
    if (c == '\n') {
      // Line feeds neither separate nor end elements.
    } else if (c == '\\' && i + 1 < len && s[i + 1] == '"') {
      ++i;  // an escaped quotation mark outside quotes is stepped over
    } else if (c == '"') {
      const std::size_t close = FindClosingQuote(s, static_cast<std::size_t>(i));
      if (close == std::string::npos)
        throw VeltraException(ErrorCode::kMissingList, "Unterminated quotation mark in array!");
      start = i + 1;
      end = static_cast<int>(close) - 1;
      i = static_cast<int>(close);
    } else if (c == ' ') {
      if (start >= 0) end = i - 1;
    } else {
      if (start < 0) start = i;
      if (i == len - 1) end = i;
    }

    if (start >= 0 && end >= 0) {
      std::string element =
          s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start + 1));
      if (isReal) {
        VerifyDouble(element);
      } else if (isInt) {
        VerifyInt(element);
      }
      result.push_back(std::move(element));
      ++k;
      start = -1;
      end = -1;
    }
  }
  if (k != n)
    throw VeltraException(ErrorCode::kArraySizeMismatch,
                          "Number of Elements doesn't match with array size!");
  return result;
}

std::vector<std::string> DendrixPMMLTranslator::Remove(const ScoreDictVar* var,
                                                       std::vector<std::string> elements) {
  // As IsCategoryValue for each element.
  const CategorySet categories(var);
  for (const std::string& element : elements) {
    const bool known = categories.IsNumeric()
                           ? categories.HasNumber(NumericValue(element).ToDouble())
                           : categories.HasText(element);
    if (!known)
      throw VeltraException(ErrorCode::kInvalidValue, "Invalid category value: " + element);
  }
  const ScoreValueLabelSet* labels = var->GetValueLabelSet();
  if (labels == nullptr) {
    throw VeltraException(ErrorCode::kMissingList,
                          var->GetName() + ": Category value list is required!!!");
  }

  // Every category that some element names is left out: by number for a
  // numeric field (so 1.0 names the category 1), by exact text otherwise.
  // Repeated elements change nothing.
  const bool numeric = var->GetVariableType() == ScoreDictVar::kNumeric;
  std::unordered_set<double> numbers;
  std::unordered_set<std::string> texts;
  for (const std::string& element : elements) {
    if (numeric) {
      numbers.insert(NumericValue(element).ToDouble());
    } else {
      texts.insert(element);
    }
  }
  std::vector<std::string> rest;
  for (const ScoreValueLabel* label : labels->GetLabels()) {
    const ScoreValue* value = label->GetValue();
    if (value == nullptr) continue;
    std::string text = value->ToString();
    const bool named = numeric ? numbers.count(value->ToDouble()) != 0 : texts.count(text) != 0;
    if (!named) rest.push_back(std::move(text));
  }
  return rest;
}

bool DendrixPMMLTranslator::IsCategoryValue(const ScoreDictVar* var, const std::string& text) {
  if (var == nullptr) return false;
  const ScoreValueLabelSet* labels = var->GetValueLabelSet();
  if (labels == nullptr)
    throw VeltraException(ErrorCode::kMalformed, var->GetName() + ": Value list is required!!!");
  const bool numeric = var->GetVariableType() == ScoreDictVar::kNumeric;
  const double number = numeric ? NumericValue(text).ToDouble() : 0.0;
  for (const ScoreValueLabel* label : labels->GetLabels()) {
    const ScoreValue* value = label->GetValue();
    if (value == nullptr) continue;
    if (numeric ? value->ToDouble() == number : value->ToString() == text) return true;
  }
  return false;
}

std::string DendrixPMMLTranslator::GetValueString(const XMLCh* value, const XMLCh* type) {
  if (IsEqual(type, "A")) {
    if (targetVar == nullptr || targetVar->GetVariableType() != ScoreDictVar::kString) {
      throw VeltraException(ErrorCode::kTargetTypeMismatch, "Target Variable type doesn't match!!");
    }
    return Transcode(value);
  }
  if (IsEqual(type, "D")) {
    // Written as a stream writes a double by default: six significant digits.
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << VerifyDouble(value);
    return out.str();
  }
  if (IsEqual(type, "J")) return std::to_string(VerifyInt(value));
  throw VeltraException(ErrorCode::kTargetTypeMismatch, "Invalid Target Variable type!!");
}
