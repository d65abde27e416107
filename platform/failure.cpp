#include "platform/failure.h"

#include <cstring>

namespace quor {

std::string Failure::DialogText() const {
  std::string detail = message.find(subject) == std::string::npos ? subject : std::string();
  if (errorNumber != 0) {
    const std::string system = std::strerror(errorNumber);
    if (message.find(system) == std::string::npos) detail += (detail.empty() ? "" : ": ") + system;
  }
  if (detail.empty()) return message;
  return message.empty() ? detail : message + "\n\n" + detail;
}

std::string SystemReason(int errorNumber) { return std::strerror(errorNumber); }

Failure SystemFailure(std::string subject, int errorNumber) {
  return Failure{std::move(subject), errorNumber, SystemReason(errorNumber)};
}

}  // namespace quor
