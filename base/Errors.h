#pragma once
// How a reader says what went wrong: the file, where in it, and what.

#include <string>
#include <utility>
#include <variant>

namespace velmora {

struct Error {
  std::string file;     // as the user named it
  long line = 0;        // 1-based; 0 when the fault is not on one line
  std::string field;    // e.g. "field 12" or "column 3"; may be empty
  std::string message;

  // "cell07.par: line 12, field 12: "0,05" is not a number"
  std::string What() const;
};

// An expected-style result: a value or the Error that stopped its making.
template <class T>
class Result {
 public:
  Result(T value) : v_(std::move(value)) {}
  Result(Error error) : v_(std::move(error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<0>(v_); }
  const T& value() const { return std::get<0>(v_); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  const Error& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, Error> v_;
};

struct Done {};
using Status = Result<Done>;
inline Status Ok() { return Done{}; }

}  // namespace velmora
