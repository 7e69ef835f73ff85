#pragma once
// Cuts a text at a one-character delimiter, keeping every piece as it is
// (no trimming; an empty piece between two delimiters is kept).
#include <string>
#include <vector>

namespace backup::splitter {

// Takes the piece that starts at position (1-based) and ends before the
// next delimiter or at the end of text; position moves past that delimiter.
void NextToken(const std::string& text, char delimiter, int& position, std::string& token);

// Appends every piece of text to list; a delimiter at the end adds no empty
// piece and an empty text adds nothing.
void SplitString(const std::string& text, char delimiter, std::vector<std::string>& list);

}  // namespace backup::splitter
