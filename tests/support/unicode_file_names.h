// Names in many scripts for the tests of paths and texts: one each from the
// Chinese code page (936), the Western one (1252), outside both (Korean and
// half-width katakana, not in GBK), outside the Basic Multilingual Plane (a
// surrogate pair in UTF-16), and a mix of them all with a space. Each name is
// written twice, so a check can compare the code's UTF-8 with the compiler's
// UTF-16 instead of with the code's own conversion.
#pragma once

struct UnicodeFileName {
  const char* utf8;
  const wchar_t* wide;  // the same characters; UTF-16 on Windows
};

inline constexpr UnicodeFileName kUnicodeFileNames[] = {
    {"中文", L"中文"},
    {"café", L"café"},
    {"사진", L"사진"},
    {"ｼｬｼﾝ", L"ｼｬｼﾝ"},
    {"😀", L"😀"},
    {"Ünïcødé", L"Ünïcødé"},
    {"mix 中文-사진-😀-é", L"mix 中文-사진-😀-é"},
};
