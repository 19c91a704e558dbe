#pragma once

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

/// Append-only storage of text rows in large blocks: one allocation per block instead
/// of one per row, so a log of a million calls costs little more than its size.
///
/// Loading a large log is bound by first touches of fresh memory, so the blocks of text
/// and the chunks of row spans grow geometrically up to 2 MiB and, from there on,
/// ask for transparent huge pages; nothing stored is ever copied on growth. A small
/// log keeps small blocks.
class RowStore
{
public:
    using Id = std::uint32_t;

    RowStore() = default;
    RowStore(const RowStore &) = delete;
    RowStore &operator=(const RowStore &) = delete;

    Id add(std::string_view text);
    std::string_view view(Id id) const
    {
        // Chunk k holds kFirstChunk << k records.
        const std::uint64_t slot = std::uint64_t(id) + kFirstChunk;
        const std::size_t k = std::bit_width(slot) - 1 - kFirstChunkShift;
        const Span &s = m_spans[k].get()[slot - (kFirstChunk << k)];
        return {s.data, s.size};
    }
    std::size_t size() const { return m_count; }

private:
    struct Span
    {
        const char *data;
        std::uint32_t size;
    };
    struct Free
    {
        void operator()(void *p) const { std::free(p); }
    };
    static constexpr std::size_t kFirstBlock = 64 * 1024;
    static constexpr std::size_t kHugeBlock = 2 * 1024 * 1024;
    static constexpr std::size_t kFirstChunkShift = 12;
    static constexpr std::uint64_t kFirstChunk = std::uint64_t(1) << kFirstChunkShift;

    /// size bytes aligned to their size (a power of two), huge pages from 2 MiB.
    static void *allocate(std::size_t size);

    std::vector<std::unique_ptr<char[], Free>> m_blocks;
    std::size_t m_blockSize = 0; // size of the last block
    std::size_t m_used = 0;      // bytes used in the last block
    std::vector<std::unique_ptr<Span[], Free>> m_spans;
    std::size_t m_count = 0;
};
