#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/TempDir.h"

using namespace platform;

namespace {

constexpr char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\KOVARingpost";

// Points the store at a fresh system directory for one test.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("RINGPOST_SYSTEM_DIR", dir.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("RINGPOST_SYSTEM_DIR"); }
    TempDir dir;
};

std::string bytes(const uint8_t* p, uint32_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

}  // namespace

TEST_F(RegistryTest, CreateOpenAndKeyLayoutOnDisk) {
    RegistryKey key;
    EXPECT_EQ(regOpenKey(RootKey::LocalMachine, kKey, key), kRegNotFound);
    bool created = false;
    ASSERT_EQ(regCreateKey(RootKey::LocalMachine, kKey, key, KEY_ALL_ACCESS, &created), kRegOk);
    EXPECT_TRUE(created);
    EXPECT_EQ(key.path(), kKey);
    EXPECT_EQ(regSetDword(key, "WaitTimeInMinutes", 10), kRegOk);
    struct stat st {};
    EXPECT_EQ(::stat((dir.path() + "/registry/HKEY_LOCAL_MACHINE/SYSTEM/CurrentControlSet/Services/KOVARingpost")
                         .c_str(),
                     &st),
              0);
    ASSERT_EQ(regCreateKey(RootKey::LocalMachine, kKey, key, KEY_ALL_ACCESS, &created), kRegOk);
    EXPECT_FALSE(created);
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirCase) {
    RegistryKey key;
    ASSERT_EQ(regCreateKey(RootKey::LocalMachine, "Software\\MixedCase", key), kRegOk);
    ASSERT_EQ(regSetDword(key, "WaitTimeInMinutes", 7), kRegOk);

    RegistryKey again;
    ASSERT_EQ(regOpenKey(RootKey::LocalMachine, "SOFTWARE\\mixedcase", again), kRegOk);
    EXPECT_EQ(again.path(), "Software\\MixedCase");
    uint32_t v = 0;
    ASSERT_EQ(regQueryDword(again, "waittimeinminutes", v), kRegOk);
    EXPECT_EQ(v, 7u);

    // Setting through another spelling replaces the value and keeps its first name.
    ASSERT_EQ(regSetDword(again, "WAITTIMEINMINUTES", 9), kRegOk);
    char name[64];
    uint32_t nameSize = sizeof name, type = 0, dataSize = 0;
    ASSERT_EQ(regEnumValue(again, 0, name, nameSize, type, nullptr, dataSize), kRegOk);
    EXPECT_STREQ(name, "WaitTimeInMinutes");
    EXPECT_EQ(regEnumValue(again, 1, name, nameSize, type, nullptr, dataSize), kRegNoMoreItems);

    // A second create in other case does not make a twin key.
    RegistryKey twin;
    ASSERT_EQ(regCreateKey(RootKey::LocalMachine, "software\\MIXEDCASE", twin), kRegOk);
    RegistryKey sw;
    ASSERT_EQ(regOpenKey(RootKey::LocalMachine, "Software", sw), kRegOk);
    EXPECT_EQ(regSubKeyNames(sw), std::vector<std::string>{"MixedCase"});
}

TEST_F(RegistryTest, EveryTypeRoundTripsByteForByte) {
    RegistryKey key;
    ASSERT_EQ(regCreateKey(RootKey::CurrentUser, "T", key), kRegOk);
    const std::string sz = std::string("tab\there\\ line\r\nend\xE9", 21) + '\0';
    const std::string multi("a\0bc\0\0", 6);
    const std::string binary("\0\x01\xFF\n\t%", 6);
    const std::string big("\x00\x00\x02\x58", 4);
    const std::string oddDword("\x01\x02", 2);  // any size may carry any type
    const struct {
        const char* name;
        uint32_t type;
        std::string data;
    } cases[] = {{"", REG_SZ, sz},
                 {"Expand", REG_EXPAND_SZ, std::string("%HOME%\\x", 8) + '\0'},
                 {"Multi", REG_MULTI_SZ, multi},
                 {"Bin", REG_BINARY, binary},
                 {"Empty", REG_BINARY, ""},
                 {"NoTerminator", REG_SZ, "abc"},
                 {"Dw", REG_DWORD, std::string("\x58\x02\x00\x00", 4)},
                 {"Big", REG_DWORD_BIG_ENDIAN, big},
                 {"Odd", REG_DWORD, oddDword},
                 {"Custom", 42, "x"},
                 {"name\twith\nbreaks", REG_SZ, std::string("v\0", 2)}};
    for (const auto& c : cases)
        ASSERT_EQ(regSetValue(key, c.name, c.type, reinterpret_cast<const uint8_t*>(c.data.data()),
                              static_cast<uint32_t>(c.data.size())),
                  kRegOk)
            << c.name;
    RegistryKey reopened;
    ASSERT_EQ(regOpenKey(RootKey::CurrentUser, "t", reopened, KEY_READ), kRegOk);
    for (const auto& c : cases) {
        uint32_t type = 0, size = 0;
        ASSERT_EQ(regQueryValue(reopened, c.name, type, nullptr, size), kRegOk) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
        ASSERT_EQ(size, c.data.size()) << c.name;
        std::vector<uint8_t> buf(size + 1);
        ASSERT_EQ(regQueryValue(reopened, c.name, type, buf.data(), size), kRegOk);
        EXPECT_EQ(bytes(buf.data(), size), c.data) << c.name;
    }
    uint32_t v = 0;
    ASSERT_EQ(regQueryDword(reopened, "Dw", v), kRegOk);
    EXPECT_EQ(v, 600u);
    std::string s;
    ASSERT_EQ(regQueryString(reopened, "Multi", s), kRegOk);
    EXPECT_EQ(s, std::string("a\0bc\0", 5));
}

TEST_F(RegistryTest, QuerySizesFollowTheClassicContract) {
    RegistryKey key;
    ASSERT_EQ(regCreateKey(RootKey::LocalMachine, "K", key), kRegOk);
    ASSERT_EQ(regSetString(key, "Path", "/opt/ringpost/RingpostSvc"), kRegOk);
    uint8_t small[4];
    uint32_t type = 0, size = sizeof small;
    EXPECT_EQ(regQueryValue(key, "Path", type, small, size), kRegMoreData);
    EXPECT_EQ(size, 26u);
    EXPECT_EQ(type, REG_SZ);
    size = 4;
    EXPECT_EQ(regQueryValue(key, "Missing", type, small, size), kRegNotFound);
    // A text value read as a number fails instead of yielding garbage.
    uint32_t n = 0;
    EXPECT_NE(regQueryDword(key, "Path", n), kRegOk);
}

TEST_F(RegistryTest, EnumerationInNameOrderWithMoreDataAndEnd) {
    RegistryKey key, sub;
    ASSERT_EQ(regCreateKey(RootKey::LocalMachine, "E", key), kRegOk);
    for (const char* n : {"beta", "Alpha", "gamma/slash", ".dot", "%percent"})
        ASSERT_EQ(regCreateKey(key, n, sub), kRegOk) << n;
    const std::vector<std::string> expected = {"%percent", ".dot", "Alpha", "beta", "gamma/slash"};
    EXPECT_EQ(regSubKeyNames(key), expected);

    char name[4];
    uint32_t size = sizeof name;
    EXPECT_EQ(regEnumKey(key, 2, name, size), kRegMoreData);
    EXPECT_EQ(size, 6u);
    char big[32];
    size = sizeof big;
    ASSERT_EQ(regEnumKey(key, 2, big, size), kRegOk);
    EXPECT_STREQ(big, "Alpha");
    EXPECT_EQ(size, 5u);
    size = sizeof big;
    EXPECT_EQ(regEnumKey(key, 5, big, size), kRegNoMoreItems);

    ASSERT_EQ(regSetString(key, "First", "0123456789"), kRegOk);
    ASSERT_EQ(regSetDword(key, "Second", 2), kRegOk);
    uint8_t data[4];
    uint32_t nameSize = sizeof big, type = 0, dataSize = sizeof data;
    EXPECT_EQ(regEnumValue(key, 0, big, nameSize, type, data, dataSize), kRegMoreData);
    EXPECT_EQ(dataSize, 11u);
    nameSize = sizeof big;
    dataSize = sizeof data;
    ASSERT_EQ(regEnumValue(key, 1, big, nameSize, type, data, dataSize), kRegOk);
    EXPECT_STREQ(big, "Second");
    EXPECT_EQ(type, REG_DWORD);
    nameSize = sizeof big;
    EXPECT_EQ(regEnumValue(key, 2, big, nameSize, type, data, dataSize), kRegNoMoreItems);
}

TEST_F(RegistryTest, DeletingValuesAndKeys) {
    RegistryKey key, child;
    ASSERT_EQ(regCreateKey(RootKey::LocalMachine, "D\\Child\\Grandchild", child), kRegOk);
    ASSERT_EQ(regOpenKey(RootKey::LocalMachine, "D", key), kRegOk);
    ASSERT_EQ(regSetDword(key, "X", 1), kRegOk);
    EXPECT_EQ(regDeleteValue(key, "x"), kRegOk);
    EXPECT_EQ(regDeleteValue(key, "x"), kRegNotFound);

    EXPECT_EQ(regDeleteKey(key, "child"), kRegAccessDenied);  // still has a subkey
    EXPECT_EQ(regDeleteKey(key, "Child\\GRANDCHILD"), kRegOk);
    EXPECT_EQ(regSetDword(child, "Late", 1), kRegKeyDeleted);
    EXPECT_EQ(regCreateKey(RootKey::LocalMachine, "D\\Child\\Grandchild", child), kRegOk);
    EXPECT_EQ(regDeleteTree(RootKey::LocalMachine, "d"), kRegOk);
    EXPECT_EQ(regOpenKey(RootKey::LocalMachine, "D", key), kRegNotFound);
    EXPECT_EQ(regDeleteKey(RootKey::LocalMachine, "D"), kRegNotFound);
}

TEST_F(RegistryTest, AccessFollowsTheKeyDirectoryBitsEvenForTheSuperuser) {
    RegistryKey key;
    ASSERT_EQ(regCreateKey(RootKey::LocalMachine, kKey, key), kRegOk);
    ASSERT_EQ(regSetDword(key, "WaitTimeInMinutes", 5), kRegOk);
    const std::string keyDir =
        dir.path() + "/registry/HKEY_LOCAL_MACHINE/SYSTEM/CurrentControlSet/Services/KOVARingpost";
    ASSERT_EQ(::chmod(keyDir.c_str(), 0555), 0);
    RegistryKey ro;
    EXPECT_EQ(regOpenKey(RootKey::LocalMachine, kKey, ro), kRegAccessDenied);  // all access asked
    ASSERT_EQ(regOpenKey(RootKey::LocalMachine, kKey, ro, KEY_READ), kRegOk);
    uint32_t v = 0;
    EXPECT_EQ(regQueryDword(ro, "WaitTimeInMinutes", v), kRegOk);
    EXPECT_EQ(regSetDword(ro, "WaitTimeInMinutes", 6), kRegAccessDenied);  // handle opened for reading
    ::chmod(keyDir.c_str(), 0755);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
    RegistryKey key;
    ASSERT_EQ(regCreateKey(RootKey::LocalMachine, "C", key), kRegOk);
    constexpr int kPerWriter = 25;
    // Two processes and two threads each, all on one key.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    auto writer = [](const std::string& prefix) {
        RegistryKey k;
        if (regOpenKey(RootKey::LocalMachine, "C", k) != kRegOk) return false;
        for (int i = 0; i < kPerWriter; ++i)
            if (regSetDword(k, prefix + std::to_string(i), static_cast<uint32_t>(i)) != kRegOk) return false;
        return true;
    };
    const std::string who = child == 0 ? "child" : "parent";
    bool ok1 = false, ok2 = false;
    std::thread t1([&] { ok1 = writer(who + "A"); });
    std::thread t2([&] { ok2 = writer(who + "B"); });
    t1.join();
    t2.join();
    if (child == 0) ::_exit(ok1 && ok2 ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(ok1 && ok2);
    uint32_t count = 0;
    char name[64];
    uint32_t nameSize = sizeof name, type = 0, dataSize = 0;
    while (regEnumValue(key, count, name, nameSize, type, nullptr, dataSize) == kRegOk) {
        ++count;
        nameSize = sizeof name;
    }
    EXPECT_EQ(count, 4u * kPerWriter);
}

TEST(RegistryExpand, EnvironmentNamesAreReplacedAndUnknownOnesKept) {
    ::setenv("RINGPOST_EXPAND_TEST", "value", 1);
    EXPECT_EQ(expandEnvironmentStrings("a%RINGPOST_EXPAND_TEST%b"), "avalueb");
    EXPECT_EQ(expandEnvironmentStrings("%NO_SUCH_NAME_X%%RINGPOST_EXPAND_TEST%"), "%NO_SUCH_NAME_X%value");
    EXPECT_EQ(expandEnvironmentStrings("100% sure"), "100% sure");
    EXPECT_EQ(expandEnvironmentStrings("%%"), "%%");
    ::unsetenv("RINGPOST_EXPAND_TEST");
}

TEST(RegistryNames, RootsAndTypes) {
    RootKey r{};
    EXPECT_TRUE(rootKeyFromName("hklm", r));
    EXPECT_EQ(r, RootKey::LocalMachine);
    EXPECT_TRUE(rootKeyFromHandle(0x80000002u, r));
    EXPECT_EQ(r, RootKey::LocalMachine);
    EXPECT_FALSE(rootKeyFromName("HKEY_NOWHERE", r));
    uint32_t t = 0;
    EXPECT_TRUE(registryTypeFromName("reg_multi_sz", t));
    EXPECT_EQ(t, REG_MULTI_SZ);
}

// Stores written before stay readable, and what is written now reads the same
// way elsewhere: the directory names and the values file, byte for byte.
TEST_F(RegistryTest, StoredFormatIsStable) {
    RegistryKey key;
    ASSERT_EQ(regCreateKey(RootKey::CurrentUser, "Fmt\\.a/b%", key), kRegOk);
    ASSERT_EQ(regSetString(key, "n\tx", std::string("v\\\x01\x7F\xE9", 5)), kRegOk);
    const uint8_t bin[] = {0x00, 0xAB, 0x5C};
    ASSERT_EQ(regSetValue(key, "Bin", REG_BINARY, bin, sizeof bin), kRegOk);
    ASSERT_EQ(regSetDword(key, "Dw", 600), kRegOk);
    const std::string keyDir = dir.path() + "/registry/HKEY_CURRENT_USER/Fmt/%2Ea%2Fb%25";
    std::ifstream f(keyDir + "/.values", std::ios::binary);
    const std::string stored((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(stored,
              "n\\x09x\tREG_SZ\tsz:v\\x5C\\x01\\x7F\xE9\n"
              "Bin\tREG_BINARY\thex:00AB5C\n"
              "Dw\tREG_DWORD\tdword:600\n");

    // Written by hand or by an older store: either case of hex digit reads.
    std::ofstream(keyDir + "/.values", std::ios::binary | std::ios::trunc)
        << "Lower\tREG_BINARY\thex:abcd\nText\tREG_SZ\tsz:a\\x0d\\x0A\nBad\tREG_SZ\tsz:\\xZZ\n";
    uint32_t type = 0, size = 8;
    uint8_t buf[8] = {};
    ASSERT_EQ(regQueryValue(key, "Lower", type, buf, size), kRegOk);
    EXPECT_EQ(bytes(buf, size), "\xAB\xCD");
    std::string text;
    ASSERT_EQ(regQueryString(key, "Text", text), kRegOk);
    EXPECT_EQ(text, "a\r\n");
    EXPECT_EQ(regQueryString(key, "Bad", text), kRegNotFound);  // a broken line is skipped
    RegistryKey parent;
    ASSERT_EQ(regOpenKey(RootKey::CurrentUser, "FMT", parent, KEY_READ), kRegOk);
    EXPECT_EQ(regSubKeyNames(parent), std::vector<std::string>{".a/b%"});
}
