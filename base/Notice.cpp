#include "base/Notice.h"

#include "base/FdIo.h"

#include <string>
#include <unistd.h>

// One write per notice where the pipe takes it; the rest follows as it can, and a stderr
// that takes nothing loses the notice rather than stopping the program.
void notice(std::string_view text)
{
    std::string message = "Klingelwacht: ";
    message.append(text);
    message += '\n';
    writeAll(STDERR_FILENO, message);
}

void noticeVerbatim(std::string_view text)
{
    writeAll(STDERR_FILENO, text);
}
