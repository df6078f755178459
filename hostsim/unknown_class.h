// hostsim: the error of a scenario that names a vessel class the host has no configuration for.
#pragma once

#include <string>

#include "hostsim/error.h"

namespace hostsim {

// A scenario that names a vessel class the host's config folder has no configuration for:
// "unknown vessel class "mast" (no root/config/mast.cfg)". A program that chooses that folder
// can say how to choose another from the parts what() is made of.
class UnknownClassError : public Error {
 public:
  UnknownClassError(std::string subject, std::string missing, std::string file, int line);
  ~UnknownClassError() override;
  const std::string& subject() const { return subject_; }  // unknown vessel class "mast"
  const std::string& missing() const { return missing_; }  // the configuration looked for

 private:
  std::string subject_;
  std::string missing_;
};

}  // namespace hostsim
