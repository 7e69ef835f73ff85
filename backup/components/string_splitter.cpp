#include "backup/components/string_splitter.h"

namespace backup::splitter {

void NextToken(const std::string& text, char delimiter, int& position, std::string& token) {
  if (position < 1) position = 1;
  std::size_t start = static_cast<std::size_t>(position - 1);
  if (start >= text.size()) {
    token.clear();
    position += 1;
    return;
  }
  std::size_t stop = text.find(delimiter, start);
  if (stop == std::string::npos) stop = text.size();
  token = text.substr(start, stop - start);
  position = static_cast<int>(stop) + 2;
}

void SplitString(const std::string& text, char delimiter, std::vector<std::string>& list) {
  int position = 1;
  std::string token;
  while (position <= static_cast<int>(text.size())) {
    NextToken(text, delimiter, position, token);
    list.push_back(token);
  }
}

}  // namespace backup::splitter
