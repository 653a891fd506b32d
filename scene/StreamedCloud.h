#pragma once

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

class ThreadPool;

// One cell of a cloud read node by node from disk. Children are consecutive in the node list
// and come after their parent (the root is node 0).
struct StreamedNode {
    Eigen::AlignedBox3f bounds;  // the cell, in the cloud's local frame (offsets from its origin)
    std::uint32_t pointCount = 0;
    std::uint32_t firstChild = 0;
    std::uint8_t childCount = 0;
    std::uint8_t depth = 0;  // 0 at the root
};

// The decoded points of one node, in the same frame and colour scale as the whole cloud.
struct NodePoints {
    std::vector<Eigen::Vector3f> positions;
    std::vector<Eigen::Vector4f> colors;  // empty, or one per position

    std::size_t Bytes() const
    {
        return positions.size() * sizeof(Eigen::Vector3f) + colors.size() * sizeof(Eigen::Vector4f);
    }
};

// Decodes one node's points into out; why not, in one line, when it cannot. Called on worker
// threads, several nodes at once.
using NodeDecoder = std::function<std::optional<std::string>(std::size_t node, NodePoints& out)>;

// Bytes a decoded point takes in the cache: a position and a colour.
inline constexpr std::size_t kStreamedPointBytes = sizeof(Eigen::Vector3f) + sizeof(Eigen::Vector4f);

// A quarter of the machine's physical memory: the cache's default budget.
std::size_t DefaultStreamedCacheBudget();

// The node list of a cloud too large to read whole, and a cache of the nodes decoded so far.
// Nodes are decoded on demand on the thread pool, the newest request first, and kept under a
// memory budget: when a decoded node would exceed it, the nodes drawn least recently go (never
// those drawn in the current frame). A node whose decoding fails is remembered as failed,
// logged once and never decoded again. Destruction stops the decoding: requests not started
// are dropped and the ones running are waited for.
class StreamedCloud {
public:
    // pool: where nodes are decoded; it must outlive the cloud. Null: the cloud decodes on a
    // thread of its own. memoryBudget 0: DefaultStreamedCacheBudget().
    StreamedCloud(std::vector<StreamedNode> nodes, NodeDecoder decoder, ThreadPool* pool, std::size_t memoryBudget = 0);
    ~StreamedCloud();
    StreamedCloud(const StreamedCloud&) = delete;
    StreamedCloud& operator=(const StreamedCloud&) = delete;

    const std::vector<StreamedNode>& Nodes() const { return m_nodes; }
    std::uint64_t TotalPoints() const { return m_totalPoints; }
    int Depth() const { return m_depth; }
    std::size_t MemoryBudget() const { return m_budget; }

    // Puts already decoded points in the cache (the node the reader decoded while opening).
    void Insert(std::size_t node, NodePoints points);
    // The node's points when they are in the cache; null otherwise. Nodes without points are
    // always loaded, with nothing in them.
    std::shared_ptr<const NodePoints> Points(std::size_t node) const;
    bool IsLoaded(std::size_t node) const;
    bool HasFailed(std::size_t node) const;
    // Asks for nodes, the most wanted first. Nodes already loaded, queued, decoding or failed
    // are left as they are, except that a queued node moves up to this, the newest, request.
    void Request(std::span<const std::uint32_t> nodes);
    // Starts a frame: the nodes given are drawn in it, which makes them the most recently
    // drawn and keeps them in the cache until a later frame.
    void MarkDrawn(std::span<const std::uint32_t> nodes);
    // Blocks until no request is queued or being decoded.
    void WaitUntilIdle();
    // Called on a worker thread each time a node arrives or fails; empty to stop the calls.
    void SetArrivalCallback(std::function<void()> callback);

    // Whether a draw waits for the nodes it selects to be loaded (the command-line renderer,
    // whose images must not depend on timing) or draws what is there and asks for the rest.
    void SetDrawWaitsForNodes(bool wait) { m_drawWaits = wait; }
    bool DrawWaitsForNodes() const { return m_drawWaits; }

    struct Stats {
        std::size_t loadedNodes = 0;  // nodes with points in the cache
        std::size_t cachedBytes = 0;
        std::size_t decoded = 0;      // decodes finished, successful or not
        std::size_t evicted = 0;
        std::size_t failed = 0;
    };
    Stats GetStats() const;
    // Why nodes failed, one line each, the first few.
    std::vector<std::string> FailureReasons() const;

private:
    enum class State : std::uint8_t { Absent, Queued, Decoding, Loaded, Failed };
    struct Slot {
        std::shared_ptr<const NodePoints> points;
        std::uint64_t lastDrawn = 0;  // frame number
        std::uint64_t queuedAs = 0;   // request stamp while queued
        State state = State::Absent;
    };

    void StartWorkersLocked();
    void DecodeQueued();
    void StoreLocked(std::size_t node, std::shared_ptr<const NodePoints> points);
    void FailLocked(std::size_t node, std::string reason);
    void EvictLocked();
    void NotifyArrival();

    std::vector<StreamedNode> m_nodes;
    NodeDecoder m_decoder;
    std::uint64_t m_totalPoints = 0;
    int m_depth = 0;
    std::size_t m_budget = 0;
    bool m_drawWaits = false;

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    std::vector<Slot> m_slots;
    std::set<std::pair<std::uint64_t, std::uint32_t>> m_queue;  // (stamp, node); the highest stamp goes first
    std::uint64_t m_nextStamp = 1;
    std::uint64_t m_frame = 1;
    std::size_t m_running = 0;  // worker jobs started and not finished
    bool m_stopping = false;
    Stats m_stats;
    std::vector<std::string> m_failureReasons;

    std::mutex m_callbackMutex;
    std::function<void()> m_onArrival;

    std::unique_ptr<ThreadPool> m_ownPool;  // when no pool was given
    ThreadPool* m_pool = nullptr;
};
