#pragma once
// Single values out of the version service's compact JSON answer, found by
// the key's exact byte pattern; no tree is built. Platform-free.
//
// Values are found only when written directly after the colon (no blanks
// between the key's closing quote, the colon and the value), and \uXXXX
// escapes are left as they stand: the service sends raw UTF-8 instead.
#include <string>

// The string value of `key`, unescaped, still UTF-8; empty when the key is
// missing, its value is not a string right after the colon, or the string
// is not closed.
std::string JsonGetString(const std::string& text, const std::string& key);

// True exactly when the value of `key` begins with the four bytes "true".
bool JsonGetBool(const std::string& text, const std::string& key);
