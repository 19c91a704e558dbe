#pragma once

#include <memory>
#include <string>

class Phonebook;

/// "klingelwacht --lookup NUMBER": prints on stdout what the address books say of NUMBER
/// as a caller (its key, the name or place, the source and entry, how it matched), with
/// the program's settings and without a display, the instance lock or the log. Returns
/// the exit status.
int runLookupCommand(int argc, char *argv[]);

/// The address books as the settings file in programDir names them, loaded now on this
/// thread, the router's from their copy on disk (a command never asks the router); none
/// without a [Telefonbuch] section.
std::unique_ptr<Phonebook> loadPhonebookNow(const std::string &iniFile,
                                            const std::string &programDir);
