// Lists turned into text, to compare a whole list against one literal.
#pragma once
#include <string>
#include <vector>

// One text per element, as `text(element)` gives it.
template <class Range, class Text>
std::vector<std::string> textsOf(const Range& range, Text text) {
  std::vector<std::string> out;
  for (const auto& element : range) out.push_back(std::string(text(element)));
  return out;
}
