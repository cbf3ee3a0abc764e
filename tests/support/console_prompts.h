// Test helper: what the console shows for each question of the dialogue, each
// beginning with the line end that the record before it still owes.
#pragma once

#include <string>

namespace vcshrink::testing {

const std::string names_shown =
    "    Name of input file?  -->  \n"
    "    Name of output file? -->  ";
const std::string relationship_shown =
    "\n\n"
    "    Coefficient of relationship (cr)?\n"
    "    e.g. halfsib analysis:   cr = .25,\n"
    "    e.g. fullsib analysis:   cr = .50,\n"
    "    e.g. any animal model:   cr = 1\n"
    "\n"
    "                             cr?           -->  ";
const std::string procedure_shown =
    "\n\n"
    "    Use of the \"optimized\" procedure? (1)\n"
    "    Use of a \"fixed\" bending factor?  (2)  -->  ";
const std::string factor_shown =
    "\n\n"
    "    Selected value for bending factor?\n"
    "    (factor must be between 0 and 1)       -->  ";
const std::string coefficient_rejected = "\n    Coefficient of relationship must be greater than 0!";
const std::string factor_rejected = "\n    Bending factor must be between 0 and 1!";
const std::string procedure_rejected = "\n    Procedure must be 1 or 2!";
const std::string weights_shown =
    "\n\n"
    "    Equal (1) \n"
    "    or different (2) trait weights?        -->  ";
const std::string individual_weights_shown = "\n    Individual trait weights (proportions):";
const std::string name_asked_again = "\n    Please type the name of the input file:  -->  ";

// The question for the weight of trait 1..30, its number right-aligned in two places.
inline std::string weight_shown(int trait) {
  return std::string("\n    Weight for trait ") + (trait < 10 ? " " : "") + std::to_string(trait) +
         "?              -->  ";
}

}  // namespace vcshrink::testing
