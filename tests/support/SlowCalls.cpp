#include "tests/support/SlowCalls.h"

#include "tests/support/ChildProcess.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

namespace {

constexpr const char *kSource = R"(#define _GNU_SOURCE
#include <dlfcn.h>
#include <netdb.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static void pauseFor(const char *name)
{
    const char *value = getenv(name);
    const long ms = value ? atol(value) : 0;
    struct timespec left = {ms / 1000, (ms % 1000) * 1000000L};
    while (ms > 0 && nanosleep(&left, &left) != 0) {
    }
}

int fdatasync(int fd)
{
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fdatasync");
    pauseFor("KW_SLOW_FDATASYNC_MS");
    return real(fd);
}

int getaddrinfo(const char *node, const char *service, const struct addrinfo *hints,
                struct addrinfo **res)
{
    const char *slow = getenv("KW_SLOW_HOST");
    if (slow && node && strcmp(node, slow) == 0) {
        pauseFor("KW_SLOW_HOST_MS");
        return EAI_NONAME;
    }
    int (*real)(const char *, const char *, const struct addrinfo *, struct addrinfo **) =
        (int (*)(const char *, const char *, const struct addrinfo *, struct addrinfo **))dlsym(
            RTLD_NEXT, "getaddrinfo");
    return real(node, service, hints, res);
}
)";

} // namespace

std::vector<std::string> SlowCalls::env(const std::string &dir) const
{
    const std::string source = dir + "/slowcalls.c";
    const std::string library = dir + "/slowcalls.so";
    std::ofstream(source) << kSource;
    ChildProcess cc;
    cc.start({"cc", "-shared", "-fPIC", "-O1", "-o", library, source, "-ldl"}, {},
             dir + "/slowcalls.out", dir + "/slowcalls.err");
    if (cc.wait(std::chrono::seconds(60)) != 0)
        throw std::runtime_error("the preload library does not build: " + dir + "/slowcalls.err");
    ::chmod(library.c_str(), 0755);
    // A sanitizer build wants its runtime first; the library goes before it all the same.
    const char *asan = std::getenv("ASAN_OPTIONS");
    return {"LD_PRELOAD=" + library,
            std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                "verify_asan_link_order=0",
            "KW_SLOW_FDATASYNC_MS=" + std::to_string(fdatasyncMs), "KW_SLOW_HOST=" + host,
            "KW_SLOW_HOST_MS=" + std::to_string(hostMs)};
}
