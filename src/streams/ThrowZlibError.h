#pragma once

// Throws IOException with a ZlibErrorDetail holding a zlib result code and zlib's message text
// (`message` may be null when zlib gave none).
[[noreturn]] void ThrowZlibError(int result, const char* message);
