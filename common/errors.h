// Error types of the checker core.  Each kind maps onto one of the host
// interpreter's exception types; the binding layer does the mapping, so the
// core never sees the interpreter.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace nv {

enum class ErrorKind {
  Runtime,    // RuntimeError: fixed texts of the readers
  IO,         // IOError
  OS,         // OSError, with errno
  Key,        // KeyError; the message is the missing key itself
  Value,      // ValueError
  Index,      // IndexError
  Type,       // TypeError
  Attribute,  // AttributeError
  Struct,     // struct.error of the interpreter (packing an address)
  Exception,  // plain Exception
};

class Error : public std::exception {
 public:
  Error(ErrorKind kind, std::string message, int err = 0)
      : kind_(kind), message_(std::move(message)), errno_(err) {}
  ErrorKind kind() const noexcept { return kind_; }
  const std::string& message() const noexcept { return message_; }
  int error_number() const noexcept { return errno_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  ErrorKind kind_;
  std::string message_;
  int errno_;
};

inline Error RuntimeError(std::string m) { return Error(ErrorKind::Runtime, std::move(m)); }
inline Error ValueError(std::string m) { return Error(ErrorKind::Value, std::move(m)); }
inline Error IndexError(std::string m = "list index out of range") {
  return Error(ErrorKind::Index, std::move(m));
}
inline Error KeyError(std::string key) { return Error(ErrorKind::Key, std::move(key)); }
inline Error TypeError(std::string m) { return Error(ErrorKind::Type, std::move(m)); }
inline Error OSError(int err, std::string m) { return Error(ErrorKind::OS, std::move(m), err); }

// An error raised by an outside component (a call-back into the host).  The
// core does not look inside; the binding layer puts the original exception
// in the payload and raises it again, unchanged, when it reaches the host.
class ForeignError : public std::exception {
 public:
  explicit ForeignError(std::shared_ptr<void> payload, std::string what = "outside error")
      : payload_(std::move(payload)), what_(std::move(what)) {}
  const std::shared_ptr<void>& payload() const noexcept { return payload_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::shared_ptr<void> payload_;
  std::string what_;
};

// The diagnostic-shell client timed out (it raised its I/O error).  Readers
// turn it into their fixed runtime error; anywhere else it passes on as the
// client's own error.
class ShellTimeout : public ForeignError {
 public:
  using ForeignError::ForeignError;
};

}  // namespace nv
