#pragma once

/// "klingelwacht --lookup NUMBER": prints on stdout what the address books say of NUMBER
/// as a caller (its key, the name or place, the source and entry, how it matched), with
/// the program's settings and without a display, the instance lock or the log. Returns
/// the exit status.
int runLookupCommand(int argc, char *argv[]);
