// Error texts that both file formats (projects and recordings) show.
#pragma once

namespace quor {

inline constexpr const char* kUnknownFileFormatMessage = "Unknown File Format.";

}  // namespace quor
