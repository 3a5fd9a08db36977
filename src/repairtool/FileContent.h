#pragma once

#include <string>

class ReadableFile;

// A short text that tells the content of a file from any other content of practical concern:
// its length and CRC-32. Empty when the file can't be read to its end.
std::string ContentDigest(ReadableFile& file);

// True when the two files hold the same bytes; false also when either can't be read.
bool SameContent(ReadableFile& a, ReadableFile& b);
