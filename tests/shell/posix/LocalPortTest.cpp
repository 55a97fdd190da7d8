#include "shell/LocalPort.h"

#include "platform/Settings.h"
#include "shell/posix/ShellTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <future>
#include <vector>

using namespace shelltest;

TEST(LocalPort, MissingKeyReadsAsDefaultAndIsNeverCreated)
{
    CSettingsSandbox sandbox;
    EXPECT_EQ(ReadLocalPort(), kDefaultLocalPort);
    WriteLocalPort(12000);
    EXPECT_FALSE(std::filesystem::exists(sandbox.KeyFolder()));
    EXPECT_EQ(ReadLocalPort(), kDefaultLocalPort);
}

TEST(LocalPort, PresentKeyWithoutValueReadsAsDefaultUntilWritten)
{
    CSettingsSandbox sandbox;
    sandbox.CreateKey();
    EXPECT_EQ(ReadLocalPort(), kDefaultLocalPort);
    WriteLocalPort(12000);
    EXPECT_EQ(sandbox.StoredText(), "12000\n");
    EXPECT_EQ(ReadLocalPort(), 12000);
    WriteLocalPort(70000);
    EXPECT_EQ(ReadLocalPort(), 70000);
    // Replacing the value leaves no temporary file behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sandbox.KeyFolder()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(LocalPort, ReadsHandWrittenDecimalText)
{
    CSettingsSandbox sandbox;
    sandbox.StoreText("12345");
    EXPECT_EQ(ReadLocalPort(), 12345);
    sandbox.StoreText("  8110\r\n");
    EXPECT_EQ(ReadLocalPort(), 8110);
    sandbox.StoreText("4294967295\n");
    EXPECT_EQ(ReadLocalPort(), -1); // the same 32 bits, as an int
}

TEST(LocalPort, GarbageReadsAsDefault)
{
    CSettingsSandbox sandbox;
    for (const std::string& text :
         std::vector<std::string>{"", "\n", "abc", "12 34", "-5", "0x2B5C", "11200abc",
                                  "4294967296", "99999999999999999999999", std::string(1000, '1'),
                                  std::string("12\0"
                                              "3",
                                              4)}) {
        sandbox.StoreText(text);
        EXPECT_EQ(ReadLocalPort(), kDefaultLocalPort) << "value text: " << text;
    }
}

TEST(LocalPort, ValueThatIsNoRegularFileReadsAsDefaultAndIsNotReplaced)
{
    CSettingsSandbox sandbox;
    std::filesystem::create_directories(sandbox.ValueFile());
    EXPECT_EQ(ReadLocalPort(), kDefaultLocalPort);
    WriteLocalPort(12000);
    EXPECT_TRUE(std::filesystem::is_directory(sandbox.ValueFile()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sandbox.KeyFolder()),
                            std::filesystem::directory_iterator()),
              1);

    // A pipe nobody writes to must not hold the read.
    std::filesystem::remove(sandbox.ValueFile());
    ASSERT_EQ(::mkfifo(sandbox.ValueFile().c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, ReadLocalPort);
    if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "reading a pipe blocked";
        std::ofstream(sandbox.ValueFile()) << "1\n"; // lets the read end
    }
    EXPECT_EQ(reading.get(), kDefaultLocalPort);
}

TEST(UserSettingsFolder, FollowsTheConfigurationHome)
{
    const std::string key = "Software\\vorlenta.software\\QUILLBOX";
    {
        CScopedEnvironment config("XDG_CONFIG_HOME", "/somewhere/config");
        EXPECT_EQ(platform::UserSettingsFolder(key),
                  "/somewhere/config/vorlenta.software/QUILLBOX");
    }
    // A relative or empty configuration home is ignored in favour of ~/.config.
    CScopedEnvironment home("HOME", "/home/someone");
    for (const char* configHome : {"relative/config", ""}) {
        CScopedEnvironment config("XDG_CONFIG_HOME", configHome);
        EXPECT_EQ(platform::UserSettingsFolder(key),
                  "/home/someone/.config/vorlenta.software/QUILLBOX");
    }
}
