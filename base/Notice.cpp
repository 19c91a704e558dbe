#include "base/Notice.h"

#include "base/FdIo.h"

#include <string>
#include <unistd.h>

// One write per notice where the pipe takes it; the rest follows as it can, and a stderr
// that takes nothing loses the notice rather than stopping the program.
void notice(std::string_view text)
{
    std::string line = "Klingelwacht: ";
    line.append(text);
    line += '\n';
    writeAll(STDERR_FILENO, line);
}

void noticeVerbatim(std::string_view text)
{
    writeAll(STDERR_FILENO, text);
}
