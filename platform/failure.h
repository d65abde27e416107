// The one way a failure is reported across the program: what failed (a
// device, a port, a file), the errno when the system gave one (0 otherwise)
// and the message text an operator reads. Operations that yield nothing
// return std::optional<Failure> (empty when they worked); operations that
// yield a value return Result<T>, holding either the value or the Failure.
// Plain values; any thread.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace quor {

struct Failure {
  std::string subject;
  int errorNumber = 0;
  std::string message;
  bool operator==(const Failure&) const = default;
  // The text of the error box: the message, then the subject and the
  // system's text for the errno where the message does not hold them yet.
  std::string DialogText() const;
};

// The system's text for an errno value ("No such file or directory").
std::string SystemReason(int errorNumber);
// A failure of a system call on `subject`: its errno and the system's text.
Failure SystemFailure(std::string subject, int errorNumber);

// Either a value or the Failure that kept it from being made.
template <typename T>
class Result {
 public:
  // Implicit, so that a function returns its value or its failure as it is.
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}
  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& operator*() { return std::get<0>(state_); }
  const T& operator*() const { return std::get<0>(state_); }
  T* operator->() { return &std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }
  // Only when !ok().
  const Failure& failure() const { return std::get<1>(state_); }

 private:
  std::variant<T, Failure> state_;
};

}  // namespace quor
