#include "phonebook/PhonebookConfig.h"

std::string PhonebookConfig::expandHome(const std::string &path, const std::string &home)
{
    if (path == "~")
        return home;
    if (path.rfind("~/", 0) == 0)
        return home + path.substr(1);
    return path;
}
