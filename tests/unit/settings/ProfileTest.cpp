#include "settings/Profile.h"

#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good());
}

struct stat statOf(const std::string &path)
{
    struct stat st = {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

std::vector<std::string> entries(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ProfileFiles : public testing::Test
{
protected:
    TempDir dir;
    std::string ini() const { return dir.path() + "/klingelwacht.INI"; }
};

TEST_F(ProfileFiles, BareNameIsReadFromProgramDir)
{
    writeFile(dir.path() + "/Telefon.INI", "[Setup]\nMSN1=45\n");
    EXPECT_EQ(IniGet("Telefon", "Setup", "MSN1", dir.path()), "45");
    EXPECT_EQ(IniGet("Telefon", "Setup", "MSN1", dir.path() + "/"), "45");
    EXPECT_EQ(IniGet(dir.path() + "/Telefon", "Setup", "MSN1", "/nonexistent"), "45");
}

TEST_F(ProfileFiles, MissingFileGivesEmpty)
{
    EXPECT_EQ(IniGet("klingelwacht.INI", "Setup", "MSN1", dir.path()), "");
    EXPECT_EQ(IniGet("klingelwacht.INI", "Setup", "MSN1", dir.path() + "/missing"), "");
}

TEST_F(ProfileFiles, LongValueIsCut)
{
    writeFile(ini(), "[Setup]\r\nMSN1=" + std::string(300, '7') + "\r\n");
    EXPECT_EQ(IniGet("klingelwacht.INI", "Setup", "MSN1", dir.path()), std::string(255, '7'));
}

TEST_F(ProfileFiles, DirectoryGivesEmpty)
{
    fs::create_directory(ini());
    EXPECT_EQ(IniGet("klingelwacht.INI", "Setup", "MSN1", dir.path()), "");
    IniDel("klingelwacht.INI", "Setup", "MSN1", dir.path());
    EXPECT_TRUE(fs::is_directory(ini()));
}

// A FIFO must not make start-up wait for a writer that never comes.
TEST_F(ProfileFiles, FifoGivesEmptyWithoutBlocking)
{
    ASSERT_EQ(::mkfifo(ini().c_str(), 0600), 0);
    EXPECT_EQ(IniGet("klingelwacht.INI", "Setup", "MSN1", dir.path()), "");
    IniDel("klingelwacht.INI", "Setup", "MSN1", dir.path());
}

TEST_F(ProfileFiles, NameWithNulGivesEmpty)
{
    writeFile(ini(), "[Setup]\nMSN1=45\n");
    EXPECT_EQ(IniGet("klingelwacht.INI\0x"s, "Setup", "MSN1", dir.path()), "");
}

TEST_F(ProfileFiles, BinaryGarbage)
{
    std::mt19937 rng(7);
    std::string garbage(1 << 16, '\0');
    for (char &c : garbage)
        c = static_cast<char>(rng());
    writeFile(ini(), garbage);
    EXPECT_EQ(IniGet("klingelwacht.INI", "Setup", "MSN1", dir.path()), "");
    writeFile(ini(), garbage + "\n[Setup]\nMSN1=45\n");
    EXPECT_EQ(IniGet("klingelwacht.INI", "Setup", "MSN1", dir.path()), "45");
}

TEST_F(ProfileFiles, TenMegabyteFile)
{
    std::string big;
    big.reserve(10u << 20);
    big += "[Setup]\n";
    while (big.size() < (10u << 20))
        big += "; Fuellzeile mit etwas Text, damit die Datei gross wird\n";
    big += "MSN1=45\n";
    writeFile(ini(), big);
    EXPECT_EQ(IniGet("klingelwacht.INI", "Setup", "MSN1", dir.path()), "45");
    IniDel("klingelwacht.INI", "Setup", "MSN1", dir.path());
    EXPECT_EQ(readFile(ini()), big.substr(0, big.size() - 8));
}

TEST_F(ProfileFiles, SymlinkIsFollowed)
{
    writeFile(dir.path() + "/real.txt", "[Setup]\nMSN1=45\nMSN2=67\n");
    fs::create_symlink("real.txt", ini());
    EXPECT_EQ(IniGet("klingelwacht.INI", "Setup", "MSN2", dir.path()), "67");
    IniDel("klingelwacht.INI", "Setup", "MSN1", dir.path());
    EXPECT_TRUE(fs::is_symlink(ini()));
    EXPECT_EQ(readFile(dir.path() + "/real.txt"), "[Setup]\nMSN2=67\n");
}

TEST_F(ProfileFiles, DeleteLeavesEveryOtherByte)
{
    const std::string before = "; Klingelwacht\r\n[Setup]\r\nMSN1 = 45\r\nmsn2=\"67\"\r\n"
                               "\r\n[Other]\r\nMSN1=9\r\n\xe4\xf6\xfc\0tail"s;
    writeFile(ini(), before);
    ASSERT_EQ(::chmod(ini().c_str(), 0640), 0);
    IniDel("klingelwacht", "SETUP", "msn1", dir.path());
    EXPECT_EQ(
        readFile(ini()),
        "; Klingelwacht\r\n[Setup]\r\nmsn2=\"67\"\r\n\r\n[Other]\r\nMSN1=9\r\n\xe4\xf6\xfc\0tail"s);
    EXPECT_EQ(statOf(ini()).st_mode & 07777, 0640u);
    // No temporary file is left behind.
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"klingelwacht.INI"});
    EXPECT_EQ(IniGet("klingelwacht", "Setup", "MSN1", dir.path()), "");
    EXPECT_EQ(IniGet("klingelwacht", "Setup", "MSN2", dir.path()), "67");
    EXPECT_EQ(IniGet("klingelwacht", "Other", "MSN1", dir.path()), "9");
}

// Nothing to delete: the file is not rewritten (same inode, same bytes, same time).
TEST_F(ProfileFiles, DeleteOfMissingKeyOrSectionDoesNotRewrite)
{
    const std::string before = "[Setup]\nMSN1=45\n;MSN2=67\n";
    writeFile(ini(), before);
    const struct stat st = statOf(ini());
    IniDel("klingelwacht", "Setup", "MSN2", dir.path());
    IniDel("klingelwacht", "Other", "MSN1", dir.path());
    const struct stat after = statOf(ini());
    EXPECT_EQ(after.st_ino, st.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, st.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, st.st_mtim.tv_nsec);
    EXPECT_EQ(readFile(ini()), before);
}

TEST_F(ProfileFiles, DeleteOfMissingFileCreatesNothing)
{
    IniDel("klingelwacht", "Setup", "MSN1", dir.path());
    IniDel("", "Setup", "MSN1", dir.path());
    EXPECT_TRUE(entries(dir.path()).empty());
}

// The temporary file's name must not grow from the original's: a 250-byte name is legal.
TEST_F(ProfileFiles, DeleteWorksForLongestNames)
{
    const std::string name = std::string(251, 'k') + ".INI";
    writeFile(dir.path() + "/" + name, "[Setup]\nMSN1=45\nMSN2=67\n");
    IniDel(name, "Setup", "MSN1", dir.path());
    EXPECT_EQ(readFile(dir.path() + "/" + name), "[Setup]\nMSN2=67\n");
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{name});
}

// A write replaces the file whole, mode kept, through a symbolic link, with no temporary
// file left behind; a write of the value already there does not touch the file at all.
TEST_F(ProfileFiles, SetReplacesTheFileOrLeavesItAlone)
{
    writeFile(ini(), "; c\r\n[Setup]\r\nMSN1 = 45\r\n");
    ::chmod(ini().c_str(), 0640);
    fs::create_symlink(ini(), dir / "link.INI");
    EXPECT_FALSE(IniSet("link", "Setup", "MSN1", "46", dir.path()));
    EXPECT_EQ(readFile(ini()), "; c\r\n[Setup]\r\nMSN1 = 46\r\n");
    EXPECT_EQ(statOf(ini()).st_mode & 07777, 0640u);
    EXPECT_TRUE(fs::is_symlink(dir / "link.INI"));
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"klingelwacht.INI", "link.INI"}));

    const struct stat st = statOf(ini());
    EXPECT_FALSE(IniSetAll("klingelwacht", {{"setup", "msn1", "46"}}, dir.path()));
    EXPECT_EQ(statOf(ini()).st_ino, st.st_ino);
    EXPECT_EQ(statOf(ini()).st_mtim.tv_nsec, st.st_mtim.tv_nsec);
}

TEST_F(ProfileFiles, SetCreatesAMissingFile)
{
    EXPECT_FALSE(IniSet("klingelwacht", "Anrufmonitor", "Host", "fritz.box", dir.path()));
    EXPECT_EQ(readFile(ini()), "[Anrufmonitor]\nHost=fritz.box\n");
}

// A file that cannot be replaced reports why and stays as it was, for root too.
TEST_F(ProfileFiles, SetFailureIsReportedAndChangesNothing)
{
    fs::create_directory(dir / "sub");
    writeFile((dir / "sub" / "klingelwacht.INI").string(), "[S]\nk=1\n");
    // No temporary file can be made in /proc.
    EXPECT_TRUE(IniSet("klingelwacht", "S", "k", "2", "/proc/self"));
    fs::create_directory(dir / "klingelwacht.INI");
    EXPECT_TRUE(IniSet("klingelwacht", "S", "k", "2", dir.path()));
    EXPECT_EQ(IniSet("klingelwacht", "S", "k", "a\nb", (dir / "sub").string()),
              std::errc::invalid_argument);
    EXPECT_EQ(readFile(dir / "sub" / "klingelwacht.INI"), "[S]\nk=1\n");
}

// The example shipped in the repository reads as its comments say.
TEST(ExampleIni, ReadsAsDocumented)
{
    const std::string path = KW_EXAMPLE_INI;
    EXPECT_EQ(IniGet(path, "Setup", "MSN1", "/nonexistent"), "4711");
    EXPECT_EQ(IniGet(path, "Setup", "MSN2", "/nonexistent"), "4712");
    EXPECT_EQ(IniGet(path, "Setup", "MSN3", "/nonexistent"), "");
}

} // namespace
