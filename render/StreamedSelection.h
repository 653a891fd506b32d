#pragma once

#include "render/NodeSelection.h"
#include "scene/StreamedCloud.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// Where a streamed node's points are: in memory, still to be read, or never to be had (its
// chunk is damaged).
enum class NodeAvailability { Loaded, Missing, Unavailable };
using NodeAvailabilityOf = std::function<NodeAvailability(std::size_t node)>;

// What one frame draws of a streamed cloud, and what it would draw if it had it.
struct StreamedSelection {
    std::vector<std::uint32_t> drawn;    // in the order taken: largest projected size first
    std::vector<std::uint32_t> missing;  // wanted but not loaded, most wanted first
    std::uint64_t drawnPoints = 0;
};

// A streamed cloud's nodes as WalkNodesLargestFirst takes them: those meeting the frustum,
// largest projected size first, while the next still fits the budget. A missing node takes its
// share of the budget and is asked for, and is drawn as its parent meanwhile: neither it nor
// anything below it is drawn. An unavailable node and everything below it is left out.
StreamedSelection SelectStreamedNodes(std::span<const StreamedNode> nodes, const SelectionView& view,
                                      std::uint64_t pointBudget, const NodeAvailabilityOf& availability);
