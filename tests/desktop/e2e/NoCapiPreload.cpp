// Preloaded into the program to make libcapi20 impossible to load, as on a machine
// without it; every other dlopen goes through.
#include <cstring>
#include <dlfcn.h>

extern "C" void *dlopen(const char *file, int mode)
{
    using DlopenFn = void *(*)(const char *, int);
    static const auto real = reinterpret_cast<DlopenFn>(dlsym(RTLD_NEXT, "dlopen"));
    if (file && std::strstr(file, "libcapi20"))
        return nullptr;
    return real(file, mode);
}
