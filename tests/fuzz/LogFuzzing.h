// What the log reader's harnesses share: a source that hands out small pieces, and a sink
// that checks and hashes the rows it gets.
#pragma once

#include "base/Utf8.h"
#include "calllog/LogReader.h"
#include "calllog/LogRecordSink.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace fuzzlog {

// Hands the bytes out in pieces of at most chunk bytes.
class ChunkSource final : public ByteSource
{
public:
    ChunkSource(std::string_view bytes, std::size_t chunk) : m_bytes(bytes), m_chunk(chunk) {}
    std::size_t readSome(char *dst, std::size_t max) override
    {
        const std::size_t n = std::min({max, m_chunk, m_bytes.size() - m_pos});
        std::memcpy(dst, m_bytes.data() + m_pos, n);
        m_pos += n;
        return n;
    }

private:
    std::string_view m_bytes;
    std::size_t m_chunk;
    std::size_t m_pos = 0;
};

// Counts and hashes what the load hands out, and keeps the records only when asked to.
class CountingSink final : public LogRecordSink
{
public:
    explicit CountingSink(bool keep = false) : m_keep(keep) {}

    void begin() override
    {
        if (m_open)
            std::abort();
        m_open = true;
    }
    void record(std::string_view line) override
    {
        if (!m_open || !isValidUtf8(line))
            std::abort();
        for (const char c : line) {
            if (c == '\r' || c == '\n')
                std::abort();
            m_hash = (m_hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
        }
        m_hash = (m_hash ^ 0x100u) * 1099511628211u; // the record boundary counts too
        if (m_keep)
            rows.emplace_back(line);
        ++m_count;
    }
    void end() override { m_open = false; }

    int count() const { return m_count; }
    std::uint64_t hash() const { return m_hash; }
    std::vector<std::string> rows;

private:
    bool m_keep;
    bool m_open = false;
    int m_count = 0;
    std::uint64_t m_hash = 14695981039346656037u;
};

} // namespace fuzzlog
