#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "change_documents.h"
#include "platform/text/wstr.h"
#include "registry_recheck.h"
#include "scratch_dir.h"

namespace {

constexpr char kHeader[] = "Windows Registry Editor Version 5.00\n\n";

class RegistryTest : public ::testing::Test {
 protected:
  // Writes the file and points the registry at it; a file already in use
  // is read again once the registry has checked it.
  void UseRegistry(std::string_view body) {
    bool fReplacing = std::filesystem::exists(m_dir.Path("test.reg"));
    setenv("VLTADMIN_REGISTRY", m_dir.Write("test.reg", std::string(body)).c_str(), 1);
    if (fReplacing) vlttest::WaitForRegistryRecheck();
  }

  // Opens a key of HKEY_LOCAL_MACHINE for reading; null when that fails.
  static HKEY Open(const char16_t* path, REGSAM sam = KEY_READ) {
    HKEY key = nullptr;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, sam, &key) == ERROR_SUCCESS ? key : nullptr;
  }

  static std::vector<BYTE> Query(HKEY key, const char16_t* name, DWORD* type = nullptr) {
    DWORD cb = 0;
    EXPECT_EQ(RegQueryValueExW(key, name, nullptr, type, nullptr, &cb), ERROR_SUCCESS);
    std::vector<BYTE> data(cb);
    EXPECT_EQ(RegQueryValueExW(key, name, nullptr, type, data.data(), &cb), ERROR_SUCCESS);
    return data;
  }
  // The bytes of a REG_SZ value: the text and its terminator.
  static std::vector<BYTE> Text(std::u16string_view text) {
    const auto* pb = reinterpret_cast<const BYTE*>(text.data());
    std::vector<BYTE> bytes(pb, pb + text.size() * 2);
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
  }
  static std::vector<BYTE> Dword(DWORD n) { return {BYTE(n), BYTE(n >> 8), BYTE(n >> 16), BYTE(n >> 24)}; }

  vlttest::CScratchDir m_dir;
};

TEST_F(RegistryTest, ReadsEveryValueType) {
  UseRegistry(std::string(kHeader) +
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\XML Service]\n"
              "@=\"default text\"\n"
              "\"Path\"=\"C:\\\\Program Files\\\\\\\"Veltra\\\"\"\n"
              "\"MaxRequestSize\"=dword:00010000\n"
              "\"Big\"=qword:0000000100000002\n"
              "\"HexQword\"=hex(b):02,00,00,00,01,00,00,00\n"
              "\"Blob\"=hex:de,ad,BE,ef\n"
              "\"Empty\"=hex:\n"
              "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\n"
              "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
              "\"Unicode\"=\"\xC3\xA9t\xC3\xA9\"\n"
              "\"NoEnd\"=hex(2):41,00,42,00\n"
              "\"Nuls\"=hex(2):41,00,00,00,00,00\n"
              "\"Inner\"=hex(2):41,00,00,00,42,00,00,00\n"
              "\"Odd\"=hex(2):41,00,42\n");
  HKEY key = Open(u"SOFTWARE\\Veltra\\XML Service");
  ASSERT_NE(key, nullptr);
  const struct {
    const char16_t* pwszName;
    DWORD dwType;
    std::vector<BYTE> data;
  } values[] = {
      {nullptr, REG_SZ, Text(u"default text")},
      {u"", REG_SZ, Text(u"default text")},
      {u"Path", REG_SZ, Text(u"C:\\Program Files\\\"Veltra\"")},
      {u"Unicode", REG_SZ, Text(u"\u00e9t\u00e9")},
      {u"MaxRequestSize", REG_DWORD, Dword(65536)},
      {u"Big", REG_QWORD, {2, 0, 0, 0, 1, 0, 0, 0}},
      {u"HexQword", REG_QWORD, {2, 0, 0, 0, 1, 0, 0, 0}},
      {u"Blob", REG_BINARY, {0xde, 0xad, 0xbe, 0xef}},
      {u"Empty", REG_BINARY, {}},
      {u"Expand", REG_EXPAND_SZ, {0x25, 0, 0x41, 0, 0x25, 0, 0, 0}},
      {u"Multi", REG_MULTI_SZ, {0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0}},
  };
  for (const auto& v : values) {
    DWORD dwType = 0;
    EXPECT_EQ(Query(key, v.pwszName, &dwType), v.data) << (v.pwszName ? v.pwszName[0] : '-');
    EXPECT_EQ(dwType, v.dwType) << (v.pwszName ? v.pwszName[0] : '-');
  }
  // The platform's own string reads: the text before the first NUL, or all
  // of it without a terminator; "" for anything that is not a string.
  const struct {
    const char16_t* pwszName;
    const char* pszText;
  } rgStrings[] = {{nullptr, "default text"}, {u"Unicode", "\xC3\xA9t\xC3\xA9"},
                   {u"Expand", "%A%"},        {u"NoEnd", "AB"},
                   {u"Nuls", "A"},            {u"Inner", "A"},
                   {u"Odd", "A"},             {u"MaxRequestSize", ""},
                   {u"Missing", ""}};
  for (const auto& c : rgStrings)
    EXPECT_EQ(platform::ReadRegistryUtf8(key, c.pwszName), c.pszText) << platform::ToUtf8(c.pwszName);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// Names ignore case ("hklm" too), and the 32-bit view reads Wow6432Node
// where it exists.
TEST_F(RegistryTest, NamesIgnoreCaseAndThe32BitViewReadsWow6432Node) {
  UseRegistry(std::string(kHeader) + "[hklm\\Software\\Veltra\\NDS]\n\"v\"=\"CORP\"\n" +
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Install]\n\"V\"=\"native\"\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Only]\n\"V\"=\"native only\"\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Veltra\\Install]\n\"V\"=\"32-bit\"\n"
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\Veltra]\n\"V\"=\"system\"\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\SYSTEM\\Veltra]\n\"V\"=\"never\"\n");
  const struct {
    const char16_t* pwszPath;
    REGSAM sam;
    const char16_t* pwszValue;
  } kCases[] = {
      {u"SOFTWARE\\Veltra\\Install", KEY_READ | KEY_WOW64_32KEY, u"32-bit"},
      {u"\\software\\veltra\\install\\", KEY_READ | KEY_WOW64_32KEY, u"32-bit"},
      {u"SOFTWARE\\Veltra\\Install", KEY_READ, u"native"},
      {u"SOFTWARE\\Veltra\\Install", KEY_READ | KEY_WOW64_64KEY, u"native"},
      {u"SOFTWARE\\Veltra\\Only", KEY_READ | KEY_WOW64_32KEY, u"native only"},
      {u"SOFTWARE\\WOW6432Node\\Veltra\\Install", KEY_READ | KEY_WOW64_32KEY, u"32-bit"},
      {u"SYSTEM\\Veltra", KEY_READ | KEY_WOW64_32KEY, u"system"},
      {u"SOFTWARE\\VELTRA\\nds", KEY_READ, u"CORP"},
  };
  for (const auto& c : kCases) {
    HKEY key = Open(c.pwszPath, c.sam);
    ASSERT_NE(key, nullptr) << platform::ToUtf8(c.pwszPath);
    EXPECT_EQ(platform::ReadRegistryText(key, u"V"), c.pwszValue) << platform::ToUtf8(c.pwszPath);
    RegCloseKey(key);
  }
  // The parents of a section exist, and keys open relative to them.
  HKEY parent = Open(u"Software\\Veltra"), child = nullptr;
  ASSERT_NE(parent, nullptr);
  EXPECT_EQ(RegOpenKeyExW(parent, u"Nds", 0, KEY_READ, &child), ERROR_SUCCESS);
  EXPECT_EQ(platform::ReadRegistryText(child, u"V"), u"CORP");
  RegCloseKey(child);
  RegCloseKey(parent);
}

TEST_F(RegistryTest, FailuresHaveWindowsCodes) {
  UseRegistry(std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\n\"V\"=dword:1\n\"S\"=\"abc\"\n");
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"B", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"A", 0, KEY_WRITE, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"A", 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"A", 0, KEY_READ | KEY_WOW64_32KEY, &key),
            ERROR_SUCCESS);
  ASSERT_NE(key, nullptr);
  EXPECT_NE(key, HKEY_LOCAL_MACHINE);
  EXPECT_NE(key, HKEY_CLASSES_ROOT);

  // The size asked for, and more data than the buffer holds.
  DWORD type = 0, cb = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"S", nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
  EXPECT_EQ(cb, 8u);  // three units and the terminator
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(RegQueryValueExW(key, u"S", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  BYTE data[8] = {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
  cb = 6;
  type = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"S", nullptr, &type, data, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cb, 8u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(RegQueryValueExW(key, u"S", nullptr, nullptr, data, &cb), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(data)), u"abc");
  EXPECT_EQ(RegQueryValueExW(key, u"S", nullptr, nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
  cb = 4;
  EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, nullptr, data, &cb), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(nullptr, u"V", nullptr, nullptr, data, &cb), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExW(reinterpret_cast<HKEY>(data), u"V", nullptr, nullptr, data, &cb),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, nullptr, data, &cb), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, EncodingsAndLineEndsReadAlike) {
  std::string utf8 = std::string(kHeader) +
                     "; comment\n[HKEY_LOCAL_MACHINE\\A]\n\"N\"=\"\xE2\x82\xAC\"\n"
                     "\"H\"=hex:01,02,\\\n  03,04 ; four bytes\n";
  std::string crlf;
  for (char c : utf8) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (const std::string& file : {utf8, crlf, "\xEF\xBB\xBF" + crlf, Encode(crlf, "UTF-16LE")}) {
    UseRegistry(file);
    HKEY key = Open(u"A");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Query(key, u"N"), Text(u"\u20ac"));
    EXPECT_EQ(Query(key, u"H"), (std::vector<BYTE>{1, 2, 3, 4}));
    RegCloseKey(key);
  }
}

TEST_F(RegistryTest, DeletionsRemoveKeysAndValues) {
  UseRegistry(std::string(kHeader) +
              "[HKLM\\A\\B]\n\"Kept\"=dword:1\n\"Gone\"=dword:2\n"
              "[HKLM\\A\\C]\n[HKLM\\A\\D]\n"
              "[-HKLM\\A\\C]\n\"Ignored\"=dword:3\n[-HKLM\\A\\Absent\\X]\n"
              "[HKLM\\A\\B]\n\"Gone\"=-\n\"Kept\"=dword:5\n");
  HKEY key = Open(u"A\\B"), kept = Open(u"A\\D");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(Query(key, u"Kept"), Dword(5));
  EXPECT_EQ(RegQueryValueExW(key, u"Gone", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(u"A\\C"), nullptr);
  EXPECT_NE(kept, nullptr);
  RegCloseKey(key);
  RegCloseKey(kept);
}

// Every way the file changes is seen once the registry has checked it; a
// key opened before keeps what it read.
TEST_F(RegistryTest, ChangedFileIsReReadAndOpenKeysKeepTheirSnapshot) {
  const std::string path = m_dir.Path("test.reg");
  auto value = [](int n) {
    return std::string(kHeader) + "[HKLM\\A]\n\"V\"=dword:" + std::to_string(n) + "\n";
  };
  struct Change {
    const char* what;
    std::function<void()> make;
    DWORD nExpected;  // 0: key absent
  };
  const Change changes[] = {
      {"rewritten in place", [&] { std::ofstream(path, std::ios::trunc) << value(2); }, 2},
      {"replaced by rename", [&] { m_dir.Write("test.reg", value(3)); }, 3},
      {"grown in place", [&] { std::ofstream(path, std::ios::app) << "\"W\"=dword:9\n"; }, 3},
      {"deleted", [&] { std::filesystem::remove(path); }, 0},
      {"created again", [&] { m_dir.Write("test.reg", value(5)); }, 5},
  };
  UseRegistry(value(1));
  HKEY before = Open(u"A");
  ASSERT_NE(before, nullptr);
  for (const Change& change : changes) {
    change.make();
    vlttest::WaitForRegistryRecheck();
    HKEY after = Open(u"A");
    if (change.nExpected == 0) {
      EXPECT_EQ(after, nullptr) << change.what << ": a missing file is an empty registry";
    } else {
      ASSERT_NE(after, nullptr) << change.what;
      EXPECT_EQ(Query(after, u"V"), Dword(change.nExpected)) << change.what;
      RegCloseKey(after);
    }
    EXPECT_EQ(Query(before, u"V"), Dword(1)) << change.what;
  }
  RegCloseKey(before);

  setenv("VLTADMIN_REGISTRY", m_dir.Path("absent.reg").c_str(), 1);
  EXPECT_EQ(Open(u"A"), nullptr) << "another path is read at once";
}

// Each malformed file is reported once, with its line, and reads as empty.
TEST_F(RegistryTest, MalformedFilesAreReportedOnceAndReadAsEmpty) {
  struct Case {
    std::string body;
    const char* reason;
  };
  const std::string section = "[HKLM\\A]\n\"Ok\"=dword:1\n";
  const Case cases[] = {
      {"REGEDIT5\n" + section, "line 1: bad header"},
      {"", "no header"},
      {kHeader + section + "[HKLM\\B\n", "line 5: unterminated section"},
      {kHeader + section + "\"V\"=dword:123456789\n", "line 5: bad dword"},
      {kHeader + section + "\"V\"=dword:xyz\n", "line 5: bad dword"},
      {kHeader + section + "\"V\"=hex:01,zz\n", "line 5: bad hex"},
      {kHeader + section + "\"V\"=hex:01,\\", "line 5: hex data continued"},
      {kHeader + section + "[HKEY_NOWHERE\\A]\n", "line 5: unknown root"},
      {kHeader + section + "\"V\"=\"open\n", "line 5: unterminated string"},
      {kHeader + section + "\"V\n", "line 5: unterminated string"},
      {kHeader + section + "\"V\"\n", "line 5: missing '='"},
      {kHeader + section + "\"V\"=\"x\" junk\n", "line 5: unexpected text"},
      {kHeader + section + "garbage\n", "line 5: unrecognised line"},
      {kHeader + section + "[HKLM\\A\\\\B]\n", "line 5: empty key name"},
      {kHeader + std::string("\"V\"=dword:1\n"), "line 3: value outside"},
      {kHeader + section + "\"V\"=\"\xC3\x28\"\n", "line 5: invalid UTF-8"},
      {std::string("\xFF\xFE\x41", 3), "odd length"},
  };
  int nFile = 0;
  for (const Case& c : cases) {
    std::string path = m_dir.Write("bad" + std::to_string(nFile++) + ".reg", c.body);
    setenv("VLTADMIN_REGISTRY", path.c_str(), 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Open(u"A"), nullptr) << c.reason;
    EXPECT_EQ(Open(u"A"), nullptr) << c.reason;
    std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find(path), std::string::npos) << report;
    EXPECT_NE(report.find(c.reason), std::string::npos) << report;
    EXPECT_EQ(report.find(path), report.rfind(path)) << "reported twice: " << report;
  }
}

// A file rewritten in place that does not parse, or anything but a regular
// file put in its place, keeps the last good snapshot, said once; a FIFO
// is never waited on.
TEST_F(RegistryTest, BadRewritesKeepTheLastGoodSnapshot) {
  const std::string good = std::string(kHeader) + "[HKLM\\A]\n\"V\"=dword:7\n";
  UseRegistry(good);
  ASSERT_NE(Open(u"A"), nullptr);
  const std::string path = m_dir.Path("test.reg");
  struct Case {
    const char* what;
    std::function<void()> replace;
    const char* report;
  };
  const Case cases[] = {
      {"half written", [&] { m_dir.Write("test.reg", good.substr(0, good.size() - 5)); }, "line 4"},
      {"emptied", [&] { m_dir.Write("test.reg", ""); }, "no header"},
      {"a FIFO", [&] { unlink(path.c_str()); mkfifo(path.c_str(), 0600); }, "not a regular file"},
      {"a directory", [&] { unlink(path.c_str()); mkdir(path.c_str(), 0700); }, "not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.replace();
    platform::CheckRegistryFileNow();
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) {
      HKEY key = Open(u"A");
      ASSERT_NE(key, nullptr);
      EXPECT_EQ(Query(key, u"V"), Dword(7));
      RegCloseKey(key);
    }
    std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find(c.report), std::string::npos) << report;
    EXPECT_NE(report.find("keeping the last good registry"), std::string::npos) << report;
    EXPECT_EQ(report.find(path), report.rfind(path)) << "reported more than once: " << report;
    unlink(path.c_str());
    rmdir(path.c_str());
    m_dir.Write("test.reg", good);
  }
}

TEST_F(RegistryTest, ConcurrentReadersWhileTheFileChanges) {
  UseRegistry(std::string(kHeader) + "[HKLM\\A]\n\"V\"=dword:1\n");
  std::atomic<bool> fStop{false};
  std::atomic<int> nFailures{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 4; ++i) {
    readers.emplace_back([&] {
      while (!fStop) {
        HKEY key = Open(u"A");
        DWORD value = 0, cb = 4;
        if (key == nullptr ||
            RegQueryValueExW(key, u"V", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &cb) != ERROR_SUCCESS ||
            value == 0)
          ++nFailures;
        if (key != nullptr) RegCloseKey(key);
      }
    });
  }
  // The environment is not touched while the readers run: only the file.
  for (int n = 2; n < 50; ++n)
    m_dir.Write("test.reg", std::string(kHeader) + "[HKLM\\A]\n\"V\"=dword:" + std::to_string(n) + "\n");
  fStop = true;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(nFailures, 0);
}

}  // namespace
