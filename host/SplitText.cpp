#include "host/SplitText.h"

namespace {

constexpr int kMaxListedCategories = 8;

std::string Number(double x) {
  if (x == NumericValue::GetInfinity()) return "inf";
  if (x == -NumericValue::GetInfinity()) return "-inf";
  return NumericValue::FormatDouble(x);
}

std::string RangeText(const std::string& name, const Range& range) {
  const bool lowOpen = range.GetLow() == -NumericValue::GetInfinity();
  const bool highOpen = range.GetHigh() == NumericValue::GetInfinity();
  if (lowOpen && highOpen) return name + " any";
  const std::string below = range.IsHighClosed() ? " <= " : " < ";
  if (lowOpen) return name + below + Number(range.GetHigh());
  if (highOpen) return name + (range.IsLowClosed() ? " >= " : " > ") + Number(range.GetLow());
  return Number(range.GetLow()) + (range.IsLowClosed() ? " <= " : " < ") + name + below +
         Number(range.GetHigh());
}

std::string ScaleText(const ScaleSplit& split, int position) {
  std::string text;
  for (const auto& [range, childIndex] : split.GetRanges()) {
    if (position >= 0 && childIndex != position) continue;
    if (!text.empty()) text += " or ";
    text += RangeText(split.GetSplitName(), *range);
  }
  return text;
}

std::string DiscreteText(const DiscreteSplit& split, int position) {
  std::string list;
  int count = 0;
  for (const auto& [value, childIndex] : split.GetValues()) {
    if (position >= 0 && childIndex != position) continue;
    if (++count > kMaxListedCategories) continue;
    if (count > 1) list += ", ";
    list += value->ToString();
  }
  if (count == 0) return std::string();
  if (count == 1) return split.GetSplitName() + " = " + list;
  if (count > kMaxListedCategories) {
    list += ", ... (" + std::to_string(count - kMaxListedCategories) + " more)";
  }
  return split.GetSplitName() + " in {" + list + "}";
}

}  // namespace

std::string DescribeBranch(const ScoreSplitVar& split, int position) {
  if (const auto* scale = dynamic_cast<const ScaleSplit*>(&split)) {
    return ScaleText(*scale, position);
  }
  if (const auto* discrete = dynamic_cast<const DiscreteSplit*>(&split)) {
    return DiscreteText(*discrete, position);
  }
  return split.GetSplitName();
}

std::string DescribeRule(const ScoreSplitVar* const* splits, int count) {
  std::string text;
  for (int k = 0; k < count; ++k) {
    if (splits[k] == nullptr) continue;
    if (!text.empty()) text += " and ";
    text += DescribeBranch(*splits[k], -1);
  }
  return text.empty() ? "always" : text;
}
