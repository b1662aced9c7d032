#include "update/JsonFields.h"

std::string JsonGetString(const std::string& text, const std::string& key) {
  const std::string pattern = "\"" + key + "\":\"";
  const size_t found = text.find(pattern);
  if (found == std::string::npos) return {};
  const size_t start = found + pattern.size();
  size_t end = start;
  while (end < text.size() && text[end] != '"') end += text[end] == '\\' ? 2 : 1;
  if (end >= text.size()) return {};  // never closed

  std::string value;
  value.reserve(end - start);
  for (size_t i = start; i < end; ++i) {
    if (text[i] != '\\' || i + 1 >= end) {
      value += text[i];
      continue;
    }
    const char escaped = text[++i];
    switch (escaped) {
      case '"': value += '"'; break;
      case '/': value += '/'; break;
      case '\\': value += '\\'; break;
      case 'n': value += '\n'; break;
      case 'r': value += '\r'; break;
      case 't': value += '\t'; break;
      default:
        value += '\\';
        value += escaped;
        break;
    }
  }
  return value;
}

bool JsonGetBool(const std::string& text, const std::string& key) {
  const std::string pattern = "\"" + key + "\":";
  const size_t found = text.find(pattern);
  return found != std::string::npos && text.compare(found + pattern.size(), 4, "true") == 0;
}
