#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cfb {

// Lays out the children of one storage, given in format order, as a balanced binary search tree
// coloured as a valid red-black tree: the middle element is the root of each subtree, so every
// empty link lies on one of the two deepest levels; the nodes of an incomplete deepest level are
// red, all others black.
class TreeLayout {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    struct Node {
        std::uint32_t left = kNone;  // positions in the sorted order
        std::uint32_t right = kNone;
        bool red = false;
    };

    // Returns the position of the root (kNone for no children) and fills `nodes` (count long).
    static std::uint32_t build(std::size_t count, std::vector<Node>* nodes);

private:
    static std::uint32_t buildRange(std::uint32_t begin, std::uint32_t end, std::uint32_t depth,
                                    std::uint32_t blackDepth, std::vector<Node>* nodes);
};

}  // namespace cfb
