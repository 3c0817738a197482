#pragma once

#include <string>

// The program keeps its text in UTF-8; the wide-character Win32 functions take UTF-16.
// Bytes that are no UTF-8 become U+FFFD rather than failing the call that shows them.
std::wstring WideFromUtf8(const std::string &text);
std::string Utf8FromWide(const std::wstring &text);

// The system's own words for an error code (a Win32 error, a Winsock error or an HRESULT),
// or the code itself where the system has none.
std::string SystemText(unsigned long code);
