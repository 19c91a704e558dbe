#pragma once

#include "phonebook/PhonebookEntry.h"

#include <QByteArray>

#include <string>
#include <vector>

/// Reads the router's phonebook XML (`phonebooks/phonebook/contact`): every
/// `telephony/number` of a contact becomes an entry named by its `person/realName`.
class PhonebookXmlReader
{
public:
    struct Result
    {
        std::vector<PhonebookBook> books; // one per <phonebook>, in the file's order
        int unnamed = 0;                  // contacts with numbers but no name, left out
        /// Own area and country code, when the file carries them (the disk copy does).
        std::string areaCode;
        std::string countryCode;
        /// Empty when the document was read to its end; else where and why it broke off
        /// ("Zeile 3, Spalte 7: …"). The books hold what came before the damage.
        std::string error;
    };

    /// Decodes by the XML declaration's encoding (old firmware writes ISO-8859-1). A book
    /// without a name attribute is called `fallbackName`. Namespaces are not processed: the
    /// router can write an `xsi:` prefix it never declares.
    static Result read(const QByteArray &xml, const std::string &fallbackName);

    /// The source text of a router book: "Router: <name>".
    static std::string sourceName(const std::string &bookName);
};
