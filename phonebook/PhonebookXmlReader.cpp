#include "phonebook/PhonebookXmlReader.h"

#include <QXmlStreamReader>

namespace {

std::string text(QStringView s)
{
    return s.trimmed().toString().toStdString();
}

/// The contact's name and numbers until its end tag.
void readContact(QXmlStreamReader &xml, const std::string &bookName, PhonebookBook &book,
                 int &unnamed)
{
    std::string name;
    std::vector<std::string> numbers;
    // The elements open inside the contact: only person/realName and telephony/number count,
    // not a <number> or <realName> under services or setup.
    QStringList path;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (path.isEmpty())
                break;
            path.removeLast();
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QStringView tag = xml.name();
        const bool isName = path.size() == 1 && path[0] == u"person" && tag == u"realName";
        const bool isNumber = path.size() == 1 && path[0] == u"telephony" && tag == u"number";
        if (isName || isNumber) {
            std::string value = text(xml.readElementText(QXmlStreamReader::IncludeChildElements));
            if (isName)
                name = std::move(value);
            else if (!value.empty())
                numbers.push_back(std::move(value));
            continue;
        }
        path.append(tag.toString());
    }
    if (numbers.empty())
        return;
    if (name.empty()) {
        ++unnamed;
        return;
    }
    for (auto &n : numbers)
        book.entries.push_back({name, std::move(n), bookName});
}

} // namespace

std::string PhonebookXmlReader::sourceName(const std::string &bookName)
{
    return "Router: " + bookName;
}

PhonebookXmlReader::Result PhonebookXmlReader::read(const QByteArray &bytes,
                                                    const std::string &fallbackName)
{
    Result result;
    QXmlStreamReader xml(bytes);
    xml.setNamespaceProcessing(false);
    PhonebookBook *book = nullptr;
    std::string bookName;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView tag = xml.name();
        if (tag == u"phonebooks") {
            const auto attrs = xml.attributes();
            result.areaCode = text(attrs.value(QLatin1StringView("areaCode")));
            result.countryCode = text(attrs.value(QLatin1StringView("countryCode")));
        } else if (tag == u"phonebook") {
            bookName = text(xml.attributes().value(QLatin1StringView("name")));
            if (bookName.empty())
                bookName = fallbackName;
            result.books.push_back({sourceName(bookName), {}});
            book = &result.books.back();
        } else if (tag == u"contact") {
            // A contact outside any <phonebook> (a bare export) belongs to an unnamed book.
            if (!book) {
                bookName = fallbackName;
                result.books.push_back({sourceName(bookName), {}});
                book = &result.books.back();
            }
            readContact(xml, bookName, *book, result.unnamed);
        }
    }
    if (xml.hasError())
        result.error = "Zeile " + std::to_string(xml.lineNumber()) + ", Spalte " +
                       std::to_string(xml.columnNumber()) + ": " + xml.errorString().toStdString();
    return result;
}
