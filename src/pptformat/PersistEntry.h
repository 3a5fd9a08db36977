#pragma once

#include <cstdint>

// One persist id of a Document stream and the object it names.
struct PersistEntry {
    std::uint32_t persistId = 0;
    std::uint32_t offset = 0;       // stream offset of the object's top record header, as read
    std::uint32_t size = 0;         // body length of the top record; set just before writing
    std::int64_t recordIndex = -1;  // index of the top record in the Document's record list
};
