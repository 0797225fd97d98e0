#pragma once

// Status codes of a scoring call that gives no prediction. The prediction
// column is empty and the status column holds one of these.
namespace pmml44 {

enum NoPrediction : int {
  kNoRecord = 90029,               // no case record was given
  kMissingNullPrediction = 90041,  // missingValueStrategy="nullPrediction" met a missing value
  kNoTrueChild = 90042,   // no child was true and noTrueChildStrategy="returnNullPrediction"
  kInvalidInput = 90043,  // an invalid input with invalidValueTreatment="returnInvalid"
  kNoSegment = 90044,     // no segment of a selecting segmentation was chosen, or the
                          // root node's predicate was not true
  kMissingInput = 90045,  // a value needed to compute the answer was missing (a
                          // regression predictor, a default child that is not there)
};

}  // namespace pmml44
