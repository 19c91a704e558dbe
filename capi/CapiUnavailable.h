#pragma once

#include <stdexcept>
#include <string>

/// Raised by a CAPI adapter when the CAPI library itself cannot be used.
class CapiUnavailable : public std::runtime_error
{
public:
    explicit CapiUnavailable(const std::string &what) : std::runtime_error(what) {}
};
