#include "app/LookupCommand.h"

#include "app/PhonebookSettings.h"
#include "app/ProgramDir.h"
#include "phonebook/Phonebook.h"
#include "phonebook/RouterPhonebook.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <iostream>

namespace {

std::string howMatched(const PhonebookMatch &match)
{
    switch (match.kind) {
    case PhonebookMatchKind::Exact:
        return "genau";
    case PhonebookMatchKind::AreaCode:
        return "mit der eigenen Ortsvorwahl";
    case PhonebookMatchKind::Switchboard:
        return "Zentrale " + match.number + " mit Durchwahl " + match.extension;
    }
    return {};
}

} // namespace

std::unique_ptr<Phonebook> loadPhonebookNow(const std::string &iniFile,
                                            const std::string &programDir)
{
    const PhonebookConfig config = readPhonebookSettings(iniFile, programDir);
    if (!config.isEnabled())
        return nullptr;
    auto phonebook = std::make_unique<Phonebook>(config);
    if (config.router)
        phonebook->setRouterBooks(RouterPhonebook::loadCache(programDir));
    phonebook->loadNow();
    return phonebook;
}

int runLookupCommand(int argc, char *argv[])
{
    if (argc != 3) {
        std::cerr << "Aufruf: klingelwacht --lookup NUMMER\n";
        return 2;
    }
    const std::string number = argv[2];
    QCoreApplication app(argc, argv);
    const QString programDir = chooseProgramDir();
    if (programDir.isEmpty())
        return 1;
    const std::string programName =
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
    const std::string iniFile = programName + ".INI";
    std::unique_ptr<Phonebook> phonebook = loadPhonebookNow(iniFile, programDir.toStdString());
    if (!phonebook) {
        // Without address books a number still gets its key, and a place where one is known.
        phonebook =
            std::make_unique<Phonebook>(readPhonebookSettings(iniFile, programDir.toStdString()));
        phonebook->loadNow();
    }
    const PhonebookAnswer answer = phonebook->lookup(number);

    if (answer.key.empty()) {
        std::cout << "Nummer: keine Rufnummer (" << number << ")\nkein Eintrag\n";
        return 0;
    }
    std::cout << "Nummer: " << answer.key << " (" << answer.national << ")\n";
    if (answer.match) {
        std::cout << "Name: " << answer.match->displayName() << "\n"
                  << "Quelle: " << answer.match->source << "\n"
                  << "Eintrag: " << answer.match->origin << " (" << answer.match->number << ")\n"
                  << "Treffer: " << howMatched(*answer.match) << "\n";
    } else {
        std::cout << "kein Eintrag\n"
                  << "Ort: " << (answer.place.empty() ? "unbekannt" : answer.place) << "\n";
    }
    return 0;
}
