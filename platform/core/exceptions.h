#pragma once
// The class library's exception classes, with the French texts the programs show.
#include <stdexcept>
#include <string>

namespace platform {

// Base of every error the system raises itself; the message is UTF-8 text.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }
  void setMessage(std::string m) { message_ = std::move(m); }

 private:
  std::string message_;
};

// A text that is not a number of the expected kind.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
  static EConvertError invalidInteger(const std::string& text);
};

// Input/output error with the system's error number ("Erreur E/S %d").
class EInOutError : public Exception {
 public:
  explicit EInOutError(int code);
  int errorCode() const noexcept { return code_; }

 private:
  int code_;
};

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

// A file that cannot be opened ("Impossible d'ouvrir le fichier %s", or with the system's
// reason "Impossible d'ouvrir le fichier \"%s\". %s").
class EFOpenError : public EStreamError {
 public:
  EFOpenError(const std::string& fileName, int sysError = 0);
  int sysError() const noexcept { return sysError_; }

 private:
  int sysError_;
};

// A file that cannot be created ("Impossible de créer le fichier %s", or with the system's
// reason "Impossible de créer le fichier \"%s\". %s").
class EFCreateError : public EStreamError {
 public:
  EFCreateError(const std::string& fileName, int sysError = 0);
  int sysError() const noexcept { return sysError_; }

 private:
  int sysError_;
};

class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

}  // namespace platform
