#pragma once
// The backslash escapes of EDS strings, as in C: \n \r \t \a \b \f \v \\ \" \' \?, \x followed by
// one or two hexadecimal digits and \ followed by one to three octal digits. The same rules read
// a file's strings and the strings a user types for a parameter, and show a string back.

#include <string>
#include <string_view>

namespace orv::eds {

// The text `body` stands for. A backslash before any other character stands for itself and the
// character, so a path such as "C:\dir" survives.
std::string Unescape(std::string_view body);

// `text` with the characters that are not printable ASCII, the backslash and the quote escaped, so
// that Unescape gives `text` back.
std::string Escape(std::string_view text);

} // namespace orv::eds
