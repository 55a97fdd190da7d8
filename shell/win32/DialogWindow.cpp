// The setup dialog drawn by the Windows dialog manager from the module's dialog resource.
// The dialog procedure only translates the manager's messages for SetupDialogProc.

#include "shell/Module.h"
#include "shell/PluginShell.h"
#include "shell/SetupDialog.h"
#include "shell/win32/ModuleInstance.h"

#include <vector>

namespace {

// One open dialog as SetupDialogProc sees it; lives for one message.
class CWin32DialogWindow : public IDialogWindow
{
public:
    explicit CWin32DialogWindow(HWND window) : m_window(window) {}

    void SetItemText(int item, const std::string& text) override
    {
        ::SetDlgItemTextA(m_window, item, text.c_str());
    }
    // Read into a zero-filled buffer, which GetDlgItemTextA fills with at most `maxLength`
    // characters and a terminating zero.
    std::string GetItemText(int item, std::size_t maxLength) override
    {
        std::vector<char> buffer(maxLength + 1, '\0');
        ::GetDlgItemTextA(m_window, item, buffer.data(), static_cast<int>(buffer.size()));
        return std::string(buffer.data());
    }
    void EndDialog(std::intptr_t result) override { ::EndDialog(m_window, result); }
    void SetUserData(std::intptr_t data) override
    {
        ::SetWindowLongPtrA(m_window, DWLP_USER, data);
    }
    std::intptr_t GetUserData() const override { return ::GetWindowLongPtrA(m_window, DWLP_USER); }

private:
    HWND m_window;
};

INT_PTR CALLBACK SetupDialogProc(HWND window, UINT message, WPARAM control, LPARAM parameter)
{
    if (message != WM_INITDIALOG && message != WM_COMMAND)
        return FALSE;
    // Called by the dialog manager from the host's message loop: nothing may escape.
    try {
        CWin32DialogWindow dialog(window);
        return ::SetupDialogProc(dialog, message, control, parameter);
    } catch (...) {
        return FALSE;
    }
}

} // namespace

static_assert(WM_INITDIALOG == kDialogInit && WM_COMMAND == kDialogCommand,
              "the dialog logic numbers its messages as the dialog manager does");
static_assert(IDOK == kOkButton && IDCANCEL == kCancelButton, "the buttons' identifiers");

void RunSetupDialog(CPluginShell& shell)
{
    ::DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(kSetupDialogResource), ::GetActiveWindow(),
                      SetupDialogProc, reinterpret_cast<LPARAM>(&shell));
}
