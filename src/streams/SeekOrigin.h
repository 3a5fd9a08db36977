#pragma once

// Where a seek offset counts from; the numbering of the standard file functions.
enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };
