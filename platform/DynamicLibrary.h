#pragma once

#include <string>

// Loading shared libraries (plug-ins) at run time and finding their exported functions.
namespace platform {

class CDynamicLibrary
{
public:
    CDynamicLibrary() = default;
    ~CDynamicLibrary(); // Close
    CDynamicLibrary(const CDynamicLibrary&) = delete;
    CDynamicLibrary& operator=(const CDynamicLibrary&) = delete;

    // Loads the library at `path`, resolving all its references at once and keeping its own
    // symbols to itself. Closes a library opened before. False on failure, with the system's
    // reason in GetError.
    bool Open(const std::string& path);
    // The address of the exported symbol `name`, or null (reason in GetError).
    void* FindSymbol(const char* name);
    // Unloads the library; harmless when none is open.
    void Close();
    bool IsOpen() const { return m_handle != nullptr; }
    const std::string& GetError() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_error;
};

// The folder that holds the running program's file, without a trailing separator; empty
// when the system cannot tell.
std::string ExecutableFolder();

} // namespace platform
