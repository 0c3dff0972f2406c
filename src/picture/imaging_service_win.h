#pragma once

// The process-wide GDI+ start and the text form GDI+ and COM take.

#include <windows.h>

#include "picture/byte_buffer.h"

// Starts GDI+ once for the whole process, before any Picture is used; it is
// never shut down. True when GDI+ reported success; callers may ignore it, as
// a failed start only shows up later as failed loads and saves.
bool StartImagingService();

// Zero-terminated UTF-8 text as zero-terminated UTF-16 in a byte buffer: 2 bytes per code unit, terminator included. Null or empty text
// gives the terminator alone.
ByteBuffer ToWideText(const char* text);

// The UTF-16 text held by a ToWideText buffer.
inline const wchar_t* WideOf(const ByteBuffer& wideText) {
  return reinterpret_cast<const wchar_t*>(wideText.Data());
}
