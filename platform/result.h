#pragma once

#include <string>
#include <utility>
#include <variant>

namespace cellforge {

// What went wrong, for the callers that act on it rather than only report
// it (the message is for the user, the kind for the code).
enum class ErrorKind {
  invalid,      // the input is not what it must be: a file's bytes, a setting, an argument
  notFound,     // the file or folder named is not there
  ioError,      // the system refused to read, write, list, delete or wait
  couldNotRun,  // a program could not be started
};

// One line for the user: "where: what went wrong".
struct Error {
  ErrorKind kind = ErrorKind::invalid;
  std::string message;

  static Error invalid(std::string m) { return {ErrorKind::invalid, std::move(m)}; }
  static Error notFound(std::string m) { return {ErrorKind::notFound, std::move(m)}; }
  static Error ioError(std::string m) { return {ErrorKind::ioError, std::move(m)}; }
  static Error couldNotRun(std::string m) { return {ErrorKind::couldNotRun, std::move(m)}; }
};

// Nearly every failure outside the platform layer is input that is not what
// it must be (a template, layout, piece text, manifest, setting or option),
// and nothing acts on it but to report it: that is what plain fail() makes.
// The platform layer and the failures a caller decides on name their kind.
inline Error fail(std::string message) { return Error::invalid(std::move(message)); }

template <class T>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : v_(std::move(value)) {}
  Expected(Error error) : v_(std::move(error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const { return std::get<1>(v_); }
  const std::string& message() const { return error().message; }
  ErrorKind kind() const { return error().kind; }

 private:
  std::variant<T, Error> v_;
};

struct Done {};
using Status = Expected<Done>;
inline Status success() { return Done{}; }

}  // namespace cellforge
