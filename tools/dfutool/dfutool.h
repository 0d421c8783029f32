// dfutool: checks update files the way the updater does and makes valid ones
// for tests and the demo. Host tool; plain C stdio and POSIX.
#pragma once

#include <string>

namespace dfutool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitBad = 1;
inline constexpr int kExitUsage = 2;

// argv without the program name and the command word.
int runCheck(int argc, char** argv);
int runMake(int argc, char** argv);

void printUsage();

// Bytes as a transcript line shows them: \\ \" \r \n \t, and \xHH for other
// bytes below 0x20 and for bytes from 0x80.
std::string escapeBytes(const char* bytes, std::size_t length);

}  // namespace dfutool
