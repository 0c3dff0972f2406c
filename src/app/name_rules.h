#pragma once

// How the program splits a picture path and forms the path of its converted
// copy. Paths are GBK byte strings with "\" between folders; every search is
// double-byte aware, so a trail byte 0x5C inside a Chinese character is never
// taken for a folder separator.

#include <string>
#include <string_view>

// The extensions the program accepts, searched as one text (never split):
// "jpg、jpeg、jpe、jfif、png、tif、tiff、bmp、dib、ppm、pgm、pbm、pnm、pcx、pic、sgi、rgb、bw、gif、pcd、
// webp、heic、heif、avif"
// with the ideographic comma in GBK (A1 A2), written as bytes so the text is
// the same in every build (a literal for each extension: a letter a-f right
// after \xA2 would continue the escape).
inline constexpr char kSupportedExtensionList[] =
    "jpg\xA1\xA2" "jpeg\xA1\xA2" "jpe\xA1\xA2" "jfif\xA1\xA2" "png\xA1\xA2"
    "tif\xA1\xA2" "tiff\xA1\xA2" "bmp\xA1\xA2" "dib\xA1\xA2" "ppm\xA1\xA2"
    "pgm\xA1\xA2" "pbm\xA1\xA2" "pnm\xA1\xA2" "pcx\xA1\xA2" "pic\xA1\xA2"
    "sgi\xA1\xA2" "rgb\xA1\xA2" "bw\xA1\xA2" "gif\xA1\xA2" "pcd\xA1\xA2"
    "webp\xA1\xA2" "heic\xA1\xA2" "heif\xA1\xA2" "avif";

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
