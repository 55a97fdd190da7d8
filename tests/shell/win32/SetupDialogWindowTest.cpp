// The setup dialog as the Windows dialog manager shows it: TBP_Setup runs it modally on the
// test's thread while another thread plays the user, finding it by its caption, reading the
// port field, typing and pressing a button.

#include "shell/win32/PluginTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

using namespace plugintest;
using namespace shelltest;

namespace {

constexpr int kPatienceMilliseconds = 20000;

// What the user saw.
struct Seen
{
    bool found = false;
    std::string shownPort;
    std::string typedPort; // the field's text after typing
    bool closedByButton = true;
};

std::string FieldText(HWND dialog)
{
    char text[128] = {};
    ::GetDlgItemTextA(dialog, 1000, text, sizeof text);
    return text;
}

// Writes the window's picture on the screen as a 24-bit BMP file.
void SaveScreenshot(HWND window, const std::string& path)
{
    RECT frame;
    ::GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    ::SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int rowBytes = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<std::size_t>(rowBytes) * height);
    ::GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                DIB_RGB_COLORS);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));

    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
}

// The dialog the thread shows, once the dialog manager has shown it (after its
// initialisation), or null when none comes within the patience.
HWND WaitForDialog(DWORD dialogThread)
{
    for (int waited = 0; waited < kPatienceMilliseconds; waited += 20) {
        HWND dialog = ::FindWindowA("#32770", "QUILLBOX configuration");
        if (dialog != nullptr && ::IsWindowVisible(dialog) &&
            ::GetWindowThreadProcessId(dialog, nullptr) == dialogThread)
            return dialog;
        ::Sleep(20);
    }
    return nullptr;
}

BOOL CALLBACK Cancel(HWND window, LPARAM)
{
    ::PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

// Cancels whatever the thread shows, so that a test whose dialog went wrong fails instead
// of hanging.
void CancelWindowsOf(DWORD dialogThread)
{
    ::EnumThreadWindows(dialogThread, Cancel, 0);
}

// Plays the user at the dialog the thread `dialogThread` shows: selects the field's text,
// types `typed` key by key and presses `button`; first takes a screenshot into the file
// `screenshot`, unless that is empty.
Seen PlayUser(DWORD dialogThread, const std::string& typed, int button,
              const std::string& screenshot)
{
    Seen seen;
    HWND dialog = WaitForDialog(dialogThread);
    if (dialog == nullptr) {
        CancelWindowsOf(dialogThread);
        return seen;
    }
    seen.found = true;
    seen.shownPort = FieldText(dialog);
    if (!screenshot.empty()) {
        // Time for the controls to paint themselves.
        ::Sleep(500);
        SaveScreenshot(dialog, screenshot);
    }

    HWND field = ::GetDlgItem(dialog, 1000);
    ::SendMessageA(field, EM_SETSEL, 0, -1);
    for (char key : typed)
        ::SendMessageA(field, WM_CHAR, static_cast<unsigned char>(key), 0);
    seen.typedPort = FieldText(dialog);
    ::SendMessageA(::GetDlgItem(dialog, button), BM_CLICK, 0, 0);
    for (int waited = 0; waited < kPatienceMilliseconds && ::IsWindow(dialog); waited += 20)
        ::Sleep(20);
    if (::IsWindow(dialog)) {
        seen.closedByButton = false;
        CancelWindowsOf(dialogThread);
    }
    return seen;
}

// Runs the plug-in's TBP_Setup while another thread plays the user.
Seen RunDialog(CPluginLibrary& plugin, const std::string& typed, int button,
               const std::string& screenshot = std::string())
{
    Seen seen;
    const DWORD thisThread = ::GetCurrentThreadId();
    std::thread user([&] { seen = PlayUser(thisThread, typed, button, screenshot); });
    EXPECT_EQ(plugin.Setup(), 0);
    user.join();
    EXPECT_TRUE(seen.found);
    EXPECT_TRUE(seen.closedByButton);
    return seen;
}

// A plug-in serving on a stored free port, whose setup dialog the test opens.
class SetupDialogWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_storedPort = FreePort();
        m_registry.StorePort(m_storedPort);
        ASSERT_EQ(m_plugin->Initialize(), 0);
        ASSERT_TRUE(IsListening(m_storedPort));
    }

    CRegistrySandbox m_registry;
    CFreshPlugin m_plugin;
    int m_storedPort = 0;
};

} // namespace

TEST_F(SetupDialogWindow, OkWithANewPortMovesTheServerAndStoresThePort)
{
    const int newPort = FreePort();
    // The field takes digits only: the letter is refused.
    const Seen seen = RunDialog(*m_plugin, "x" + std::to_string(newPort), IDOK);
    EXPECT_EQ(seen.shownPort, std::to_string(m_storedPort));
    EXPECT_EQ(seen.typedPort, std::to_string(newPort));
    EXPECT_TRUE(IsListening(newPort));
    EXPECT_FALSE(IsListening(m_storedPort));
    EXPECT_EQ(m_registry.StoredPort(), newPort);
    EXPECT_EQ(m_plugin->GetStatus(), 0);
}

TEST_F(SetupDialogWindow, CancelChangesNothing)
{
    const int newPort = FreePort();
    RunDialog(*m_plugin, std::to_string(newPort), IDCANCEL);
    EXPECT_TRUE(IsListening(m_storedPort));
    EXPECT_FALSE(IsListening(newPort));
    EXPECT_EQ(m_registry.StoredPort(), m_storedPort);
}

TEST_F(SetupDialogWindow, ABusyPortFallsBackToTheStoredOne)
{
    CBusyPort busy;
    RunDialog(*m_plugin, std::to_string(busy.Port()), IDOK);
    EXPECT_TRUE(IsListening(m_storedPort));
    EXPECT_EQ(m_registry.StoredPort(), m_storedPort);
}

TEST(SetupDialogWindowWithoutKey, ShowsTheDefaultPortAndMovesWithoutRemembering)
{
    CRegistrySandbox registry;
    CFreshPlugin plugin;
    const int newPort = FreePort();
    // The picture of the dialog for the documentation, when asked for.
    const char* screenshot = std::getenv("QUILLBOX_SCREENSHOT");
    const Seen seen =
        RunDialog(*plugin, std::to_string(newPort), IDOK, screenshot ? screenshot : "");
    EXPECT_EQ(seen.shownPort, "11100");
    EXPECT_TRUE(IsListening(newPort));
    EXPECT_EQ(registry.StoredPort(), -1);
}
