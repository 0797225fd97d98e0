#pragma once

#include "host/HostExport.h"

namespace VorqScore {

// Outcome of one scoring call. Default-constructed: success (code 0).
// Failures used by the system: StatusCode in host/Codes.h.
class DX_HOST_API VorqStatus {
 public:
  VorqStatus() = default;
  VorqStatus(int code, bool flag) : code_(code), flag_(flag) {}

  bool IsOK() const { return code_ == 0; }
  int GetCode() const { return code_; }
  bool GetFlag() const { return flag_; }

 private:
  int code_ = 0;
  bool flag_ = true;
};

}  // namespace VorqScore
