#include "keyprune/command_line.h"

#include <cstddef>

namespace keyprune {

namespace {

bool isLeadByte932(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool startsWithNoCase(const std::string& text, const char* prefix) {
  std::size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    if (i >= text.size() || upperAscii(text[i]) != upperAscii(prefix[i])) return false;
  }
  return true;
}

void applySwitch(char letter, Options& options) {
  switch (letter) {
    case 'E': options.language = Language::English; break;
    case 'J': options.language = Language::Japanese; break;
    case 'S': options.silent = true; break;
    case 'V': options.silent = false; break;
    default: break;  // D takes a value that nothing uses; others are ignored
  }
}

std::string withoutQuotes(std::string word) {
  if (!word.empty() && word.front() == '"') word.erase(0, 1);
  if (!word.empty() && word.back() == '"') word.pop_back();
  return word;
}

}  // namespace

const char* argumentsOf(const char* commandLine) {
  const auto* p = reinterpret_cast<const unsigned char*>(commandLine);
  if (p == nullptr) return "";
  bool quoted = false;
  while (*p > ' ' || (*p != '\0' && quoted)) {
    if (*p == '"') quoted = !quoted;
    ++p;
  }
  while (*p != '\0' && *p <= ' ') ++p;
  return reinterpret_cast<const char*>(p);
}

void upperCaseInPlace(std::string& text, unsigned codePage) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (codePage == 932 && isLeadByte932(static_cast<unsigned char>(text[i]))) {
      ++i;  // the trail byte belongs to the same character
      continue;
    }
    text[i] = upperAscii(text[i]);
  }
}

Options parseWords(const std::string& text) {
  Options options;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] == ' ') {
      ++at;
      continue;
    }
    std::size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(at, end - at);
    at = end;
    if (word[0] == '/' || word[0] == '-') {
      if (word.size() > 1) applySwitch(word[1], options);
    } else {
      options.keyPath = withoutQuotes(word);
    }
  }
  return options;
}

bool isDeviceKeyPath(const std::string& path) {
  std::string rest;
  for (const char* prefix : {"SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\", "ENUM\\USB\\"}) {
    if (startsWithNoCase(path, prefix)) {
      rest = path.substr(std::char_traits<char>::length(prefix));
      break;
    }
  }
  if (rest.empty()) return false;
  // An empty name is no further element, and what the registry makes of
  // one differs between Windows versions.
  if (rest.front() == '\\' || rest.back() == '\\') return false;
  return rest.find("\\\\") == std::string::npos;
}

}  // namespace keyprune
