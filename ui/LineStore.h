#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

/// Append-only storage of text lines in large blocks: one allocation per block instead
/// of one per line, so a log of a million calls costs little more than its size.
class LineStore
{
public:
    using Id = std::uint32_t;

    Id add(std::string_view text);
    std::string_view view(Id id) const
    {
        const Span &s = m_spans[id];
        return {s.data, s.size};
    }
    std::size_t size() const { return m_spans.size(); }

private:
    struct Span
    {
        const char *data;
        std::uint32_t size;
    };
    static constexpr std::size_t kBlockSize = 256 * 1024;

    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_used = kBlockSize; // bytes used in the last block; full before the first
    std::vector<Span> m_spans;
};
