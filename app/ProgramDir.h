#pragma once

#include <QString>

/// Where the program keeps caller.log, its settings file and the instance lock: its own
/// directory when the user may write there (a build tree, a copy in the home directory),
/// otherwise, as for an installed program, the per-user data directory dataHome/klingelwacht
/// (created 0700). stderr names that directory. Empty, with the reason on stderr, when
/// neither can be used.
QString chooseProgramDir(const QString &appDir, const QString &dataHome);

/// chooseProgramDir with the executable's directory and the user's data directory
/// (XDG_DATA_HOME, else ~/.local/share).
QString chooseProgramDir();

/// The directory chooseProgramDir() would choose, found without a QCoreApplication and
/// without creating or saying anything: for commands that read beside the running program.
QString existingProgramDir();
