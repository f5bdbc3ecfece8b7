// Default destination resolution (app/destdir.cpp): paths, the temporary-directory
// token and registry references over the stand-in's in-memory registry.
#include <gtest/gtest.h>

#include <string>

#include "app/SFX.h"
#include "app/SFXgbls.h"
#include "app/config.h"
#include "platform/posix/standin.h"

namespace {

const char TEMP[] = "C:\\TEMP\\";

class DestDir : public ::testing::Test {
protected:
    void SetUp() override {
        standin::Reset();
        standin::SetTempPath(TEMP);
        ASSERT_TRUE(ModuleStartup());
    }
    void TearDown() override {
        ModuleShutdown();
        EXPECT_EQ(standin::LiveAllocations(), 0);
        standin::Reset();
    }
    std::string Resolve(const std::string &text) {
        EXPECT_LE(text.size(), 255u);
        text.copy(defaultDirText, text.size());
        defaultDirText[text.size()] = 0;
        ResolveDefaultDir();
        return defaultDirText;
    }
    void Set(HKEY root, const std::string &key, const std::string &name, const std::string &data,
             bool terminator = true, DWORD type = REG_SZ) {
        standin::RegistrySet(root, key, name, data, terminator, type);
    }
};

TEST_F(DestDir, PathsAndTempToken) {
    struct { const char *text, *result; } cases[] = {
        {"C:\\Program Files\\", "C:\\Program Files\\"},
        {"D:\\dest", "D:\\dest"},
        {"relative\\dir", "relative\\dir"},
        {"><", TEMP},
        {"><x", "><x"},
        {"x><", "x><"},
        {"hKLM\\a\\b", "hKLM\\a\\b"},  // not a registry reference: "HK" in capitals only
    };
    for (auto &k : cases) EXPECT_EQ(Resolve(k.text), k.result) << k.text;
}

TEST_F(DestDir, RegistryValues) {
    const std::string k = "Software\\Vendor\\Product";
    Set(HKEY_LOCAL_MACHINE, k, "Path", "C:\\Program Files\\Product");
    Set(HKEY_LOCAL_MACHINE, k, "Slash", "C:\\Program Files\\Product\\");
    Set(HKEY_LOCAL_MACHINE, k, "List", "C:\\First;D:\\Second");
    Set(HKEY_LOCAL_MACHINE, k, "Four", "C:\\");       // 4 bytes with its NUL
    Set(HKEY_LOCAL_MACHINE, k, "Five", "C:\\x");      // 5 bytes
    Set(HKEY_LOCAL_MACHINE, k, "Bare", "D:\\Data", false);
    Set(HKEY_LOCAL_MACHINE, k, "Inner", std::string("C:\\A\0junk", 9));
    Set(HKEY_LOCAL_MACHINE, k, "Token", "><");
    Set(HKEY_LOCAL_MACHINE, k, "", "C:\\Default");
    Set(HKEY_LOCAL_MACHINE, k, "Bar|red", "C:\\Barred");
    Set(HKEY_LOCAL_MACHINE, k, "Lead", ";C:\\After");
    Set(HKEY_CURRENT_USER, "Software\\V", "P", "C:\\User");
    Set(HKEY_USERS, ".DEFAULT\\V", "P", "C:\\Users");
    Set(HKEY_CLASSES_ROOT, "V\\W", "P", "C:\\Classes");
    // By type: expandable text expanded, anything but text is no value.
    standin::SetEnvironmentVariable("ProgramFiles", "C:\\Program Files");
    Set(HKEY_LOCAL_MACHINE, k, "Expand", "%programfiles%\\App;%TEMP%", true, REG_EXPAND_SZ);
    Set(HKEY_LOCAL_MACHINE, k, "Unknown", "%NOPE%\\x", true, REG_EXPAND_SZ);
    Set(HKEY_LOCAL_MACHINE, k, "Huge", "%ProgramFiles%" + std::string(250, 'h'), true, REG_EXPAND_SZ);
    Set(HKEY_LOCAL_MACHINE, k, "Dword", std::string("\x10\x27\0\0", 4), false, 4);
    Set(HKEY_LOCAL_MACHINE, k, "Binary", "C:\\Binary", true, 3);
    Set(HKEY_LOCAL_MACHINE, k, "Multi", "C:\\Multi\0", true, 7);
    struct { const char *text, *result; } cases[] = {
        {"HKLM\\Software\\Vendor\\Product\\Path|Data", "C:\\Program Files\\Product\\Data"},
        {"HKEY_LOCAL_MACHINE\\Software\\Vendor\\Product\\Path", "C:\\Program Files\\Product"},
        {"HKLM\\Software\\Vendor\\Product\\Slash|Data", "C:\\Program Files\\Product\\Data"},
        {"HKLM\\Software\\Vendor\\Product\\Path|Sub\\Two", "C:\\Program Files\\Product\\Sub\\Two"},
        {"HKLM\\Software\\Vendor\\Product\\List", "C:\\First"},
        {"HKLM\\Software\\Vendor\\Product\\List|S", "C:\\First\\S"},
        {"HKLM\\Software\\Vendor\\Product\\Four|Data", TEMP},
        {"HKLM\\Software\\Vendor\\Product\\Five", "C:\\x"},
        {"HKLM\\Software\\Vendor\\Product\\Bare", "D:\\Data"},
        {"HKLM\\Software\\Vendor\\Product\\Inner", "C:\\A"},
        {"HKLM\\Software\\Vendor\\Product\\Token", TEMP},
        {"HKLM\\Software\\Vendor\\Product\\|D", "C:\\Default\\D"},
        {"HKLM\\Software\\Vendor\\Product\\Path|", "C:\\Program Files\\Product\\"},
        {"HKLM\\Software\\Vendor\\Product\\Bar|red|Sub", "C:\\Barred\\Sub"},
        // The threshold counts the registry's bytes, not the text left after ";".
        {"HKLM\\Software\\Vendor\\Product\\Lead", ""},
        {"HKLM\\Software\\Vendor\\Product\\Lead|S", "\\S"},
        {"HKEY_local_machine\\Software\\Vendor\\Product\\Path", TEMP},
        {"HKCU\\Software\\V\\P", "C:\\User"},
        {"HKEY_CURRENT_USER\\Software\\V\\P", "C:\\User"},
        {"HKU\\.DEFAULT\\V\\P", "C:\\Users"},
        {"HKEY_USERS\\.DEFAULT\\V\\P", "C:\\Users"},
        {"HKLM\\Software\\Vendor\\Product\\Expand|Sub", "C:\\Program Files\\App\\Sub"},
        {"HKLM\\Software\\Vendor\\Product\\Unknown", "%NOPE%\\x"},
        {"HKLM\\Software\\Vendor\\Product\\Huge", TEMP},
        {"HKLM\\Software\\Vendor\\Product\\Dword", TEMP},
        {"HKLM\\Software\\Vendor\\Product\\Binary", TEMP},
        {"HKLM\\Software\\Vendor\\Product\\Multi", TEMP},
        // Unusable references: the temporary directory, never the text itself.
        // Only a text beginning with capital "HK" is a reference; "hklm\..." is a
        // path, and a root name in the wrong case is no root.
        {"hklm\\Software\\Vendor\\Product\\Path", "hklm\\Software\\Vendor\\Product\\Path"},
        {"HKlm\\Software\\Vendor\\Product\\Path", TEMP},
        {"HKEY_CLASSES_ROOT\\V\\W\\P", TEMP},
        {"HKCR\\V\\W\\P", TEMP},
        {"HKLM\\Software\\Missing\\Path", TEMP},
        {"HKLM\\Software\\Vendor\\Product\\Missing|Data", TEMP},
        {"HKLM\\Path", TEMP},
        {"HKLM\\Path|A\\B\\C", TEMP},
        {"HKLM", TEMP},
        {"HK", TEMP},
        {"HKLM|Sub", TEMP},
    };
    for (auto &c : cases) EXPECT_EQ(Resolve(c.text), c.result) << c.text;
}

TEST_F(DestDir, LengthLimits) {
    const std::string k = "S\\K";
    std::string v200 = "C:\\" + std::string(197, 'v');
    std::string v300 = "C:\\" + std::string(297, 'w');
    Set(HKEY_CURRENT_USER, k, "V200", v200);
    Set(HKEY_CURRENT_USER, k, "V300", v300);
    // Value and subdirectory together up to 257 characters: appended.
    std::string sub57(57, 's'), sub58(58, 's');
    EXPECT_EQ(Resolve("HKCU\\S\\K\\V200|" + sub57), v200 + "\\" + sub57);
    EXPECT_EQ(Resolve("HKCU\\S\\K\\V200|" + sub58), v200);
    // A value longer than MAX_PATH is cut to 260 characters, no subdirectory.
    EXPECT_EQ(Resolve("HKCU\\S\\K\\V300"), v300.substr(0, 260));
    EXPECT_EQ(Resolve("HKCU\\S\\K\\V300|x"), v300.substr(0, 260));
}

TEST_F(DestDir, OutOfMemoryGivesTemp) {
    Set(HKEY_CURRENT_USER, "S\\K", "V", "C:\\Somewhere");
    standin::FailAllocationAfter(0);
    EXPECT_EQ(Resolve("HKCU\\S\\K\\V|sub"), TEMP);
}

}  // namespace
