#pragma once

#include <string>
#include <utility>
#include <variant>

namespace cellforge {

// One line for the user: "where: what went wrong".
struct Error {
  std::string message;
};

inline Error fail(std::string message) { return Error{std::move(message)}; }

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

 private:
  std::variant<T, Error> v_;
};

struct Done {};
using Status = Expected<Done>;
inline Status success() { return Done{}; }

}  // namespace cellforge
