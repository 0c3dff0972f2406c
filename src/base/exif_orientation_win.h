// The orientation a picture file on disk records (exif_orientation.h), read
// through the file system for pictures the imaging service decodes.
#pragma once

// The EXIF orientation of a JPEG file, else the Orientation field of a TIFF
// file; 1 for any other file, an unreadable one, or one that records none.
// path: UTF-8 text. Only the bytes on the way to the tag are read.
int FileOrientation(const char* path);
