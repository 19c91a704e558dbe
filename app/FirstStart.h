#pragma once

#include <string>
#include <string_view>

/// Where a CAPI line would be configured; paths so that tests can point elsewhere.
struct LinePaths
{
    std::string capi20rc;                        // the user's ~/.capi20rc
    std::string capi20conf = "/etc/capi20.conf"; // REMOTE there names a CAPI peer
    std::string capiDevice = "/dev/capi20";      // a local controller

    /// The paths of this system, the user's file under $HOME.
    static LinePaths ofThisSystem();
};

/// Whether any line is configured: a call monitor host, a ~/.capi20rc, a REMOTE line in
/// /etc/capi20.conf or a CAPI device. Without any, nothing can ever deliver a call.
bool isAnyLineConfigured(const LinePaths &paths, std::string_view monitorHost);
