#pragma once

#include <cstddef>
#include <cstdint>

#include "streams/InputStream.h"
#include "streams/OutputStream.h"

// Pours `in` into `out` in chunks of `chunkSize` bytes until the first short read (whose bytes are
// still written, even when there are none). Returns the number of bytes copied. `in` must end
// with a short read, as files and limited streams do.
std::uint64_t copyStream(InputStream& in, OutputStream& out, std::size_t chunkSize = 8192);
