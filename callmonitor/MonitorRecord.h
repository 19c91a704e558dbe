#pragma once

#include <cstdint>
#include <string>

/// One line of the router's call monitor that the program acts on. The texts are the
/// router's bytes as they stand; the call tracking makes them safe for a CallLine.
struct MonitorRecord
{
    enum class Kind {
        Ring,       // an incoming call rings
        Connect,    // a call was answered at an extension
        Disconnect, // a call ended
        Call,       // an outgoing call is dialled
    };
    Kind kind = Kind::Ring;
    std::uint32_t connection = 0; // the router's connection id, reused after its DISCONNECT
    std::string caller;           // RING: the caller's number, empty when withheld
    std::string called;           // RING: the own number that was called
    std::string extension;        // CONNECT, CALL: the extension
};
