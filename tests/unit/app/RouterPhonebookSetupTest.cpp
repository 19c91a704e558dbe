#include "app/RouterPhonebookSetup.h"

#include "tests/support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace {

struct SetupCase
{
    const char *ini;
    const char *expected; // "host port user askCodes", or "" for no router source
};

// Which settings make the router a source, and with what.
TEST(RouterPhonebookSetup, SettingsFromTheFile)
{
    const SetupCase cases[] = {
        {"[Anrufmonitor]\nHost=fritz.box\n[Telefonbuch]\nRouter=1\nBenutzer=fritz1234\n",
         "fritz.box 49000 fritz1234 1"},
        {"[Anrufmonitor]\nHost = 192.168.178.1 \n[telefonbuch]\nrouter=1\nTR064Port=49443\n"
         "Ortsvorwahl=030\n",
         "192.168.178.1 49443  0"},
        {"[Anrufmonitor]\nHost=fritz.box\n[Telefonbuch]\nRouter=1\nTR064Port=70000\n",
         "fritz.box 49000  1"},
        {"[Anrufmonitor]\nHost=fritz.box\n[Telefonbuch]\nRouter=0\n", ""},
        {"[Anrufmonitor]\nHost=fritz.box\n[Telefonbuch]\nvCard1=~/a.vcf\n", ""},
        {"[Telefonbuch]\nRouter=1\nBenutzer=x\n", ""},
    };
    for (const auto &c : cases) {
        TempDir dir;
        std::ofstream(dir / "klingelwacht.INI") << c.ini;
        const auto s = RouterPhonebookSetup::settings("klingelwacht.INI", dir.path());
        const std::string got = s ? s->host + " " + std::to_string(s->port) + " " + s->user + " " +
                                        std::to_string(s->askCodes)
                                  : "";
        EXPECT_EQ(got, c.expected) << c.ini;
        EXPECT_EQ(s ? s->cacheDir : dir.path(), dir.path());
    }
}

} // namespace
