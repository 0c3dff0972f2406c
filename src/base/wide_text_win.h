#pragma once

// The program's texts and paths are UTF-8; Windows takes and gives UTF-16.
// These are the only crossing between them, so every wide call sees the
// same characters whatever the ANSI code page of the machine.

#include <string>
#include <string_view>

// UTF-16 of a UTF-8 text. A byte that is not part of valid UTF-8 becomes
// U+FFFD, as Windows does.
std::wstring WideFromUtf8(std::string_view text);

// UTF-8 of a UTF-16 text; a lone surrogate becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view text);

// UTF-8 of a text another program handed over in the ANSI code page (the
// "A" clipboard and drop formats, which hold nothing else).
std::string Utf8FromAnsiCodePage(std::string_view text);
