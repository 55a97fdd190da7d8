#include "common/ReadableFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

std::string WhyUnreadable(const std::string& path)
{
    if (path.empty())
        return "no file named";
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) {
        if (path[0] != '~')
            return "not found";
        std::string why = "not found: \"~\" is not expanded here, write the full path";
        const char* home = std::getenv("HOME");
        if (path.compare(0, 2, "~/") == 0 && home != nullptr && home[0] == '/')
            why += " (" + std::string(home) + path.substr(1) + ")";
        return why;
    }
    if (std::filesystem::is_directory(status))
        return "a folder, not a file";
    if (!std::filesystem::is_regular_file(status))
        return "not a regular file";
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return errno == EACCES ? "permission denied" : "cannot be opened";
    std::fclose(file);
    return std::string();
}
