#pragma once

#include "capi/CapiRecords.h"
#include "line/FieldText.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

/// What a CONNECT_IND says about the call, as texts for the CallLine.
struct DecodedCall
{
    std::string msn;    // digits of the Called party number
    std::string caller; // digits of the Calling party number, or a substitute text
};

/// Decodes the called and calling party numbers of a CONNECT_IND's parameter text.
/// Positions that did not arrive with the message are absent; digits that would
/// corrupt a CallLine or the log are replaced by "?".
DecodedCall decodeConnectInd(const ConnectIndRecord &record);

/// The handling text that a DISCONNECT_IND's Reason maps to.
std::string handlingText(std::int16_t reason);
