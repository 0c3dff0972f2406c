// The integer result codes of the engine's conversion commands; LoadPicture
// answers with the first three.
#pragma once

namespace engine {

constexpr int ResultOk = 1;             // the destination file was written completely
constexpr int ResultFileNotFound = -1;  // the source path names nothing that exists
constexpr int ResultNotReadable = -3;   // no reader took the file, or its reader failed
constexpr int ResultWriteFailed = -4;   // the writer could not write the destination
constexpr int ResultBadArguments = -7;  // the arguments were refused before anything was read

}  // namespace engine
