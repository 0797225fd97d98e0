#pragma once

// The numbers the system reports: VeltraException codes, the status of a
// scoring call, and the advice codes attached to a result.

// Codes of VeltraException.
namespace ErrorCode {
inline constexpr int kMalformed = 1;            // missing or malformed element or attribute
inline constexpr int kInvalidValue = 3;         // a value that cannot be used
inline constexpr int kMissingList = 4;          // a required list or node is missing
inline constexpr int kUnsupported = 5;          // a construct this system does not read
inline constexpr int kUnknownVariable = 8;      // not in the dictionary, or in the wrong role
inline constexpr int kInvalidOperator = 9;      // an operator unknown or wrong for its place
inline constexpr int kTargetMissing = 10;       // the model names no usable target
inline constexpr int kTargetTypeMismatch = 11;  // the target's type does not fit the model
inline constexpr int kArraySizeMismatch = 12;   // an array's n disagrees with its entries
}  // namespace ErrorCode

// Failures of VorqScore::VorqStatus (0 is success).
namespace StatusCode {
inline constexpr int kNoPrediction = 90027;
inline constexpr int kNoCaseRecord = 90029;
}  // namespace StatusCode

// Codes of ResultAdvice from the tree plug-in; the advice text names the
// variable.
namespace AdviceCode {
inline constexpr int kNoValue = 104;          // no value: the missing-value child was taken
inline constexpr int kInvalidCategory = 105;  // a value outside the variable's categories
inline constexpr int kMissingValue = 106;     // system-missing or a declared missing value
inline constexpr int kSurrogate = 107;        // a surrogate condition was tried
inline constexpr int kNoSplitApplies = 108;   // no condition applied: the biggest child was taken
}  // namespace AdviceCode
