#pragma once

#include <exception>
#include <string>

#include "host/HostExport.h"

// The one exception type of the system: a numeric code (ErrorCode in
// host/Codes.h) and a fixed message.
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
