#pragma once

#include "convert/OctreeKey.h"
#include "convert/SpillFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ThreadPool;

namespace octree {

// The octree's cells at this level (8^6 of them) are the buckets points are sorted into.
inline constexpr int kBucketLevel = 6;
inline constexpr std::size_t kBucketCount = std::size_t{1} << (3 * kBucketLevel);

// A chunk's records: where they are and which of them belong to it, in source order within
// each bucket.
struct BucketRecords {
    const unsigned char* base = nullptr;
    std::vector<std::uint32_t> rows;       // record numbers from base
    std::unique_ptr<unsigned char[]> loaded;  // the records read back from the scratch file
    std::uint64_t capacity = 0;               // records loaded can hold
};

// Holds the records of a cloud by bucket, in memory while they fit in `memoryPoints`
// records, otherwise in runs of that many records, each sorted by bucket and written to a
// scratch file but the last. Which it is changes where the records are, never their order: a
// bucket's records come back in the order they were added.
class PointBuckets {
public:
    // pool (may be null) shares out the sorting of a run.
    PointBuckets(const CubeFrame& frame, std::uint16_t recordLength, std::uint64_t totalPoints, std::uint64_t memoryPoints,
                 std::string spillFolder, ThreadPool* pool);

    // Adds count records (of recordLength bytes). False, with Error, when the scratch file fails.
    bool Add(const unsigned char* records, std::size_t count);
    // Room for up to `wanted` records to be written in place (the arena spilled first when it
    // is full), then Filled with how many were: Add without a copy. Null, with Error, when the
    // scratch file fails or a cloud said to fit grows past its size.
    unsigned char* Room(std::size_t wanted, std::size_t& granted);
    void Filled(std::size_t count) { m_arenaPoints += count; }
    // After the last record. The last run stays in memory.
    void Finish();

    bool Spilled() const { return m_spill != nullptr; }
    const std::string& Error() const { return m_error; }
    // How many records each bucket holds.
    const std::vector<std::uint64_t>& Counts() const { return m_counts; }

    // The records of buckets [first, end).
    bool Load(std::size_t first, std::size_t end, BucketRecords& out);

private:
    struct Run {
        bool inMemory = false;    // the arena, listed by m_order
        std::uint64_t spillOffset = 0;
        std::vector<std::uint32_t> bucketStart;  // kBucketCount + 1 entries
    };

    Run SortArena();
    bool SpillArena();
    std::size_t BucketOf(const unsigned char* record) const;

    CubeFrame m_frame;
    std::uint16_t m_recordLength;
    std::uint64_t m_runPoints;
    bool m_fits = false;  // the whole cloud stays in the arena
    std::string m_spillFolder;
    ThreadPool* m_pool;
    std::unique_ptr<unsigned char[]> m_arena;
    std::uint64_t m_arenaPoints = 0;
    std::vector<std::uint32_t> m_order;  // the arena's record numbers, by bucket
    std::vector<Run> m_runs;
    std::unique_ptr<SpillFile> m_spill;
    std::vector<std::uint64_t> m_counts;
    std::string m_error;
};

}  // namespace octree
