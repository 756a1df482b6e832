// Basic types shared by every layer of Wendul.
#pragma once

#include <stdexcept>
#include <string>

namespace wendul {

// The system's text: bytes in code page 932 (Shift-JIS as Windows writes it).
// Positions and lengths are byte counts; a line break is CR LF (2 bytes).
using SjisString = std::string;

// Days since 1899-12-30, the fraction being the time of day.
using TDateTime = double;

// The one error type of the system: it carries a display text for the user.
class GeneralError : public std::runtime_error {
 public:
  explicit GeneralError(const SjisString& text) : std::runtime_error(text) {}
};

}  // namespace wendul
