#pragma once

#include "platform/DynamicLibrary.h"
#include "shell/LocalPort.h"
#include "shell/host/PluginLibrary.h"
#include "support/LoopbackPorts.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace plugintest {

// The plug-in this program tests: the one built beside it, or the one QUILLBOX_PLUGIN
// names (of the other architecture, say, whose resources can be read but not run).
inline std::filesystem::path BuiltPlugin()
{
    if (const char* path = std::getenv("QUILLBOX_PLUGIN"))
        return path;
    return std::filesystem::path(platform::ExecutableFolder()) / "QUILLBOX.vorlenta.tbp";
}

// The plug-in's settings key, absent at the start of a test and removed at its end (the
// tests run in a Wine prefix of their own).
class CRegistrySandbox
{
public:
    CRegistrySandbox() { Remove(); }
    ~CRegistrySandbox() { Remove(); }
    CRegistrySandbox(const CRegistrySandbox&) = delete;
    CRegistrySandbox& operator=(const CRegistrySandbox&) = delete;

    void StorePort(DWORD port) const
    {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExA(key, kLocalPortName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&port),
                         sizeof port);
        ::RegCloseKey(key);
    }
    // The stored number, or -1 when there is none.
    long long StoredPort() const
    {
        DWORD port = 0;
        DWORD size = sizeof port;
        if (::RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, kLocalPortName, RRF_RT_REG_DWORD,
                           nullptr, &port, &size) != ERROR_SUCCESS)
            return -1;
        return port;
    }

private:
    static void Remove() { ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\vorlenta.software"); }
};

// A fresh instance of the built plug-in, loaded by the host's loader from a copy of its own:
// a module that has served stays loaded for the rest of the process.
class CFreshPlugin
{
public:
    CFreshPlugin()
    {
        const auto copy = m_folder.Path() / "QUILLBOX.vorlenta.tbp";
        std::filesystem::copy_file(BuiltPlugin(), copy);
        m_path = copy.string();
        try {
            m_library.Load(m_path);
        } catch (const CPluginLibrary::exception& error) {
            ADD_FAILURE() << error.what() << ": " << m_library.GetError();
        }
    }
    ~CFreshPlugin()
    {
        if (m_library.Finalize != nullptr)
            m_library.Finalize();
    }
    CFreshPlugin(const CFreshPlugin&) = delete;
    CFreshPlugin& operator=(const CFreshPlugin&) = delete;

    CPluginLibrary& operator*() { return m_library; }
    CPluginLibrary* operator->() { return &m_library; }
    const std::string& Path() const { return m_path; }

private:
    CTempFolder m_folder;
    std::string m_path;
    CPluginLibrary m_library;
};

} // namespace plugintest
