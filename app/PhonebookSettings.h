#pragma once

#include "phonebook/PhonebookConfig.h"

#include <string>

/// The settings file's section [Telefonbuch]: vCard1 … vCard9 (files or folders, "~/" for
/// the home directory), Router, Ortsvorwahl, Landesvorwahl.
PhonebookConfig readPhonebookSettings(const std::string &iniFile, const std::string &programDir);
