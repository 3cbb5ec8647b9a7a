#include "evaluation/evaluation_set.h"

#include <algorithm>

#include "evaluation/evaluation_parts.h"

namespace r3k::evaluation {

bool EvaluationFault::accepts(std::string_view answer) const {
  return std::find(accepted.begin(), accepted.end(), answer) != accepted.end();
}

const std::vector<EvaluationFault>& evaluation_set() {
  static const std::vector<EvaluationFault> all =
      joined({datapath_mistakes, control_mistakes, memory_mistakes, pipeline_mistakes});
  return all;
}

const std::vector<EvaluationFault>& validation_set() {
  static const std::vector<EvaluationFault> all = validation_mistakes();
  return all;
}

const std::vector<EvaluationFault>& holdout_set() {
  static const std::vector<EvaluationFault> all = holdout_mistakes();
  return all;
}

const std::vector<EvaluationFault>& second_holdout_set() {
  static const std::vector<EvaluationFault> all = second_holdout_mistakes();
  return all;
}

}  // namespace r3k::evaluation
