#include "phonebook/Tr064Client.h"

#include <gtest/gtest.h>

namespace {

// The phonebook URL as firmware writes it: once escaped as XML demands, or twice.
TEST(Tr064Client, PhonebookUrlFromTheAnswer)
{
    for (const char *written : {"sid=0123abcd&amp;pbid=1", "sid=0123abcd&amp;amp;pbid=1"}) {
        const QByteArray answer =
            QByteArray("<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/"
                       "soap/envelope/\"><s:Body><u:GetPhonebookResponse xmlns:u=\"urn:x\">"
                       "<NewPhonebookName>Firma</NewPhonebookName><NewPhonebookExtraID>"
                       "</NewPhonebookExtraID><NewPhonebookURL>"
                       "http://192.168.178.1:49000/phonebook.lua?") +
            written + "</NewPhonebookURL></u:GetPhonebookResponse></s:Body></s:Envelope>";
        const auto values = Tr064Client::soapValues(answer);
        EXPECT_EQ(values.at("NewPhonebookName"), "Firma");
        EXPECT_EQ(values.at("NewPhonebookExtraID"), "");
        EXPECT_EQ(Tr064Client::unescapedUrl(values.at("NewPhonebookURL")),
                  "http://192.168.178.1:49000/phonebook.lua?sid=0123abcd&pbid=1")
            << written;
    }
}

} // namespace
