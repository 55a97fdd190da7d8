#pragma once

#include "common/TextException.h"
#include "platform/DynamicLibrary.h"
#include "shell/Exports.h"

#include <string>

// The host's side of a plug-in: loads the plug-in file and finds its eight exported
// functions by name. Used on one thread.
class CPluginLibrary
{
public:
    class exception : public CTextException
    {
    public:
        using CTextException::CTextException;
    };

    // The names of the eight exports.
    static const char* const kExportNames[8];

    CPluginLibrary() = default;
    // Unloads the plug-in. Its TBP_Finalize is the caller's to call first.
    ~CPluginLibrary() = default;
    CPluginLibrary(const CPluginLibrary&) = delete;
    CPluginLibrary& operator=(const CPluginLibrary&) = delete;

    // Loads the plug-in at `path` and finds its exports. Throws CPluginLibrary::exception
    // "cannot load plug-in" when the file cannot be loaded and "plug-in lacks an export" when
    // one of the eight functions is missing; GetError then tells why, or which, and nothing
    // stays loaded.
    void Load(const std::string& path);

    const std::string& GetError() const { return m_error; }
    // The text a TBP_GetName or TBP_GetVersion gives, by its returned count.
    static std::string ReadText(TBP_TextFunction function);

    TBP_ActionFunction Initialize = nullptr;
    TBP_ActionFunction Finalize = nullptr;
    TBP_TextFunction GetName = nullptr;
    TBP_TextFunction GetVersion = nullptr;
    TBP_ActionFunction GetStatus = nullptr;
    TBP_ActionFunction NeedConfig = nullptr;
    TBP_ActionFunction Setup = nullptr;
    TBP_ActionFunction NeedCOM = nullptr;

private:
    template <typename Function> void Find(const char* name, Function& function);

    platform::CDynamicLibrary m_library;
    std::string m_error;
};
