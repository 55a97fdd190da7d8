// The plug-in's resources read back from the built DLL: the setup dialog's template, the
// version record and the manifest.

#include "shell/win32/PluginTestSupport.h"

#include <cstring>
#include <vector>

using namespace plugintest;

namespace {

const WORD kPolish = MAKELANGID(LANG_POLISH, SUBLANG_DEFAULT);

// The built plug-in mapped as a data file: resources only, no code run.
class CResourceModule
{
public:
    CResourceModule()
        : m_module(
              ::LoadLibraryExA(BuiltPlugin().string().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {}
    ~CResourceModule()
    {
        if (m_module != nullptr)
            ::FreeLibrary(m_module);
    }

    // The resource's bytes, empty when it is missing.
    std::string Read(LPCSTR type, WORD id, WORD language) const
    {
        HRSRC found = ::FindResourceExA(m_module, type, MAKEINTRESOURCEA(id), language);
        if (found == nullptr)
            return std::string();
        const void* data = ::LockResource(::LoadResource(m_module, found));
        return std::string(static_cast<const char*>(data), ::SizeofResource(m_module, found));
    }

private:
    HMODULE m_module;
};

// Reads a dialog template (DLGTEMPLATEEX and its items) field by field.
class CTemplateReader
{
public:
    explicit CTemplateReader(const std::string& data) : m_data(data) {}

    template <typename T> T Take()
    {
        T value{};
        if (m_offset + sizeof value <= m_data.size())
            std::memcpy(&value, m_data.data() + m_offset, sizeof value);
        m_offset += sizeof value;
        return value;
    }
    // A zero-terminated UTF-16 text of ASCII characters.
    std::string Text()
    {
        std::string text;
        for (WORD unit = Take<WORD>(); unit != 0 && m_offset <= m_data.size(); unit = Take<WORD>())
            text.push_back(static_cast<char>(unit));
        return text;
    }
    // A class or menu field: "#N" for an ordinal, else its text (empty for none).
    std::string NameOrOrdinal()
    {
        const WORD first = Take<WORD>();
        if (first == 0xFFFF)
            return "#" + std::to_string(Take<WORD>());
        m_offset -= sizeof first;
        return Text();
    }
    void AlignToDword() { m_offset = (m_offset + 3) & ~static_cast<std::size_t>(3); }

private:
    const std::string& m_data;
    std::size_t m_offset = 0;
};

struct Control
{
    DWORD id;
    std::string kind; // the ordinal of the system's window class
    std::string text;
    short x, y, width, height;
    DWORD style;

    bool operator==(const Control& other) const
    {
        return id == other.id && kind == other.kind && text == other.text && x == other.x &&
               y == other.y && width == other.width && height == other.height &&
               style == other.style;
    }
};

std::ostream& operator<<(std::ostream& out, const Control& control)
{
    return out << control.id << " " << control.kind << " \"" << control.text << "\" " << control.x
               << "," << control.y << "," << control.width << "," << control.height << " style 0x"
               << std::hex << control.style << std::dec;
}

const char kButton[] = "#128";
const char kEdit[] = "#129";
const char kStatic[] = "#130";
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

// A version string of the record's one language and code page.
std::string VersionString(std::vector<char>& record, const std::string& name)
{
    char* value = nullptr;
    UINT length = 0;
    const std::string path = "\\StringFileInfo\\041504b0\\" + name;
    if (!::VerQueryValueA(record.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
        length == 0)
        return "(none)";
    return std::string(value, length - 1);
}

} // namespace

TEST(PluginResources, SetupDialogIsThePolishTemplateWithItsFiveControls)
{
    CResourceModule module;
    const std::string data = module.Read(RT_DIALOG, 103, kPolish);
    ASSERT_FALSE(data.empty());
    CTemplateReader reader(data);
    EXPECT_EQ(reader.Take<WORD>(), 1);      // version
    EXPECT_EQ(reader.Take<WORD>(), 0xFFFF); // an extended template
    EXPECT_EQ(reader.Take<DWORD>(), 0u);    // help
    EXPECT_EQ(reader.Take<DWORD>(), 0u);    // extended style
    EXPECT_EQ(reader.Take<DWORD>(), static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | DS_CENTER |
                                                       WS_POPUP | WS_CAPTION | WS_SYSMENU));
    const WORD count = reader.Take<WORD>();
    EXPECT_EQ(count, 5);
    const short frame[4] = {reader.Take<short>(), reader.Take<short>(), reader.Take<short>(),
                            reader.Take<short>()};
    EXPECT_EQ(std::vector<short>(frame, frame + 4), (std::vector<short>{0, 0, 252, 36}));
    EXPECT_EQ(reader.NameOrOrdinal(), ""); // menu
    EXPECT_EQ(reader.NameOrOrdinal(), ""); // the system's dialog class
    EXPECT_EQ(reader.Text(), "QUILLBOX configuration");
    EXPECT_EQ(reader.Take<WORD>(), 8); // points
    EXPECT_EQ(reader.Take<WORD>(), 0); // weight
    EXPECT_EQ(reader.Take<BYTE>(), 0); // italic
    EXPECT_EQ(reader.Take<BYTE>(), 238);
    EXPECT_EQ(reader.Text(), "MS Sans Serif");

    const Control expected[] = {
        {1000, kEdit, "", 90, 6, 40, 12,
         kChild | WS_BORDER | WS_TABSTOP | ES_RIGHT | ES_AUTOHSCROLL | ES_NUMBER},
        {IDOK, kButton, "OK", 135, 5, 50, 15, kChild | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON},
        {IDCANCEL, kButton, "Cancel", 190, 5, 50, 15,
         kChild | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON},
        {0xFFFFFFFF, kStatic, "local POP3 port for RSS", 9, 8, 76, 8, kChild | WS_GROUP | SS_LEFT},
        {1001, kStatic, "vorlenta.software", 192, 24, 54, 8, kChild | WS_GROUP | SS_LEFT},
    };
    for (int i = 0; i < count && i < 5; ++i) {
        reader.AlignToDword();
        Control control;
        reader.Take<DWORD>();                     // help
        EXPECT_EQ(reader.Take<DWORD>(), 0u) << i; // extended style
        control.style = reader.Take<DWORD>();
        control.x = reader.Take<short>();
        control.y = reader.Take<short>();
        control.width = reader.Take<short>();
        control.height = reader.Take<short>();
        control.id = reader.Take<DWORD>();
        control.kind = reader.NameOrOrdinal();
        control.text = reader.NameOrOrdinal();
        EXPECT_EQ(reader.Take<WORD>(), 0) << i; // no creation data
        EXPECT_EQ(control, expected[i]);
    }
}

TEST(PluginResources, VersionRecordIsPolishUnicodeWithTheProductsStrings)
{
    CResourceModule module;
    EXPECT_FALSE(module.Read(RT_VERSION, 1, kPolish).empty());

    const std::string path = BuiltPlugin().string();
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> record(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, record.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(record.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(17, 0));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(28256, 2289));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(17, 0));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(28256, 2289));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    WORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueA(record.data(), "\\VarFileInfo\\Translation",
                                 reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0415);
    EXPECT_EQ(translation[1], 1200);

    const std::pair<const char*, const char*> strings[] = {
        {"CompanyName", "vorlenta.software"},
        {"FileDescription", "RSS reader plug-in for the mail client"},
        {"FileVersion", "0.17.2289.28256"},
        {"InternalName", "QUILLBOX.vorlenta.tbp"},
        {"OriginalFilename", "QUILLBOX.vorlenta.tbp"},
        {"ProductName", "QUILLBOX.vorlenta"},
        {"ProductVersion", "0.17.2289.28256"},
    };
    for (const auto& [name, value] : strings)
        EXPECT_EQ(VersionString(record, name), value) << name;
}

TEST(PluginResources, ManifestAsksForNothing)
{
    CResourceModule module;
    const std::string manifest =
        module.Read(RT_MANIFEST, 2, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    EXPECT_NE(manifest.find("<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
                            "manifestVersion=\"1.0\">"),
              std::string::npos)
        << manifest;
    EXPECT_EQ(manifest.find("<dependency"), std::string::npos) << manifest;
}
