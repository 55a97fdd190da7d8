#include "shell/host/PluginLibrary.h"

const char* const CPluginLibrary::kExportNames[8] = {
    "TBP_Initialize", "TBP_Finalize",   "TBP_GetName", "TBP_GetVersion",
    "TBP_GetStatus",  "TBP_NeedConfig", "TBP_Setup",   "TBP_NeedCOM"};

void CPluginLibrary::Load(const std::string& path)
{
    if (!m_library.Open(path)) {
        m_error = m_library.GetError();
        throw exception("cannot load plug-in");
    }
    try {
        Find(kExportNames[0], Initialize);
        Find(kExportNames[1], Finalize);
        Find(kExportNames[2], GetName);
        Find(kExportNames[3], GetVersion);
        Find(kExportNames[4], GetStatus);
        Find(kExportNames[5], NeedConfig);
        Find(kExportNames[6], Setup);
        Find(kExportNames[7], NeedCOM);
    } catch (const exception&) {
        m_library.Close();
        throw;
    }
}

template <typename Function> void CPluginLibrary::Find(const char* name, Function& function)
{
    void* address = m_library.FindSymbol(name);
    if (address == nullptr) {
        m_error = m_library.GetError();
        throw exception("plug-in lacks an export");
    }
    function = reinterpret_cast<Function>(address);
}

std::string CPluginLibrary::ReadText(TBP_TextFunction function)
{
    char buffer[256];
    const int count = function(buffer, static_cast<int>(sizeof buffer));
    if (count <= 0)
        return std::string();
    return std::string(buffer, static_cast<std::size_t>(count < 256 ? count : 256));
}
