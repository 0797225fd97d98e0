#include <algorithm>
#include <memory>
#include <set>

#include "host/ScoreSplitVar.h"

namespace {

void WriteNumber(std::ostream& os, double x) {
  if (x == NumericValue::GetInfinity()) {
    os << "+inf";
  } else if (x == -NumericValue::GetInfinity()) {
    os << "-inf";
  } else {
    os << NumericValue::FormatDouble(x);
  }
}

void WriteValue(std::ostream& os, const ScoreValue* value) {
  if (value->IsNumeric()) {
    WriteNumber(os, value->ToDouble());
  } else {
    os << '"' << value->ToString() << '"';
  }
}

// Child positions that appear in the entries, ascending.
template <typename Entry>
std::set<int> Positions(const std::vector<Entry>& entries) {
  std::set<int> positions;
  for (const Entry& entry : entries) positions.insert(entry.second);
  return positions;
}

}  // namespace

// --- Range -------------------------------------------------------------------

Range::Range(ScoreValue* low, ScoreValue* high, bool lowClosed, bool highClosed)
    : low_(low),
      high_(high),
      lowNumber_(low ? low->ToDouble() : -NumericValue::GetInfinity()),
      highNumber_(high ? high->ToDouble() : NumericValue::GetInfinity()),
      lowClosed_(lowClosed),
      highClosed_(highClosed) {}

Range::Range(double low, double high, bool lowClosed, bool highClosed)
    : low_(nullptr),
      high_(nullptr),
      lowNumber_(low),
      highNumber_(high),
      lowClosed_(lowClosed),
      highClosed_(highClosed) {}

Range::~Range() {
  delete low_;
  delete high_;
}

// --- ScaleSplit --------------------------------------------------------------

ScaleSplit::~ScaleSplit() {
  for (auto& entry : ranges_) delete entry.first;
}

void ScaleSplit::PutSplit(Range* range, int childIndex) {
  std::unique_ptr<Range> owned(range);
  if (!owned) return;
  // Room for one more, growing geometrically (reserving exactly one more
  // would copy the whole list on every add); the add below cannot throw.
  if (ranges_.size() == ranges_.capacity()) ranges_.reserve(2 * ranges_.size() + 4);
  intervals_.push_back(Interval{owned->GetLow(), owned->GetHigh(), owned->IsLowClosed(),
                                owned->IsHighClosed(), childIndex});
  ranges_.emplace_back(owned.release(), childIndex);  // cannot throw after the reserve
}

int ScaleSplit::GetChildIndex(const ScoreValue* value) const {
  if (value == nullptr || value->GetValueType() != ScoreValue::kNumeric) return -1;
  const double x = static_cast<const NumericValue*>(value)->GetValue();
  if (x == NumericValue::GetSysmisValue()) return -1;
  for (const Interval& r : intervals_) {
    const bool aboveLow = r.lowClosed ? x >= r.low : x > r.low;
    const bool belowHigh = r.highClosed ? x <= r.high : x < r.high;
    if (aboveLow && belowHigh) return r.childIndex;
  }
  return -1;
}

void ScaleSplit::Display(std::ostream& os) const {
  os << "ScaleSplit on " << GetSplitName() << "\n";
  for (int position : Positions(ranges_)) {
    os << "  child " << position << ":";
    for (const auto& entry : ranges_) {
      if (entry.second != position) continue;
      const Range& r = *entry.first;
      os << ' ' << (r.IsLowClosed() ? '[' : '(');
      WriteNumber(os, r.GetLow());
      os << ", ";
      WriteNumber(os, r.GetHigh());
      os << (r.IsHighClosed() ? ']' : ')');
    }
    os << "\n";
  }
  os << "  missing values: child " << GetMissvalMap() << "\n";
}

// --- DiscreteSplit -----------------------------------------------------------

DiscreteSplit::~DiscreteSplit() {
  for (auto& entry : values_) delete entry.first;
}

void DiscreteSplit::PutSplit(ScoreValue* value, int childIndex) {
  std::unique_ptr<ScoreValue> owned(value);
  if (!owned) return;
  // Room for one more, growing geometrically (see AddRange).
  if (values_.size() == values_.capacity()) values_.reserve(2 * values_.size() + 4);
  if (owned->IsNumeric()) {
    numbers_.emplace_back(owned->ToDouble(), childIndex);
  } else {
    texts_.emplace_back(owned->ToString(), childIndex);
  }
  values_.emplace_back(owned.release(), childIndex);  // cannot throw after the reserve
}

int DiscreteSplit::GetChildIndex(const ScoreValue* value) const {
  if (value == nullptr) return -1;
  if (value->GetValueType() == ScoreValue::kNumeric) {
    const double x = static_cast<const NumericValue*>(value)->GetValue();
    for (const auto& entry : numbers_) {
      if (entry.first == x) return entry.second;
    }
    return -1;
  }
  const std::string& text = static_cast<const StringValue*>(value)->GetText();
  for (const auto& entry : texts_) {
    if (entry.first == text) return entry.second;
  }
  return -1;
}

void DiscreteSplit::Display(std::ostream& os) const {
  os << "DiscreteSplit on " << GetSplitName() << "\n";
  for (int position : Positions(values_)) {
    os << "  child " << position << ":";
    for (const auto& entry : values_) {
      if (entry.second != position) continue;
      os << ' ';
      WriteValue(os, entry.first);
    }
    os << "\n";
  }
  os << "  missing values: child " << GetMissvalMap() << "\n";
}
