#pragma once

#include <filesystem>
#include <string>

/// The whole file as bytes; empty when it cannot be read (a test then fails on what it
/// expected, not here).
std::string readFile(const std::filesystem::path &path);
