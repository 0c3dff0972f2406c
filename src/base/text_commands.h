#pragma once

// The runtime's text commands, for callers of the uniform calling form. Texts
// are byte strings in a double-byte code page such as GBK; positions and
// lengths count bytes and start at 1; a search that finds nothing gives -1. A
// byte of 0x80 or above starts a double-byte character whose second byte is
// never taken as a character. The program's own texts and paths are UTF-8 and
// are not split by these (see app/name_rules.h).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Bytes before the terminator; 0 for null.
int TextLength(const char* text);

// The first / last min(count, length) bytes; empty when count <= 0.
std::string LeftText(std::string_view text, int count);
std::string RightText(std::string_view text, int count);

// Position of the first occurrence of sought at or after start (1-based), or -1.
int FindText(std::string_view text, std::string_view sought, std::optional<int> start = {},
             bool ignoreCase = false);

// Position of the last occurrence of sought, or -1. With a start position s,
// only the first s - 1 bytes are searched.
int FindTextFromEnd(std::string_view text, std::string_view sought, std::optional<int> start = {},
                    bool ignoreCase = false);

// Splits text at separator (default ","), keeping at most maxCount elements
// (unlimited when omitted, none when negative).
std::vector<std::string> SplitText(std::string_view text,
                                   std::optional<std::string_view> separator = {},
                                   std::optional<int> maxCount = {});
