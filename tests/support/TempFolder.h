#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes. Each test process gets its own, so tests may run in parallel.
class CTempFolder
{
public:
    CTempFolder()
    {
        std::random_device random;
        m_path = std::filesystem::temp_directory_path() /
                 ("quillbox-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(m_path);
    }
    ~CTempFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

    // Writes `content` byte for byte to `name` in the folder and returns the file's path.
    std::string Write(const std::string& name, const std::string& content) const
    {
        const std::string path = File(name);
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    // The file's bytes, or empty when it cannot be read.
    static std::string Read(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path m_path;
};
