// Standard output as the console's destination: text is written only as far
// as the stream takes it without waiting longer than asked (a terminal on
// hold or a pipe nobody reads keeps the rest with the caller). Called by
// one thread at a time (the console's drain).
#pragma once

#include <cstddef>
#include <string_view>

namespace quor {

// Writes the start of `text` to standard output, waiting at most
// `timeoutMs` for the stream to take it. Returns how many bytes are done
// with: those written, or all of `text` when the stream is closed or broken
// (nobody can read them any more).
size_t WriteToStandardOutput(std::string_view text, int timeoutMs);

}  // namespace quor
