#include "convert/CopcPages.h"

#include "convert/OctreeKey.h"
#include "io/core/LittleEndian.h"

#include <algorithm>
#include <deque>

namespace copcwrite {
namespace {

constexpr std::size_t kEntrySize = 32;

struct PageEntry {
    std::size_t node = 0;
    bool childPage = false;
    std::size_t page = 0;  // for a child page entry: which page
};

struct Tree {
    std::vector<HierarchyNode> nodes;          // in pre-order
    std::vector<std::size_t> subtreeEnd;       // one past the node's last descendant
    std::vector<std::vector<std::size_t>> children;
};

// Pre-order: by the node's first finest-level cell, parents before their children.
Tree PreOrder(std::vector<HierarchyNode> nodes)
{
    const auto firstCell = [](const HierarchyNode& node) {
        return node.level == 0 ? 0 : node.cell << (3 * (octree::kKeyLevels - node.level));
    };
    std::sort(nodes.begin(), nodes.end(), [&](const HierarchyNode& a, const HierarchyNode& b) {
        const std::uint64_t fa = firstCell(a), fb = firstCell(b);
        return fa != fb ? fa < fb : a.level < b.level;
    });
    Tree tree;
    tree.nodes = std::move(nodes);
    const std::size_t n = tree.nodes.size();
    tree.subtreeEnd.assign(n, n);
    tree.children.resize(n);
    std::vector<std::size_t> open;  // the current node's ancestors
    for (std::size_t i = 0; i < n; ++i) {
        const HierarchyNode& node = tree.nodes[i];
        while (!open.empty() && !(tree.nodes[open.back()].level < node.level &&
                                  (node.cell >> (3 * (node.level - tree.nodes[open.back()].level))) == tree.nodes[open.back()].cell)) {
            tree.subtreeEnd[open.back()] = i;
            open.pop_back();
        }
        if (!open.empty())
            tree.children[open.back()].push_back(i);
        open.push_back(i);
    }
    return tree;
}

void StoreEntry(unsigned char* at, const HierarchyNode& node, std::uint64_t offset, std::int32_t size, std::int32_t count)
{
    const auto cell = octree::NodeCell(node.cell);
    StoreLE(at, static_cast<std::int32_t>(node.level));
    StoreLE(at + 4, static_cast<std::int32_t>(cell[0]));
    StoreLE(at + 8, static_cast<std::int32_t>(cell[1]));
    StoreLE(at + 12, static_cast<std::int32_t>(cell[2]));
    StoreLE(at + 16, offset);
    StoreLE(at + 24, size);
    StoreLE(at + 28, count);
}

// Leaves out the nodes that hold no points and head none that do.
std::vector<HierarchyNode> WithPoints(const Tree& tree)
{
    const std::size_t n = tree.nodes.size();
    std::vector<bool> keep(n, false);
    for (std::size_t i = n; i-- > 0;) {
        keep[i] = tree.nodes[i].pointCount > 0;
        for (const std::size_t child : tree.children[i])
            keep[i] = keep[i] || keep[child];
    }
    std::vector<HierarchyNode> kept;
    for (std::size_t i = 0; i < n; ++i)
        if (keep[i])
            kept.push_back(tree.nodes[i]);
    return kept;
}

}  // namespace

HierarchyPages LayOutHierarchy(std::vector<HierarchyNode> nodes, std::uint64_t dataOffset)
{
    HierarchyPages pages;
    const Tree tree = PreOrder(WithPoints(PreOrder(std::move(nodes))));
    if (tree.nodes.empty())
        return pages;
    const bool split = tree.nodes.size() > kSinglePageNodes;

    // Which entries each page holds; pages in breadth-first order, the root's first.
    std::vector<std::vector<PageEntry>> pageEntries;
    std::deque<std::pair<std::size_t, std::size_t>> pending{{0, 0}};  // (page, its top node)
    pageEntries.emplace_back();
    while (!pending.empty()) {
        const auto [page, top] = pending.front();
        pending.pop_front();
        std::vector<std::pair<std::size_t, int>> stack{{top, 0}};
        while (!stack.empty()) {
            const auto [node, depth] = stack.back();
            stack.pop_back();
            pageEntries[page].push_back({node, false, 0});
            const auto& children = tree.children[node];
            for (auto child = children.rbegin(); child != children.rend(); ++child) {
                const std::size_t subtree = tree.subtreeEnd[*child] - *child;
                if (split && depth + 1 >= kPageLevels && subtree > kInlineSubtree) {
                    pageEntries.emplace_back();
                    pending.emplace_back(pageEntries.size() - 1, *child);
                    pageEntries[page].push_back({*child, true, pageEntries.size() - 1});
                } else {
                    stack.emplace_back(*child, depth + 1);
                }
            }
        }
    }

    std::vector<std::uint64_t> pageOffset(pageEntries.size());
    std::uint64_t at = dataOffset;
    for (std::size_t p = 0; p < pageEntries.size(); ++p) {
        pageOffset[p] = at;
        at += pageEntries[p].size() * kEntrySize;
    }
    pages.bytes.resize(static_cast<std::size_t>(at - dataOffset));
    unsigned char* out = pages.bytes.data();
    for (std::size_t p = 0; p < pageEntries.size(); ++p) {
        for (const PageEntry& entry : pageEntries[p]) {
            const HierarchyNode& node = tree.nodes[entry.node];
            if (entry.childPage)
                StoreEntry(out, node, pageOffset[entry.page],
                           static_cast<std::int32_t>(pageEntries[entry.page].size() * kEntrySize), -1);
            else
                StoreEntry(out, node, node.chunkOffset, static_cast<std::int32_t>(node.chunkSize),
                           static_cast<std::int32_t>(node.pointCount));
            out += kEntrySize;
        }
    }
    pages.rootPageSize = pageEntries.front().size() * kEntrySize;
    pages.pageCount = pageEntries.size();
    return pages;
}

}  // namespace copcwrite
