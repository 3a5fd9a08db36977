#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cfb {

// Tells from the first bytes of a compound file whether its root holds an element of a given
// name, without the rest of the file. Compound files written by the platform's own service keep
// their allocation table and directory in the first sectors, so a few kilobytes usually settle
// it; when they do not, the answer is Unknown and the whole file has to be read.
class RootStreamProbe {
public:
    enum class Presence {
        Unknown,  // the bytes given do not settle it
        Absent,   // no element of that name: the whole file cannot show one either (it may
                  // also be no compound file at all, or one that cannot be opened)
        Present,  // an element of that name (compared as the format compares names)
    };

    static Presence probe(const std::uint8_t* prefix, std::size_t size, const std::u16string& name);
};

}  // namespace cfb
