// The plug-in DLL as a Windows host meets it: its export and import tables, and the answers
// of its exports.

#include "shell/win32/PluginTestSupport.h"
#include "support/HTTPTestServer.h"
#include "support/LineClient.h"

#include <cstring>
#include <map>
#include <set>
#include <vector>

using namespace plugintest;
using namespace shelltest;

namespace {

// The names and ordinals hosts know the exports by; ordinal 6 is empty.
const std::map<std::string, WORD> kExports = {
    {"TBP_Initialize", 1}, {"TBP_Finalize", 2},   {"TBP_GetName", 3}, {"TBP_GetVersion", 4},
    {"TBP_GetStatus", 5},  {"TBP_NeedConfig", 7}, {"TBP_Setup", 8},   {"TBP_NeedCOM", 9}};

// The built plug-in loaded as the system loads a DLL (a fresh copy, so tests do not share
// one instance), for reading its tables.
class CLoadedModule
{
public:
    CLoadedModule()
    {
        const auto copy = m_folder.Path() / "QUILLBOX.vorlenta.tbp";
        std::filesystem::copy_file(BuiltPlugin(), copy);
        m_module = ::LoadLibraryA(copy.string().c_str());
    }
    ~CLoadedModule()
    {
        if (m_module != nullptr)
            ::FreeLibrary(m_module);
    }

    HMODULE Get() const { return m_module; }
    TBP_ActionFunction Export(const char* name) const
    {
        return reinterpret_cast<TBP_ActionFunction>(
            reinterpret_cast<void*>(::GetProcAddress(m_module, name)));
    }
    template <typename T> const T* At(DWORD rva) const
    {
        return reinterpret_cast<const T*>(reinterpret_cast<const BYTE*>(m_module) + rva);
    }
    const IMAGE_DATA_DIRECTORY& Directory(int index) const
    {
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        return At<IMAGE_NT_HEADERS>(dos->e_lfanew)->OptionalHeader.DataDirectory[index];
    }

private:
    CTempFolder m_folder;
    HMODULE m_module = nullptr;
};

} // namespace

TEST(PluginDll, ExportsTheEightFunctionsByNameAndOrdinalAndNothingElse)
{
    CLoadedModule module;
    ASSERT_NE(module.Get(), nullptr);
    for (const auto& [name, ordinal] : kExports) {
        const FARPROC byName = ::GetProcAddress(module.Get(), name.c_str());
        EXPECT_NE(byName, nullptr) << name;
        EXPECT_EQ(::GetProcAddress(module.Get(), MAKEINTRESOURCEA(ordinal)), byName) << name;
    }
    EXPECT_EQ(::GetProcAddress(module.Get(), MAKEINTRESOURCEA(6)), nullptr);

    const auto* exports = module.At<IMAGE_EXPORT_DIRECTORY>(
        module.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress);
    EXPECT_EQ(exports->Base, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, 9u);
    std::set<std::string> names;
    const auto* nameTable = module.At<DWORD>(exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.insert(module.At<char>(nameTable[i]));
    std::set<std::string> expected;
    for (const auto& entry : kExports)
        expected.insert(entry.first);
    EXPECT_EQ(names, expected);
}

TEST(PluginDll, NeedsOnlyLibrariesOfTheSystemItself)
{
    CLoadedModule module;
    ASSERT_NE(module.Get(), nullptr);
    char systemFolder[MAX_PATH];
    ASSERT_GT(::GetSystemDirectoryA(systemFolder, MAX_PATH), 0u);
    std::vector<std::string> imported;
    for (const auto* entry = module.At<IMAGE_IMPORT_DESCRIPTOR>(
             module.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress);
         entry->Name != 0; ++entry)
        imported.push_back(module.At<char>(entry->Name));
    ASSERT_FALSE(imported.empty());
    // No runtime library of the compiler may be needed beside the plug-in.
    for (const std::string& name : imported)
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(systemFolder) / name)) << name;
}

TEST(PluginDll, GivesNameAndVersionByCountWithoutTerminatingZero)
{
    CFreshPlugin plugin;
    ASSERT_NE(plugin->GetName, nullptr);
    struct Case
    {
        TBP_TextFunction function;
        bool withBuffer;
        int size;
        int count;
        std::string written;
    };
    const Case cases[] = {
        {plugin->GetName, false, 100, 17, ""},
        {plugin->GetName, true, 0, 17, ""},
        {plugin->GetName, true, -1, 17, ""},
        {plugin->GetName, true, 5, 5, "QUILL"},
        {plugin->GetName, true, 100, 17, "QUILLBOX.vorlenta"},
        {plugin->GetVersion, true, 4, 4, "0.17"},
        {plugin->GetVersion, true, 100, 9, "0.17 beta"},
    };
    for (const Case& test : cases) {
        char buffer[101];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(test.function(test.withBuffer ? buffer : nullptr, test.size), test.count)
            << test.size;
        EXPECT_EQ(std::string(buffer, test.written.size() + 1), test.written + "#") << test.size;
    }
}

TEST(PluginDll, StatusFollowsTheStartAtInitialize)
{
    CRegistrySandbox registry;
    CFreshPlugin plugin;
    ASSERT_NE(plugin->Initialize, nullptr);
    EXPECT_EQ(plugin->NeedConfig(), 1);
    EXPECT_EQ(plugin->NeedCOM(), 0);
    EXPECT_EQ(plugin->GetStatus(), 0);
    {
        CBusyPort busy;
        registry.StorePort(busy.Port());
        EXPECT_EQ(plugin->Initialize(), 1);
        EXPECT_EQ(plugin->GetStatus(), 1);
        plugin->Finalize();
    }
    const int port = FreePort();
    registry.StorePort(port);
    EXPECT_EQ(plugin->Initialize(), 0);
    EXPECT_EQ(plugin->GetStatus(), 0);
    EXPECT_TRUE(IsListening(port));
    plugin->Finalize();
    EXPECT_FALSE(IsListening(port));
}

TEST(PluginDll, StaysLoadedForItsSessionsWhenTheHostLetsGoWithoutFinalize)
{
    CRegistrySandbox registry;
    const int port = FreePort();
    registry.StorePort(port);
    CLoadedModule module;
    ASSERT_NE(module.Get(), nullptr);
    const auto initialize = module.Export("TBP_Initialize");
    const auto finalize = module.Export("TBP_Finalize");
    ASSERT_EQ(initialize(), 0);
    CLineClient client(static_cast<std::uint16_t>(port));
    EXPECT_EQ(client.ReadLine(), "+OK welcome\r\n");

    // The host unloads the module while the session runs: it stays, and so does its code.
    EXPECT_TRUE(::FreeLibrary(module.Get()));
    EXPECT_EQ(client.Command("USER feeds.txt"), "+OK PASS requested\r\n");
    finalize();
    EXPECT_FALSE(IsListening(port));
}

TEST(PluginDll, AnswersALoginToAListOfDenseDocumentsAndServesTheNextOne)
{
    // Sixty copies of a document of two million empty elements: parsed, they would take far
    // more memory than a 32-bit host has.
    CHTTPTestServer server;
    ASSERT_TRUE(server.IsRunning());
    std::string dense = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><item>";
    dense.reserve(8 * 1024 * 1024);
    for (int element = 0; element < 2000000; ++element)
        dense += "<a/>";
    dense += "</item></channel></rss>";
    server.Serve("/dense.xml", CHTTPTestServer::OkResponse(dense));
    server.Serve("/real.xml",
                 CHTTPTestServer::OkResponse(
                     "<rss><channel><item><title>Real</title></item></channel></rss>"));
    CTempFolder folder;
    std::string lines;
    for (int feed = 0; feed < 60; ++feed)
        lines += server.Url("/dense.xml") + "\n";
    const std::string denseList = folder.Write("dense.txt", lines);
    const std::string realList = folder.Write("real.txt", server.Url("/real.xml") + "\n");

    CRegistrySandbox registry;
    const int port = FreePort();
    registry.StorePort(port);
    CFreshPlugin plugin;
    ASSERT_EQ(plugin->Initialize(), 0);
    const struct
    {
        const std::string& list;
        const char* stat;
    } logins[] = {{denseList, "+OK 0 0\r\n"}, {realList, "+OK 1 "}};
    for (const auto& login : logins) {
        CLineClient client(static_cast<std::uint16_t>(port), std::chrono::minutes(2));
        EXPECT_EQ(client.ReadLine(), "+OK welcome\r\n");
        EXPECT_EQ(client.Command("USER " + login.list), "+OK PASS requested\r\n");
        EXPECT_EQ(client.Command("PASS x"), "+OK received messages\r\n");
        EXPECT_EQ(client.Command("STAT").rfind(login.stat, 0), 0u) << login.list;
        EXPECT_EQ(client.Command("QUIT"), "+OK bye\r\n");
    }
}
