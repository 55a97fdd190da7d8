#pragma once

// What the tests of the Linux host program, plug-in module and settings folder share (the
// Windows plug-in has a test program of its own, in tests/shell/win32). Header-only.

#include "shell/LocalPort.h"
#include "support/ChildProcess.h"
#include "support/HTTPTestServer.h"
#include "support/LoopbackPorts.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace shelltest {

// Sets an environment variable for the object's lifetime, then restores the old value.
class CScopedEnvironment
{
public:
    CScopedEnvironment(const char* name, const std::string& value) : m_name(name)
    {
        const char* old = std::getenv(name);
        m_hadValue = old != nullptr;
        if (m_hadValue)
            m_oldValue = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~CScopedEnvironment()
    {
        if (m_hadValue)
            ::setenv(m_name, m_oldValue.c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_hadValue;
    std::string m_oldValue;
};

// A private configuration folder ($XDG_CONFIG_HOME) for one test, without the settings key
// until CreateKey.
class CSettingsSandbox
{
public:
    CSettingsSandbox() : m_environment("XDG_CONFIG_HOME", m_folder.Path().string()) {}

    std::string ConfigurationHome() const { return m_folder.Path().string(); }
    std::filesystem::path KeyFolder() const
    {
        return m_folder.Path() / "vorlenta.software" / "QUILLBOX";
    }
    std::filesystem::path ValueFile() const { return KeyFolder() / "LocalPort"; }
    void CreateKey() const { std::filesystem::create_directories(KeyFolder()); }
    void StoreText(const std::string& text) const
    {
        CreateKey();
        std::ofstream(ValueFile(), std::ios::binary) << text;
    }
    // The value file's content, or "(none)" when there is no file.
    std::string StoredText() const
    {
        std::ifstream file(ValueFile(), std::ios::binary);
        if (!file)
            return "(none)";
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

private:
    CTempFolder m_folder;
    CScopedEnvironment m_environment;
};

// The repository's examples folder, found from the test data folder (tests/data), which
// need not exist.
inline const std::string kExamples =
    std::string(QUILLBOX_TEST_DATA_DIR)
        .substr(0, std::string(QUILLBOX_TEST_DATA_DIR).rfind("/tests/data")) +
    "/examples/";

// The two example feeds, served at /news.xml (three items in UTF-8) and /notes.xml (one
// item in ISO-8859-2).
inline void ServeExampleFeeds(CHTTPTestServer& http)
{
    http.Serve("/news.xml", CHTTPTestServer::OkResponse(CTempFolder::Read(kExamples + "news.xml")));
    http.Serve("/notes.xml",
               CHTTPTestServer::OkResponse(CTempFolder::Read(kExamples + "notes-latin2.xml")));
}

// The built host program.
constexpr char kHostProgram[] = QUILLBOX_BUILD_DIR "/quillbox";
// Bounds every wait for another process, so a hang fails the test instead of blocking it.
constexpr int kPatience = 20000;

// Runs `command` to its end and returns all it printed; `exitCode` gets its exit status.
inline std::string
RunToEnd(const std::vector<std::string>& command, int& exitCode,
         const std::vector<std::pair<std::string, std::string>>& environment = {},
         const std::string& input = std::string())
{
    CChildProcess process;
    exitCode = -1;
    EXPECT_TRUE(process.Start(command, environment, input)) << command.front();
    const std::string output = process.ReadToEnd(kPatience);
    EXPECT_TRUE(process.Wait(kPatience, exitCode)) << command.front();
    return output;
}

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace shelltest
