#pragma once

#include "capi/Capi.h"
#include "capi/CapiResult.h"
#include "tests/fakes/CapiMessages.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

/// CAPI that hands out queued messages and records every put, register and release; it
/// confirms a LISTEN_REQ as a controller would.
class FakeCapi final : public Capi
{
public:
    std::uint32_t nextApplId = 1;
    std::uint32_t registerResult = 0;
    std::uint32_t putResult = 0;
    /// What a fetch answers while the queue is empty (a lost line answers otherwise).
    std::uint32_t emptyResult = CapiResult::QueueEmpty;
    std::deque<std::vector<std::uint8_t>> queue;
    std::vector<std::vector<std::uint8_t>> puts;
    int registerCalls = 0;
    int releaseCalls = 0;
    int getCalls = 0;
    std::uint32_t releasedApplId = 0;
    /// A LISTEN_REQ is confirmed with this Info, unless answerListen is false.
    bool answerListen = true;
    std::uint16_t listenInfo = 0;

    void queueMessage(std::vector<std::uint8_t> message) { queue.push_back(std::move(message)); }

    std::uint32_t CAPI_REGISTER(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                std::uint32_t &applId) override
    {
        ++registerCalls;
        if (registerResult == 0)
            applId = nextApplId;
        return registerResult;
    }
    std::uint32_t CAPI_PUT_MESSAGE(std::uint32_t, std::span<const std::uint8_t> message) override
    {
        puts.emplace_back(message.begin(), message.end());
        if (answerListen && putResult == 0 && message.size() > HeaderOffset::Subcommand &&
            message[HeaderOffset::Command] == CapiCommand::Listen &&
            message[HeaderOffset::Subcommand] == CapiSubcommand::Req)
            queue.push_back(msg::listenConf(listenInfo));
        return putResult;
    }
    std::uint32_t CAPI_GET_MESSAGE(std::uint32_t, CapiMessage &message) override
    {
        ++getCalls;
        if (queue.empty())
            return emptyResult;
        // Exactly the message's bytes on the heap, so ASan sees any read past them.
        m_current = std::move(queue.front());
        queue.pop_front();
        m_buffer = std::make_unique<std::uint8_t[]>(m_current.size() ? m_current.size() : 1);
        std::copy(m_current.begin(), m_current.end(), m_buffer.get());
        message.data = m_buffer.get();
        message.size = m_current.size();
        return 0;
    }
    std::uint32_t CAPI_RELEASE(std::uint32_t applId) override
    {
        ++releaseCalls;
        releasedApplId = applId;
        return 0;
    }

private:
    std::vector<std::uint8_t> m_current;
    std::unique_ptr<std::uint8_t[]> m_buffer;
};
