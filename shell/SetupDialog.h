#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The setup dialog in which the user chooses the local port. Its logic (SetupDialogProc) is
// kept apart from its drawing: a drawing implements IDialogWindow, shows the controls below
// and turns the user's actions into calls of the procedure, as the system's dialog manager
// does with a dialog resource.

constexpr int kSetupDialogResource = 103;
constexpr int kPortField = 1000;  // edit field, digits only
constexpr int kOkButton = 1;      // default push button
constexpr int kCancelButton = 2;  // push button
constexpr int kMakerLabel = 1001; // static label
constexpr int kPortFieldReadLength = 127;

extern const char kSetupDialogCaption[]; // "QUILLBOX configuration"
extern const char kPortLabelText[];      // "local POP3 port for RSS"
extern const char kOkButtonText[];
extern const char kCancelButtonText[];
extern const char kMakerLabelText[];

// Messages to the procedure, numbered as the Windows dialog manager numbers them.
constexpr unsigned kDialogInit = 0x0110;    // parameter: the CPluginShell* to work on
constexpr unsigned kDialogCommand = 0x0111; // control: the low 16 bits of `control`

// One open dialog as its procedure sees it. Used on the thread that runs the dialog.
class IDialogWindow
{
public:
    virtual void SetItemText(int item, const std::string& text) = 0;
    // At most `maxLength` bytes of the item's text.
    virtual std::string GetItemText(int item, std::size_t maxLength) = 0;
    // Closes the dialog; the drawing returns `result` to whoever opened it.
    virtual void EndDialog(std::intptr_t result) = 0;
    // A value the procedure keeps with the window from one message to the next.
    virtual void SetUserData(std::intptr_t data) = 0;
    virtual std::intptr_t GetUserData() const = 0;

protected:
    ~IDialogWindow() = default;
};

using DialogProcedure = std::intptr_t (*)(IDialogWindow& window, unsigned message,
                                          std::uintptr_t control, std::intptr_t parameter);

// The setup dialog's procedure. On kDialogInit it shows the stored port in the field and
// returns 1. On OK it reads the field (at most 127 characters) as a decimal number, leading
// digits only; a number other than 0 moves the server there (CPluginShell::ChangePort).
// OK then closes the dialog with 1, Cancel closes it with 2, changing nothing; both return
// 1. Anything else returns 0, unhandled.
std::intptr_t SetupDialogProc(IDialogWindow& window, unsigned message, std::uintptr_t control,
                              std::intptr_t parameter);

// The number at the start of the field's text the way the C library's atoi reads it
// (optional blanks and sign, then digits; 0 without digits), except that a number beyond
// the range of int is held at the nearest end of that range instead of being undefined.
int ParsePortField(const std::string& text);
