#pragma once

/// Receives the indications that concern calls. Each reads the fetched message through
/// the CapiState's message and header, within the same tick.
class CallHandler
{
public:
    virtual ~CallHandler() = default;
    virtual void onConnectInd() = 0;
    virtual void onDisconnectInd() = 0;
    /// The line was lost: the calls open at that moment will never be cleared.
    virtual void onLineLost() {}
};
