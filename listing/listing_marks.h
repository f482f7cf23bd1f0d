// Listing text with colour marks turned into something a terminal or a test
// can show: the marks dropped, drawn as ANSI colours, or written as visible
// tokens ("<c N>" for a colour mark, "{k}" for a reference mark, N and k hex).
#pragma once
#include <string>

enum class TMarkStyle { Plain, Tokens, Ansi };

// Appends text to out in the given style. Ansi output ends with a reset when
// the text changed a colour.
void appendMarkedText(std::string& out, const char* text, TMarkStyle style);
