// hostsim: the error every part of the stand-in host throws.
#pragma once

#include <stdexcept>
#include <string>

namespace hostsim {

// An error of the host: a file that cannot be read, a malformed scenario or configuration,
// a missing module. what() is "FILE:LINE: message" when a file and line are known.
class Error : public std::runtime_error {
 public:
  Error(std::string message, std::string file = {}, int line = 0);
  const std::string& file() const { return file_; }
  int line() const { return line_; }
  const std::string& message() const { return message_; }

 private:
  std::string message_;
  std::string file_;
  int line_;
};

}  // namespace hostsim
