// "make install" as a packager runs it: into a staging folder (DESTDIR), then the installed
// program run from there, then "make uninstall".

#include "shell/posix/ShellTestSupport.h"

#include <gtest/gtest.h>

using namespace shelltest;

TEST(Install, PutsTheProgramThePlugInAndAUserUnitUnderThePrefixAndRemovesThem)
{
    CSettingsSandbox sandbox;
    CTempFolder staging;
    const std::string root = staging.Path().string();
    const std::vector<std::pair<std::string, std::string>> environment{
        {"DESTDIR", root}, {"PREFIX", "/opt/qb"}, {"USER_UNIT_DIR", ""}};
    const std::string script = QUILLBOX_SOURCE_DIR "/tools/install.sh";
    int exitCode = -1;
    RunToEnd({"sh", script, "install", QUILLBOX_BUILD_DIR}, exitCode, environment);
    ASSERT_EQ(exitCode, 0);

    // The installed program finds the installed plug-in: its setup dialog opens.
    const std::string program = root + "/opt/qb/bin/quillbox";
    const std::string output = RunToEnd({program, "setup"}, exitCode,
                                        {{"XDG_CONFIG_HOME", sandbox.ConfigurationHome()}}, "c\n");
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_TRUE(Contains(output, "QUILLBOX configuration")) << output;

    const std::string unit = CTempFolder::Read(root + "/opt/qb/lib/systemd/user/quillbox.service");
    EXPECT_TRUE(Contains(unit, "\nExecStart=/opt/qb/bin/quillbox\n")) << unit;
    EXPECT_TRUE(Contains(unit, "\nWantedBy=default.target\n")) << unit;

    RunToEnd({"sh", script, "uninstall"}, exitCode, environment);
    EXPECT_EQ(exitCode, 0);
    for (const char* path : {"/opt/qb/bin/quillbox", "/opt/qb/lib/quillbox",
                             "/opt/qb/lib/systemd/user/quillbox.service"})
        EXPECT_FALSE(std::filesystem::exists(root + path)) << path;
}
