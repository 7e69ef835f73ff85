#include "zip/names/za_search.h"

#include "zip/names/za_path_parts.h"
#include "zip/names/za_wildcard.h"

namespace zip {

namespace {

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool MatchesMask(const std::string& name, const std::string& mask) {
  if (mask.empty()) return false;
  std::string m = mask;
  const size_t all = m.find("*.*");
  if (all != std::string::npos) m = m.substr(0, all) + "*" + m.substr(all + 3);
  const bool finalDot = m.back() == '.';
  if (finalDot) m.pop_back();
  std::string n = name;
  if (!n.empty() && n.back() == '.') n.pop_back();
  if (!MatchWildcardRec(n, m, true)) return false;
  if (!finalDot) return true;
  const std::string file = ZAFilePart(n);
  return file.find('.') == std::string::npos;
}

bool MatchesNameOrFile(const std::string& name, const std::string& mask) {
  return MatchesMask(name, mask) || MatchesMask(ZAFilePart(name), mask);
}

bool AttrMatches(uint32_t entryAttr, int32_t searchAttr) {
  constexpr uint32_t kExcluding = 0x02 | 0x04 | 0x08 | 0x10;
  return (entryAttr & kExcluding & ~static_cast<uint32_t>(searchAttr)) == 0;
}

std::string ZAStripMaskDrive(const std::string& mask) {
  if (mask.size() >= 2 && isLetter(mask[0]) && mask[1] == ':') return mask.substr(2);
  if (mask.size() >= 2 && (mask[0] == '\\' || mask[0] == '/') && mask[1] == mask[0]) {
    const char sep = mask[0];
    const size_t server = mask.find(sep, 2);
    const size_t share = server == std::string::npos ? std::string::npos : mask.find(sep, server + 1);
    return share == std::string::npos ? std::string() : mask.substr(share + 1);
  }
  return mask;
}

}  // namespace zip
