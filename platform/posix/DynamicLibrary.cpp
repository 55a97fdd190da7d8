#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace platform {

CDynamicLibrary::~CDynamicLibrary()
{
    Close();
}

bool CDynamicLibrary::Open(const std::string& path)
{
    Close();
    // A name without a slash would be searched for along the library path; a plug-in is
    // always meant as the file named.
    const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
    m_handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* reason = ::dlerror();
        m_error = reason != nullptr ? reason : "cannot load " + path;
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
    ::dlerror();
    void* address = ::dlsym(m_handle, name);
    if (address == nullptr) {
        const char* reason = ::dlerror();
        m_error = reason != nullptr ? reason : std::string(name) + " is null";
    }
    return address;
}

void CDynamicLibrary::Close()
{
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
}

std::string ExecutableFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return std::string();
    std::string result(path, static_cast<std::size_t>(length));
    const std::size_t slash = result.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    result.erase(slash == 0 ? 1 : slash);
    return result;
}

} // namespace platform
