#pragma once

// Opening a file by path as a C stream, the same way in both builds: on
// Windows the path is UTF-8 and opened through the wide function, so any name
// works whatever the ANSI code page; natively the path is bytes as the file
// system gives them.

#include <cstdio>

// std::fopen with a path in the program's form; null when it cannot be opened.
std::FILE* OpenFileStream(const char* path, const char* mode);
