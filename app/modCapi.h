#pragma once

#include "CallHandling.h"
#include "CapiState.h"
#include "LockKeySignaller.h"
#include "TrayRecord.h"

#include <string>

/// The data shared by all handlers, alive for the whole run. One object, owned by the
/// application and handed to the window by reference.
struct modCapi
{
    CapiState capi;
    CallState calls;
    TrayRecord tray;
    LockKeyFlags lockKeys;
};
