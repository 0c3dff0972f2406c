#pragma once

// How the program splits a picture path and forms the path of its converted
// copy. Paths are UTF-8 with "\" between folders (natively, whatever bytes the
// file system gave); "\" and "." are single bytes in UTF-8 that never occur
// inside another character.

#include <string>
#include <string_view>

// The extensions the program accepts, searched as one text (never split),
// with the ideographic comma between them.
inline constexpr char kSupportedExtensionList[] =
    "jpg、jpeg、jpe、jfif、png、tif、tiff、bmp、dib、ppm、pgm、pbm、pnm、pcx、pic、sgi、rgb、bw、gif、pcd、"
    "webp、heic、heif、avif";

// Everything up to and including the last "\"; empty when there is none.
std::string FolderOf(std::string_view path);
// Everything after the last "\"; the whole path when there is none.
std::string NameOf(std::string_view path);
// Everything up to and including the last "."; empty when there is none.
std::string BaseOf(std::string_view name);
// Everything after the last "."; the whole name when there is none.
std::string ExtensionOf(std::string_view name);
// True when ext occurs anywhere in supportedList, starting on a character and
// ignoring ASCII letter case (a substring test: "jp" and "PNG" pass, "jpeg"
// does not; "" always passes).
bool IsSupportedExtension(std::string_view supportedList, std::string_view ext);
// folder + target, e.g. D:\pics\ + jpg -> D:\pics\jpg
std::string OutputFolderFor(std::string_view folder, std::string_view target);
// folder + target + "\" + base + target, e.g. D:\pics\jpg\cat.jpg
std::string OutputPathFor(std::string_view folder, std::string_view target, std::string_view base);
