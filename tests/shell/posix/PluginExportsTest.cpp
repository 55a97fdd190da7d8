// The plug-in as the host sees it: the built module, loaded at run time,
// through its exports.

#include "platform/DynamicLibrary.h"
#include "shell/host/PluginLibrary.h"
#include "shell/posix/ShellTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace shelltest;

namespace {

const char kBuiltPlugin[] = QUILLBOX_BUILD_DIR "/QUILLBOX.vorlenta.tbp";

// A fresh instance of the built plug-in: loaded from a copy of its own, since
// the system hands out the module already loaded when the same file is loaded
// again.
class PluginExports : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto copy = m_folder.Path() / "QUILLBOX.vorlenta.tbp";
        std::filesystem::copy_file(kBuiltPlugin, copy);
        ASSERT_NO_THROW(m_plugin.Load(copy.string())) << m_plugin.GetError();
    }

    CTempFolder m_folder;
    CSettingsSandbox m_sandbox;
    CPluginLibrary m_plugin;
};

} // namespace

TEST_F(PluginExports, ShowsTheEightFunctionsAndHidesTheRest)
{
    platform::CDynamicLibrary library;
    ASSERT_TRUE(library.Open((m_folder.Path() / "QUILLBOX.vorlenta.tbp").string()));
    for (const char* name : CPluginLibrary::kExportNames)
        EXPECT_NE(library.FindSymbol(name), nullptr) << name;
    // Internal functions, C++ and C alike, stay inside the module.
    for (const char* name : {"_Z13ReadLocalPortv", "_Z16CopyToHostBufferPKcPci",
                             "_Z15SetupDialogProcR13IDialogWindowjml", "kBuiltInTemplate"})
        EXPECT_EQ(library.FindSymbol(name), nullptr) << name;
}

TEST_F(PluginExports, GetNameCopiesWithoutTerminatingZero)
{
    char buffer[100];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(m_plugin.GetName(nullptr, 100), 17);
    EXPECT_EQ(m_plugin.GetName(buffer, 0), 17);
    EXPECT_EQ(m_plugin.GetName(buffer, -1), 17);
    EXPECT_EQ(buffer[0], '#');

    EXPECT_EQ(m_plugin.GetName(buffer, 5), 5);
    EXPECT_EQ(std::string(buffer, 6), "QUILL#");

    EXPECT_EQ(m_plugin.GetName(buffer, 100), 17);
    EXPECT_EQ(std::string(buffer, 18), "QUILLBOX.vorlenta#");

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(m_plugin.GetVersion(buffer, 100), 9);
    EXPECT_EQ(std::string(buffer, 10), "0.17 beta#");
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(m_plugin.GetVersion(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 5), "0.17#");
}

TEST_F(PluginExports, FixedAnswers)
{
    EXPECT_EQ(m_plugin.NeedConfig(), 1);
    EXPECT_EQ(m_plugin.NeedCOM(), 0);
}

TEST_F(PluginExports, StatusFollowsTheStartAtInitialize)
{
    EXPECT_EQ(m_plugin.GetStatus(), 0);
    {
        CBusyPort busy;
        m_sandbox.StoreText(std::to_string(busy.Port()));
        EXPECT_EQ(m_plugin.Initialize(), 1);
        EXPECT_EQ(m_plugin.GetStatus(), 1);
        m_plugin.Finalize();
    }
    const int port = FreePort();
    m_sandbox.StoreText(std::to_string(port));
    EXPECT_EQ(m_plugin.Initialize(), 0);
    EXPECT_EQ(m_plugin.GetStatus(), 0);
    EXPECT_TRUE(IsListening(port));
    m_plugin.Finalize();
    EXPECT_FALSE(IsListening(port));
    EXPECT_EQ(m_plugin.GetStatus(), 0);
}

TEST(PluginLibrary, ReportsAMissingFileAndAModuleWithoutTheExports)
{
    CPluginLibrary missing;
    EXPECT_THROW(missing.Load("/nonexistent/QUILLBOX.vorlenta.tbp"), CPluginLibrary::exception);
    EXPECT_NE(missing.GetError().find("nonexistent"), std::string::npos);

    // The C library is a loadable module, but not a plug-in.
    CPluginLibrary notAPlugin;
    EXPECT_THROW(notAPlugin.Load("libc.so.6"), CPluginLibrary::exception);
}
