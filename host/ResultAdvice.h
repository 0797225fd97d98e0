#pragma once

#include <string>

#include "host/HostExport.h"

// An advisory note attached to a scoring result: a code (AdviceCode in
// host/Codes.h for the tree plug-in) and a text, usually a variable name.
class DX_HOST_API ResultAdvice {
 public:
  ResultAdvice(int code, const std::string& text) : code_(code), text_(text) {}

  int GetCode() const { return code_; }
  const std::string& GetText() const { return text_; }

 private:
  int code_;
  std::string text_;
};
