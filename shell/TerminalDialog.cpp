#include "shell/TerminalDialog.h"

#include "common/ByteString.h"

#include <algorithm>
#include <string>

namespace {

bool IsDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char byte) { return byte >= '0' && byte <= '9'; });
}

// `text` padded with blanks to `width`, right-aligned like the port field.
std::string AlignedRight(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

} // namespace

std::intptr_t CTerminalDialog::Run(DialogProcedure procedure, std::intptr_t parameter)
{
    m_ended = false;
    m_result = 0;
    procedure(*this, kDialogInit, 0, parameter);
    while (!m_ended) {
        Draw();
        std::string line;
        if (!std::getline(m_input, line)) {
            procedure(*this, kDialogCommand, kCancelButton, 0);
            // A procedure that does not close on Cancel must not keep an input-less dialog
            // open for ever.
            if (!m_ended)
                EndDialog(kCancelButton);
            break;
        }
        TrimLeft(line);
        TrimRight(line);
        const std::string answer = ToLowerASCII(line);
        if (answer == "c" || answer == "cancel") {
            procedure(*this, kDialogCommand, kCancelButton, 0);
        } else if (answer.empty() || answer == "ok") {
            procedure(*this, kDialogCommand, kOkButton, 0);
        } else if (IsDigits(line)) {
            SetItemText(kPortField, line);
            procedure(*this, kDialogCommand, kOkButton, 0);
        } else {
            m_output << "Only digits can be typed into the port field.\n";
        }
    }
    m_output.flush();
    return m_result;
}

void CTerminalDialog::SetItemText(int item, const std::string& text)
{
    m_items[item] = text;
}

std::string CTerminalDialog::GetItemText(int item, std::size_t maxLength)
{
    const std::string& text = m_items[item];
    return text.substr(0, maxLength);
}

void CTerminalDialog::EndDialog(std::intptr_t result)
{
    m_result = result;
    m_ended = true;
}

void CTerminalDialog::Draw()
{
    const std::string caption = std::string("-- ") + kSetupDialogCaption + " ";
    const std::string controls = std::string(kPortLabelText) + "  [" +
                                 AlignedRight(m_items[kPortField], 6) + "]  < " + kOkButtonText +
                                 " >  < " + kCancelButtonText + " >";
    const std::size_t width = std::max(controls.size(), caption.size()) + 4;
    m_output << "\n+" << caption << std::string(width - caption.size(), '-') << "+\n"
             << "|  " << controls << std::string(width - controls.size() - 2, ' ') << "|\n"
             << "|" << AlignedRight(std::string(kMakerLabelText) + "  ", width) << "|\n"
             << "+" << std::string(width, '-') << "+\n"
             << "Type a port and press Enter for " << kOkButtonText
             << " (Enter alone keeps the port shown), or type c for " << kCancelButtonText << ": "
             << std::flush;
}
