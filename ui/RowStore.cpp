#include "ui/RowStore.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sys/mman.h>

void *RowStore::allocate(std::size_t size)
{
    const std::size_t alignment = std::min(size, kHugeBlock);
    void *p = std::aligned_alloc(alignment, size);
    if (!p)
        throw std::bad_alloc();
    if (size >= kHugeBlock)
        ::madvise(p, size, MADV_HUGEPAGE); // a hint; without it the pages are just smaller
    return p;
}

RowStore::Id RowStore::add(std::string_view text)
{
    const char *data = nullptr;
    if (!text.empty()) {
        // Blocks are not zeroed: every byte handed out is written first.
        if (text.size() > kFirstBlock / 4) {
            // A long row gets a block of its own; the current block stays open.
            std::unique_ptr<char[], Free> block(static_cast<char *>(std::malloc(text.size())));
            if (!block)
                throw std::bad_alloc();
            std::memcpy(block.get(), text.data(), text.size());
            data = block.get();
            m_blocks.insert(m_blocks.end() - (m_blocks.empty() ? 0 : 1), std::move(block));
        } else {
            if (m_used + text.size() > m_blockSize) {
                const std::size_t size =
                    m_blockSize ? std::min(m_blockSize * 2, kHugeBlock) : kFirstBlock;
                m_blocks.emplace_back(static_cast<char *>(allocate(size)));
                m_blockSize = size;
                m_used = 0;
            }
            char *dst = m_blocks.back().get() + m_used;
            std::memcpy(dst, text.data(), text.size());
            m_used += text.size();
            data = dst;
        }
    }
    const std::uint64_t slot = std::uint64_t(m_count) + kFirstChunk;
    const std::size_t k = std::bit_width(slot) - 1 - kFirstChunkShift;
    if (k == m_spans.size())
        m_spans.emplace_back(static_cast<Span *>(
            allocate(sizeof(Span) * static_cast<std::size_t>(kFirstChunk << k))));
    m_spans[k].get()[slot - (kFirstChunk << k)] = {data, static_cast<std::uint32_t>(text.size())};
    return static_cast<Id>(m_count++);
}
