#include "calllog/MissedCall.h"

bool isMissedCall(std::string_view handling)
{
    return handling == "Anrufer hat aufgelegt" || handling == "Verbindung verloren" ||
           handling.starts_with(kAnsweringMachinePrefix);
}
