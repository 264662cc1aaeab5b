// clsRegistry against the real registry store in a temporary system directory.
#include "SystemDirFixture.h"
#include "clsRegistry.h"

#include <QTest>

namespace {
const std::string kKey = "SOFTWARE\\RingpostTest";
}

class RegistryTest : public QObject {
    Q_OBJECT
    SystemDirFixture sys_;
    int n_ = 0;
    std::string key_;  // a fresh key per test

    std::string rawValue(const std::string& name, uint32_t& type) {
        platform::RegistryKey k;
        if (platform::regOpenKey(platform::RootKey::LocalMachine, key_, k, platform::KEY_READ) != 0) return "?";
        uint8_t buf[64];
        uint32_t size = sizeof buf;
        if (platform::regQueryValue(k, name, type, buf, size) != 0) return "?";
        return std::string(reinterpret_cast<char*>(buf), size);
    }

private slots:
    void init() { key_ = kKey + "\\T" + std::to_string(++n_); }

    void readLongMissingGivesZero() {
        clsRegistry r;
        QCOMPARE(r.ReadLong(HKEY_LOCAL_MACHINE, key_, "Nothing"), 0);
        QVERIFY(r.WriteLong(HKEY_LOCAL_MACHINE, key_, "Other", 5));
        QCOMPARE(r.ReadLong(HKEY_LOCAL_MACHINE, key_, "Nothing"), 0);
        QCOMPARE(r.ReadString(HKEY_LOCAL_MACHINE, key_ + "\\Missing", "Other"), std::string());
    }

    void readLongOfTexts() {
        clsRegistry r;
        r.WriteString(HKEY_LOCAL_MACHINE, key_, "Seven", "7");
        r.WriteString(HKEY_LOCAL_MACHINE, key_, "Long", "1234");  // does not fit the 4-byte query
        r.WriteString(HKEY_LOCAL_MACHINE, key_, "Half", "2.5");
        r.WriteString(HKEY_LOCAL_MACHINE, key_, "Word", "ab");
        r.WriteExpandString(HKEY_LOCAL_MACHINE, key_, "Neg", "-3");
        QCOMPARE(r.ReadLong(HKEY_LOCAL_MACHINE, key_, "Seven"), 7);
        QCOMPARE(r.ReadLong(HKEY_LOCAL_MACHINE, key_, "Long"), 0);
        QCOMPARE(r.ReadLong(HKEY_LOCAL_MACHINE, key_, "Half"), 2);
        QCOMPARE(r.ReadLong(HKEY_LOCAL_MACHINE, key_, "Word"), 0);
        QCOMPARE(r.ReadLong(HKEY_LOCAL_MACHINE, key_, "Neg"), -3);
    }

    void dwordsRoundTripAndReadAsText() {
        clsRegistry r;
        QVERIFY(r.WriteLong(HKEY_LOCAL_MACHINE, key_, "Wait", 600));
        QVERIFY(r.WriteLong(HKEY_LOCAL_MACHINE, key_, "All", -1));
        QCOMPARE(r.ReadString(HKEY_LOCAL_MACHINE, key_, "Wait"), std::string("600"));
        QCOMPARE(r.ReadLong(HKEY_LOCAL_MACHINE, key_, "All"), -1);
        QCOMPARE(static_cast<uint32_t>(r.ReadLong(HKEY_LOCAL_MACHINE, key_, "All")), 4294967295u);
        uint32_t type = 0;
        QCOMPARE(rawValue("Wait", type), std::string("\x58\x02\0\0", 4));
        QCOMPARE(type, platform::REG_DWORD);
    }

    void bigEndianDwordIsNotSwapped() {
        platform::RegistryKey k;
        QCOMPARE(platform::regCreateKey(platform::RootKey::LocalMachine, key_, k), 0);
        const uint8_t be[4] = {0, 0, 1, 0};
        QCOMPARE(platform::regSetValue(k, "Be", platform::REG_DWORD_BIG_ENDIAN, be, 4), 0);
        clsRegistry r;
        QCOMPARE(r.ReadLong(HKEY_LOCAL_MACHINE, key_, "Be"), 65536);
    }

    void stringTypes() {
        clsRegistry r;
        ::setenv("RINGPOST_TEST_PLACE", "Tulsa", 1);
        QVERIFY(r.WriteString(HKEY_LOCAL_MACHINE, key_, "", "default value"));
        QVERIFY(r.WriteExpandString(HKEY_LOCAL_MACHINE, key_, "Exp", "in %RINGPOST_TEST_PLACE%!"));
        QVERIFY(r.WriteMultiString(HKEY_LOCAL_MACHINE, key_, "Multi", {"a", "bc"}));
        QVERIFY(r.WriteBinary(HKEY_LOCAL_MACHINE, key_, "Bin", std::string("x\0y", 3)));
        QVERIFY(r.WriteString(HKEY_LOCAL_MACHINE, key_, "Empty", ""));
        QCOMPARE(r.ReadString(HKEY_LOCAL_MACHINE, key_, ""), std::string("default value"));
        QCOMPARE(r.ReadString(HKEY_LOCAL_MACHINE, key_, "Exp"), std::string("in Tulsa!"));
        QCOMPARE(r.ReadString(HKEY_LOCAL_MACHINE, key_, "Multi"), std::string("a\0bc\0", 5));
        QCOMPARE(r.ReadString(HKEY_LOCAL_MACHINE, key_, "Bin"), std::string("x\0y", 3));
        QCOMPARE(r.ReadString(HKEY_LOCAL_MACHINE, key_, "Empty"), std::string());

        uint32_t type = 0;
        QCOMPARE(rawValue("Multi", type), std::string("a\0bc\0\0", 6));
        QCOMPARE(type, platform::REG_MULTI_SZ);
        QCOMPARE(rawValue("Bin", type), std::string("x\0y", 3));
        QCOMPARE(type, platform::REG_BINARY);
        QCOMPARE(rawValue("Empty", type), std::string("\0", 1));
    }

    void textLongerThanTheBufferReadsEmpty() {
        clsRegistry r;
        r.WriteString(HKEY_LOCAL_MACHINE, key_, "Fits", std::string(1023, 'f'));
        r.WriteString(HKEY_LOCAL_MACHINE, key_, "Big", std::string(1024, 'b'));
        QCOMPARE(r.ReadString(HKEY_LOCAL_MACHINE, key_, "Fits"), std::string(1023, 'f'));
        QCOMPARE(r.ReadString(HKEY_LOCAL_MACHINE, key_, "Big"), std::string());
    }

    void existsAndDelete() {
        clsRegistry r;
        QVERIFY(!r.KeyExists(HKEY_LOCAL_MACHINE, key_));
        QVERIFY(!r.DeleteValue(HKEY_LOCAL_MACHINE, key_, "V"));
        QVERIFY(r.WriteLong(HKEY_LOCAL_MACHINE, key_ + "\\Sub", "V", 1));
        QVERIFY(r.KeyExists(HKEY_LOCAL_MACHINE, key_));
        QVERIFY(r.KeyExists(HKEY_LOCAL_MACHINE, key_ + "\\sub"));  // names ignore case
        QVERIFY(r.ValueExists(HKEY_LOCAL_MACHINE, key_ + "\\Sub", "v"));
        QVERIFY(!r.ValueExists(HKEY_LOCAL_MACHINE, key_ + "\\Sub", "W"));
        QVERIFY(r.DeleteValue(HKEY_LOCAL_MACHINE, key_ + "\\Sub", "V"));
        QVERIFY(!r.ValueExists(HKEY_LOCAL_MACHINE, key_ + "\\Sub", "V"));
        QVERIFY(!r.DeleteValue(HKEY_LOCAL_MACHINE, key_ + "\\Sub", "V"));
        QVERIFY(r.DeleteKey(HKEY_LOCAL_MACHINE, key_, "Sub"));
        QVERIFY(!r.KeyExists(HKEY_LOCAL_MACHINE, key_ + "\\Sub"));
        QVERIFY(!r.DeleteKey(HKEY_LOCAL_MACHINE, key_, "Sub"));
        QVERIFY(!r.WriteLong(0x12345678u, key_, "V", 1));  // no such root
    }

    void enumerateKeys() {
        clsRegistry r;
        std::string name;
        QVERIFY(!r.EnumKey(0, name));  // not enumerating
        r.WriteLong(HKEY_LOCAL_MACHINE, key_ + "\\beta", "x", 1);
        r.WriteLong(HKEY_LOCAL_MACHINE, key_ + "\\Alpha", "x", 1);
        QVERIFY(!r.EnumStart(HKEY_LOCAL_MACHINE, key_ + "\\None"));
        QVERIFY(!r.EnumKey(0, name));
        QVERIFY(r.EnumStart(HKEY_LOCAL_MACHINE, key_));
        QVERIFY(r.EnumKey(0, name));
        QCOMPARE(name, std::string("Alpha"));
        QVERIFY(r.EnumKey(1, name));
        QCOMPARE(name, std::string("beta"));
        QVERIFY(!r.EnumKey(2, name));
        r.EnumEnd();
        QVERIFY(!r.EnumKey(0, name));
    }

    void enumerateValuesGrowsTheBuffer() {
        clsRegistry r;
        r.WriteString(HKEY_LOCAL_MACHINE, key_, "First", "one");
        r.WriteLong(HKEY_LOCAL_MACHINE, key_, "Second", 600);
        r.WriteString(HKEY_LOCAL_MACHINE, key_, "Third", std::string(3000, 't'));
        r.WriteBinary(HKEY_LOCAL_MACHINE, key_, "Huge", std::string(9000, 'h'));
        r.WriteBinary(HKEY_LOCAL_MACHINE, key_, "Nothing", "");
        QVERIFY(r.EnumStart(HKEY_LOCAL_MACHINE, key_));
        uint32_t type = 0;
        std::string name, data;
        QVERIFY(r.EnumValue(0, type, name, data));
        QCOMPARE(name, std::string("First"));
        QCOMPARE(type, platform::REG_SZ);
        QCOMPARE(data, std::string("one"));
        QVERIFY(r.EnumValue(1, type, name, data));
        QCOMPARE(type, platform::REG_DWORD);
        QCOMPARE(data, std::string("\x58\x02\0", 3));  // the data without its last byte
        QVERIFY(r.EnumValue(2, type, name, data));
        QCOMPARE(data, std::string(3000, 't'));
        QVERIFY(!r.EnumValue(3, type, name, data));  // beyond the 8192-byte limit
        QVERIFY(r.EnumValue(4, type, name, data));
        QCOMPARE(name, std::string("Nothing"));
        QCOMPARE(data, std::string());
        QVERIFY(!r.EnumValue(5, type, name, data));
        // A second start ends the first.
        QVERIFY(r.EnumStart(HKEY_LOCAL_MACHINE, key_));
        QVERIFY(r.EnumValue(0, type, name, data));
    }
};

QTEST_GUILESS_MAIN(RegistryTest)
#include "RegistryTest.moc"
