#include "LineStore.h"

#include <cstring>

LineStore::Id LineStore::add(std::string_view text)
{
    const char *data = nullptr;
    if (!text.empty()) {
        if (text.size() > kBlockSize / 4) {
            // A long line gets a block of its own; the current block stays open.
            auto block = std::make_unique<char[]>(text.size());
            std::memcpy(block.get(), text.data(), text.size());
            data = block.get();
            m_blocks.insert(m_blocks.end() - (m_blocks.empty() ? 0 : 1), std::move(block));
        } else {
            if (m_used + text.size() > kBlockSize) {
                m_blocks.push_back(std::make_unique<char[]>(kBlockSize));
                m_used = 0;
            }
            char *dst = m_blocks.back().get() + m_used;
            std::memcpy(dst, text.data(), text.size());
            m_used += text.size();
            data = dst;
        }
    }
    m_spans.push_back({data, static_cast<std::uint32_t>(text.size())});
    return static_cast<Id>(m_spans.size() - 1);
}
