// The stored settings as Windows keeps them: values in the current user's registry (that of
// the suite's own Wine prefix).
#include "platform/Settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

// A key of its own for each run, removed with everything in it at the end.
class CTestKey
{
public:
    CTestKey()
        : m_name("Software\\vorlenta.software\\QUILLBOX-test-" +
                 std::to_string(::GetCurrentProcessId()))
    {}
    ~CTestKey() { ::RegDeleteTreeA(HKEY_CURRENT_USER, m_name.c_str()); }

    const std::string& Name() const { return m_name; }
    bool Exists() const
    {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, m_name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        ::RegCloseKey(key);
        return true;
    }
    void Create() const
    {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, m_name.c_str(), 0, nullptr, 0, KEY_WRITE,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ::RegCloseKey(key);
    }
    void Store(DWORD type, const std::string& bytes) const
    {
        ASSERT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, m_name.c_str(), "LocalPort", type,
                                    bytes.data(), static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }
    DWORD StoredType() const
    {
        DWORD type = REG_NONE;
        ::RegGetValueA(HKEY_CURRENT_USER, m_name.c_str(), "LocalPort", RRF_RT_ANY, &type, nullptr,
                       nullptr);
        return type;
    }

private:
    std::string m_name;
};

} // namespace

TEST(RegistrySettings, AMissingKeyIsNeverCreated)
{
    const CTestKey key;
    std::uint32_t value = 7;
    EXPECT_FALSE(platform::ReadUserNumber(key.Name(), "LocalPort", value));
    EXPECT_FALSE(platform::WriteUserNumber(key.Name(), "LocalPort", 12000));
    EXPECT_FALSE(key.Exists());
    EXPECT_EQ(value, 7u);
}

TEST(RegistrySettings, NumbersAreDwordsAndAnyValueGivesItsFirstFourBytes)
{
    const CTestKey key;
    key.Create();
    std::uint32_t value = 7;
    EXPECT_FALSE(platform::ReadUserNumber(key.Name(), "LocalPort", value));
    EXPECT_TRUE(platform::WriteUserNumber(key.Name(), "LocalPort", 12000));
    EXPECT_EQ(key.StoredType(), static_cast<DWORD>(REG_DWORD));
    EXPECT_TRUE(platform::ReadUserNumber(key.Name(), "LocalPort", value));
    EXPECT_EQ(value, 12000u);

    key.Store(REG_BINARY, std::string("\x10\x27\x00\x00\x09\x09", 6));
    EXPECT_TRUE(platform::ReadUserNumber(key.Name(), "LocalPort", value));
    EXPECT_EQ(value, 10000u);
    // Fewer than four bytes are no number: the value stays as it was.
    key.Store(REG_SZ, std::string("1\0", 2));
    EXPECT_FALSE(platform::ReadUserNumber(key.Name(), "LocalPort", value));
    EXPECT_EQ(value, 10000u);
}
