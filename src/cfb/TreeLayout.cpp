#include "cfb/TreeLayout.h"

namespace cfb {

std::uint32_t TreeLayout::build(std::size_t count, std::vector<Node>* nodes) {
    nodes->assign(count, Node{});
    // Levels 0 .. blackDepth - 1 are complete; only level blackDepth can be partly filled.
    std::uint32_t blackDepth = 0;
    while ((std::uint64_t{2} << blackDepth) - 1 <= count) {
        ++blackDepth;
    }
    return buildRange(0, static_cast<std::uint32_t>(count), 0, blackDepth, nodes);
}

std::uint32_t TreeLayout::buildRange(std::uint32_t begin, std::uint32_t end, std::uint32_t depth,
                                     std::uint32_t blackDepth, std::vector<Node>* nodes) {
    if (begin >= end) {
        return kNone;
    }
    const std::uint32_t middle = begin + (end - begin) / 2;
    Node& node = (*nodes)[middle];
    node.red = depth >= blackDepth;
    node.left = buildRange(begin, middle, depth + 1, blackDepth, nodes);
    node.right = buildRange(middle + 1, end, depth + 1, blackDepth, nodes);
    return middle;
}

}  // namespace cfb
