#include "tests/support/ProgramProcess.h"

#include "tests/support/Files.h"

#include <filesystem>

namespace fs = std::filesystem;

void ProgramProcess::startIn(const std::string &dir)
{
    m_dir = dir;
    fs::copy_file(KW_KLINGELWACHT_PATH, dir + "/klingelwacht");
    const std::string runtime = dir + "/runtime";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    start({dir + "/klingelwacht"},
          {"HOME=" + dir, "QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + runtime,
           "DBUS_SESSION_BUS_ADDRESS"},
          dir + "/program.out", dir + "/program.err", dir);
}

std::string ProgramProcess::log() const
{
    return readFile(m_dir + "/caller.log");
}

std::string ProgramProcess::err() const
{
    return readFile(m_dir + "/program.err");
}
