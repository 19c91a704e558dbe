#include "Profile.h"

std::string IniGet(std::string, std::string_view, std::string_view, const std::string &)
{
    return {};
}

void IniDel(std::string, std::string_view, std::string_view, const std::string &) {}
