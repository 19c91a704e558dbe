#include "app/FirstStart.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

LinePaths LinePaths::ofThisSystem()
{
    const char *home = std::getenv("HOME");
    LinePaths paths;
    paths.capi20rc = std::string(home ? home : "") + "/.capi20rc";
    return paths;
}

namespace {

bool exists(const std::string &path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// A line "REMOTE <module> <host> <port>" that is not a "#" comment.
bool namesRemote(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first;
        if (words >> first && first == "REMOTE")
            return true;
    }
    return false;
}

} // namespace

bool isAnyLineConfigured(const LinePaths &paths, std::string_view monitorHost)
{
    return !monitorHost.empty() || exists(paths.capi20rc) || namesRemote(paths.capi20conf) ||
           exists(paths.capiDevice);
}
