#include "shell/SetupDialog.h"

#include "shell/LocalPort.h"
#include "shell/PluginShell.h"

#include <cctype>
#include <climits>

const char kSetupDialogCaption[] = "QUILLBOX configuration";
const char kPortLabelText[] = "local POP3 port for RSS";
const char kOkButtonText[] = "OK";
const char kCancelButtonText[] = "Cancel";
const char kMakerLabelText[] = "vorlenta.software";

int ParsePortField(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long number = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        number = number * 10 + (text[i] - '0');
        // Past this the result is held anyway, so stop before the accumulator can overflow.
        if (number > static_cast<long long>(INT_MAX) + 1)
            break;
    }
    if (negative)
        number = -number;
    if (number > INT_MAX)
        return INT_MAX;
    if (number < INT_MIN)
        return INT_MIN;
    return static_cast<int>(number);
}

std::intptr_t SetupDialogProc(IDialogWindow& window, unsigned message, std::uintptr_t control,
                              std::intptr_t parameter)
{
    if (message == kDialogInit) {
        window.SetUserData(parameter);
        window.SetItemText(kPortField, std::to_string(ReadLocalPort()));
        return 1;
    }
    if (message != kDialogCommand)
        return 0;
    switch (control & 0xFFFF) {
    case kOkButton: {
        const int port = ParsePortField(window.GetItemText(kPortField, kPortFieldReadLength));
        auto* shell = reinterpret_cast<CPluginShell*>(window.GetUserData());
        if (port != 0 && shell != nullptr)
            shell->ChangePort(port);
        window.EndDialog(1);
        return 1;
    }
    case kCancelButton:
        window.EndDialog(2);
        return 1;
    default:
        return 0;
    }
}
