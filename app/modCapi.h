#pragma once

#include "app/CallHandling.h"
#include "capi/CapiState.h"
#include "settings/LockKeySignaller.h"
#include "ui/TrayRecord.h"

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
