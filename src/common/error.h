// The one error type of the tool: a message written for the user.
#pragma once

#include <stdexcept>
#include <string>

namespace r3k {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace r3k
