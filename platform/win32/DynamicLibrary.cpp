#include "platform/DynamicLibrary.h"

#include <windows.h>

namespace platform {
namespace {

// The system's text for the calling thread's last error, or `fallback`.
std::string LastErrorText(const std::string& fallback)
{
    const DWORD code = ::GetLastError();
    char text[512];
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         0, text, sizeof text, nullptr);
    std::string result(text, length);
    while (!result.empty() && (result.back() == '\r' || result.back() == '\n'))
        result.pop_back();
    return result.empty() ? fallback + " (error " + std::to_string(code) + ")" : result;
}

} // namespace

CDynamicLibrary::~CDynamicLibrary()
{
    Close();
}

bool CDynamicLibrary::Open(const std::string& path)
{
    Close();
    // A name without a folder would be searched for along the system's search path; a
    // plug-in is always meant as the file named.
    const std::string name = path.find_first_of("/\\") == std::string::npos ? ".\\" + path : path;
    m_handle = ::LoadLibraryA(name.c_str());
    if (m_handle == nullptr) {
        m_error = LastErrorText("cannot load " + path);
        return false;
    }
    m_error.clear();
    return true;
}

void* CDynamicLibrary::FindSymbol(const char* name)
{
    if (m_handle == nullptr) {
        m_error = "no library is loaded";
        return nullptr;
    }
    void* address = reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(m_handle), name));
    if (address == nullptr)
        m_error = LastErrorText(std::string(name) + " is missing");
    return address;
}

void CDynamicLibrary::Close()
{
    if (m_handle != nullptr) {
        ::FreeLibrary(static_cast<HMODULE>(m_handle));
        m_handle = nullptr;
    }
}

std::string ExecutableFolder()
{
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return std::string();
    std::string result(path, length);
    const std::size_t separator = result.find_last_of("/\\");
    if (separator == std::string::npos)
        return std::string();
    result.erase(separator);
    return result;
}

} // namespace platform
