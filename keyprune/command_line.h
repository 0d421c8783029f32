// keyprune's command line: the text after the program name, upper-cased in
// place, split at blanks into switches and the key path.
#pragma once

#include <string>

namespace keyprune {

enum class Language { FromCodePage, English, Japanese };

struct Options {
  std::string keyPath;  // empty when none was given
  bool silent = true;
  Language language = Language::FromCodePage;
};

// The text after the program name, skipped as the Windows start-up code
// does: up to the first character of code 32 or less outside double
// quotes, then every character of code 32 or less.
const char* argumentsOf(const char* commandLine);

// Maps a-z to A-Z in place and nothing else. On code page 932 the byte
// after a lead byte (0x81-0x9F, 0xE0-0xFC) is the second half of one
// character and is left alone, even when it looks like a letter.
void upperCaseInPlace(std::string& text, unsigned codePage);

// Splits the upper-cased text at blanks (only ' '; a tab is part of a word).
// "/X" and "-X" are switches (D, E, J, S, V; other letters ignore the
// word); any other word is the key path, with one leading and one trailing
// double quote dropped; the last such word wins.
Options parseWords(const std::string& upperCased);

// Whether `path` names a device key tree: below "ENUM\USB\" (Windows 98/Me)
// or "SYSTEM\CURRENTCONTROLSET\ENUM\USB\" without regard to case, with at
// least one further name and no empty name after the prefix.
bool isDeviceKeyPath(const std::string& path);

}  // namespace keyprune
