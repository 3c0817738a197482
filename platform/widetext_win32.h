#pragma once

#include <string>

// The program keeps its text in UTF-8; the wide-character Win32 functions take UTF-16.
// Bytes that are no UTF-8 become U+FFFD rather than failing the call that shows them.
std::wstring WideFromUtf8(const std::string &text);
std::string Utf8FromWide(const std::wstring &text);
