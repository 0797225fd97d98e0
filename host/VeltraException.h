#pragma once

#include <exception>
#include <string>

#include "host/HostExport.h"

// The one exception type of the system: a numeric code and a fixed message.
// Codes: 1 missing or malformed element or attribute; 3 invalid value;
// 4 required list or node missing; 5 unsupported construct; 8 variable not in
// the dictionary or in the wrong role; 9 invalid operator; 10 target missing;
// 11 target type mismatch; 12 array size mismatch.
class DX_HOST_API VeltraException : public std::exception {
 public:
  VeltraException(int code, std::string message);
  VeltraException(const VeltraException&) = default;
  VeltraException& operator=(const VeltraException&) = default;
  ~VeltraException() override;

  int GetCode() const { return code_; }
  const std::string& GetMessage() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  int code_;
  std::string message_;
};
