#pragma once

// How the program splits a picture path and forms the path of its converted
// copy. Paths are GBK byte strings with "\" between folders; every search is
// double-byte aware, so a trail byte 0x5C inside a Chinese character is never
// taken for a folder separator.

#include <string>
#include <string_view>

// The extensions the program accepts, searched as one text (never split):
// "jpg、png、tif、bmp、ppm、pgm、pcx、pic、sgi" with the ideographic comma in GBK
// (A1 A2), written as bytes so the text is the same in every build.
inline constexpr char kSupportedExtensionList[] =
    "jpg\xA1\xA2png\xA1\xA2tif\xA1\xA2" "bmp\xA1\xA2ppm\xA1\xA2pgm\xA1\xA2" "pcx\xA1\xA2pic\xA1\xA2sgi";

// Everything up to and including the last "\"; empty when there is none.
std::string FolderOf(std::string_view path);
// Everything after the last "\"; the whole path when there is none.
std::string NameOf(std::string_view path);
// Everything up to and including the last "."; empty when there is none.
std::string BaseOf(std::string_view name);
// Everything after the last "."; the whole name when there is none.
std::string ExtensionOf(std::string_view name);
// True when ext occurs anywhere in supportedList, ignoring ASCII letter case
// (a substring test: "jp" and "PNG" pass, "jpeg" does not; "" always passes).
bool IsSupportedExtension(std::string_view supportedList, std::string_view ext);
// folder + target, e.g. D:\pics\ + jpg -> D:\pics\jpg
std::string OutputFolderFor(std::string_view folder, std::string_view target);
// folder + target + "\" + base + target, e.g. D:\pics\jpg\cat.jpg
std::string OutputPathFor(std::string_view folder, std::string_view target, std::string_view base);
