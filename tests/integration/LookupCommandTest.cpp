// klingelwacht --lookup against its own copy with a settings file and a vCard folder: what
// it prints for each kind of caller, with no display, and that it leaves the program's
// files (log, lock) alone.
#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class LookupCommandTest : public testing::Test
{
protected:
    void SetUp() override
    {
        fs::copy_file(KW_KLINGELWACHT_PATH, dir / "klingelwacht");
        fs::create_directories(dir / "Kontakte" / "Arbeit");
        std::ofstream(dir / "Kontakte" / "anna.vcf")
            << "BEGIN:VCARD\nVERSION:3.0\nFN:Anna Beispiel\nTEL:+49 30 1234567\nEND:VCARD\n";
        std::ofstream(dir / "Kontakte" / "Arbeit" / "firma.vcf")
            << "BEGIN:VCARD\nVERSION:4.0\nFN:Firma Beispiel\nTEL;VALUE=uri:tel:+49-711-9876;ext=0\n"
               "END:VCARD\n";
        std::ofstream(dir / "klingelwacht.INI")
            << "[Telefonbuch]\nvCard1=~/Kontakte\nOrtsvorwahl=030\nLandesvorwahl=49\n";
    }

    std::string lookup(const std::string &number)
    {
        ChildProcess program;
        const std::string out = (dir / ("lookup" + std::to_string(++m_runs) + ".out")).string();
        program.start({(dir / "klingelwacht").string(), "--lookup", number},
                      {"HOME=" + dir.path(), "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, out,
                      (dir / "lookup.err").string(), dir.path());
        EXPECT_EQ(program.wait(std::chrono::seconds(20)), 0) << readFile(dir / "lookup.err");
        return readFile(out);
    }

    TempDir dir;
    int m_runs = 0;
};

TEST_F(LookupCommandTest, PrintsKeyNameSourceAndHowItMatched)
{
    const std::string anna = (dir / "Kontakte" / "anna.vcf").string();
    const std::string firma = (dir / "Kontakte" / "Arbeit" / "firma.vcf").string();
    const std::pair<const char *, std::string> cases[] = {
        {"0301234567", "Nummer: +49301234567 (030 1234567)\nName: Anna Beispiel\nQuelle: " + anna +
                           "\nEintrag: " + anna + ":4 (+49 30 1234567)\nTreffer: genau\n"},
        {"1234567", "Nummer: +49301234567 (030 1234567)\nName: Anna Beispiel\nQuelle: " + anna +
                        "\nEintrag: " + anna +
                        ":4 (+49 30 1234567)\nTreffer: mit der eigenen Ortsvorwahl\n"},
        {"01019 07119876123",
         "Nummer: +497119876123 (0711 9876123)\nName: Firma Beispiel (Durchwahl 123)\nQuelle: " +
             firma + "\nEintrag: " + firma +
             ":4 (+49-711-9876-0)\nTreffer: Zentrale +49-711-9876-0 mit Durchwahl 123\n"},
        {"089 1234567", "Nummer: +49891234567 (089 1234567)\nkein Eintrag\nOrt: München\n"},
        {"0043 1 234567", "Nummer: +431234567 (+43 1 234567)\nkein Eintrag\nOrt: Österreich\n"},
        {"Unbekannt", "Nummer: keine Rufnummer (Unbekannt)\nkein Eintrag\n"},
    };
    for (const auto &[number, expected] : cases)
        EXPECT_EQ(lookup(number), expected) << number;
    EXPECT_FALSE(fs::exists(dir / "caller.log"));
    // The instance lock of a running program is never taken (nor created).
    for (const auto &entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find("lock"), std::string::npos);
}

} // namespace
