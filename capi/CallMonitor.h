#pragma once

#include "CallHandler.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>

class CallLog;
class CallViews;
class CapiLine;
class Clock;
class LockKeySignaller;
class Tray;
struct CapiState;
struct TrayRecord;

/// The calls the program follows: the latest one and every call not yet cleared.
struct CallState
{
    struct OpenCall
    {
        std::string line;    // the call's CallLine, four fields
        std::uint64_t order; // how many calls came before it in this run
        int listIndex;       // its item in the hidden list
    };

    /// The CallLine of the latest CONNECT_IND; empty until the first.
    std::string currentCall;
    /// Calls shown but not cleared, by PLCI.
    std::map<std::uint32_t, OpenCall> open;
    /// Calls shown in this run; each one sits one grid row below the calls after it.
    std::uint64_t shown = 0;
};

/// Handles incoming calls and their clearing: the views, the lock keys, the tray
/// tooltip, the log, the counter and the messages CAPI needs in answer.
class CallMonitor final : public CallHandler
{
public:
    /// Open calls beyond this many (never cleared, e.g. the line was lost) are forgotten,
    /// oldest first.
    static constexpr std::size_t kMaxOpenCalls = 64;

    struct Parts
    {
        CapiState &capi;
        CallState &calls;
        CapiLine &line;
        CallViews &views;
        LockKeySignaller &lockKeys;
        Tray &tray;
        TrayRecord &trayRecord;
        CallLog &log;
        const Clock &clock;
        int &callCounter;
    };

    explicit CallMonitor(Parts parts);

    void onConnectInd() override;
    void onDisconnectInd() override;
    /// Calls open when the line went down never complete: they are forgotten.
    void onLineLost() override;

private:
    Parts m;
};
