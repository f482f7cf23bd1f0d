// Text built into fixed buffers with wsprintf conventions.
// Formats may use Win32 "l" length modifiers ("%.8lX", "%li"): on Win32 a long
// is 32 bits, so the modifier is dropped and the value is read as a 32-bit int.
// Output is cut silently at the buffer's capacity and always terminated.
#pragma once
#include <cstddef>
#include <string>

// Returns the number of characters written (excluding the terminator).
size_t wsFormat(char* out, size_t cap, const char* format, ...);

// Same, into a std::string, for code outside hot paths.
std::string wsString(const char* format, ...);

// Appends src to the zero-terminated text in out (capacity cap), cutting silently.
size_t appendText(char* out, size_t cap, const char* src);
