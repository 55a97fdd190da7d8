// The mailbox commands of CPOP3Session: STAT, LIST, UIDL, TOP, RETR and DELE. They answer
// from the session's own copy of the message list and never call the provider.
#include "common/ByteString.h"
#include "feed/Fingerprint.h"
#include "pop3/CommandLine.h"
#include "pop3/POP3Session.h"
#include "pop3/Replies.h"

#include <string_view>

namespace {

std::string SizeOf(const MessageEntry& entry)
{
    return std::to_string(entry.text.size());
}

bool EndsInCRLF(std::string_view text)
{
    return text.size() >= 2 && text.substr(text.size() - 2) == "\r\n";
}

} // namespace

std::string CPOP3Session::MessageUidl(const std::string& text)
{
    static const std::string kMarker = "Message-ID:";
    const std::size_t marker = text.find(kMarker);
    if (marker == std::string::npos)
        return Fingerprint(text);
    const std::size_t start = marker + kMarker.size();
    std::string value = text.substr(start, text.find('\n', start) - start);
    TrimLeft(value);
    TrimRight(value);
    return value;
}

std::string_view CPOP3Session::DotStuffed(std::string_view text, std::string& stuffed)
{
    std::size_t copied = 0;
    for (std::size_t dot = text.find('.'); dot != std::string_view::npos;
         dot = text.find('.', dot + 1)) {
        if (dot != 0 && !EndsInCRLF(text.substr(0, dot)))
            continue;
        stuffed.append(text.substr(copied, dot + 1 - copied));
        copied = dot; // this dot goes out a second time with what follows it
    }
    if (stuffed.empty())
        return text;
    stuffed.append(text.substr(copied));
    return stuffed;
}

bool CPOP3Session::IsValidMessage(int number) const
{
    return number >= 1 && static_cast<std::size_t>(number) <= m_messages.size();
}

int CPOP3Session::RequireMessage(const std::string& line)
{
    const int number = FirstNumber(line);
    if (IsValidMessage(number))
        return number;
    m_channel->SendLine(pop3reply::kNoSuchMessage);
    return 0;
}

void CPOP3Session::OnStat()
{
    unsigned long long total = 0;
    for (const MessageEntry& entry : m_messages)
        total += entry.text.size();
    m_channel->SendLine("+OK " + std::to_string(m_messages.size()) + " " + std::to_string(total) +
                        "\r\n");
}

void CPOP3Session::OnList(const std::string& line)
{
    ListMessages(line, SizeOf);
}

void CPOP3Session::OnUidl(const std::string& line)
{
    ListMessages(line, [](const MessageEntry& entry) { return MessageUidl(entry.text); });
}

void CPOP3Session::ListMessages(const std::string& line,
                                const std::function<std::string(const MessageEntry&)>& value)
{
    const int number = FirstNumber(line);
    if (number < 0) {
        // Built whole and sent at once, so the client receives the listing in one piece.
        std::string listing = pop3reply::kMessageListFollows;
        for (std::size_t index = 0; index < m_messages.size(); ++index) {
            listing += std::to_string(index + 1);
            listing += ' ';
            listing += value(m_messages[index]);
            listing += "\r\n";
        }
        listing += ".\r\n";
        m_channel->SendLine(listing);
    } else if (IsValidMessage(number)) {
        m_channel->SendLine("+OK " + std::to_string(number) + " " + value(m_messages[number - 1]) +
                            "\r\n");
    } else {
        m_channel->SendLine(pop3reply::kNoSuchMessage);
    }
}

void CPOP3Session::OnTop(const std::string& line)
{
    const auto [number, bodyLines] = TwoNumbers(line);
    if (!IsValidMessage(number)) {
        m_channel->SendLine(pop3reply::kNoSuchMessage);
        return;
    }
    if (bodyLines < 0) {
        m_channel->SendLine(pop3reply::kBadParameter);
        return;
    }
    // Header lines up to the first empty CR LF line, then that line and at most `bodyLines`
    // lines of the body. Lines end at each LF; a last piece without one gets CR LF appended,
    // so that the end line that follows begins a line for every client.
    const std::string_view text = m_messages[number - 1].text;
    bool inBody = false;
    long long linesLeft = static_cast<long long>(bodyLines) + 1;
    std::size_t shownLength = 0;
    while (shownLength < text.size()) {
        const std::size_t end = text.find('\n', shownLength);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view piece = text.substr(shownLength, next - shownLength);
        if (!inBody && piece == "\r\n")
            inBody = true;
        if (inBody && linesLeft-- == 0)
            break;
        shownLength = next;
    }
    std::string_view shown = text.substr(0, shownLength);
    std::string ended;
    if (!shown.empty() && shown.back() != '\n') {
        ended.reserve(shown.size() + 2);
        ended.append(shown).append("\r\n");
        shown = ended;
    }
    std::string stuffed;
    m_channel->SendLines({pop3reply::kMessageFollows, DotStuffed(shown, stuffed), ".\r\n"});
}

void CPOP3Session::OnRetr(const std::string& line)
{
    const int number = RequireMessage(line);
    if (number == 0)
        return;
    // Line ends are not repaired; only dots that begin lines are doubled.
    std::string stuffed;
    m_channel->SendLines({pop3reply::kMessageFollows,
                          DotStuffed(m_messages[number - 1].text, stuffed), "\r\n.\r\n"});
}

void CPOP3Session::OnDele(const std::string& line)
{
    const int number = RequireMessage(line);
    if (number == 0)
        return;
    m_channel->SendLine(pop3reply::kDeleteMarked);
    const std::size_t index = static_cast<std::size_t>(number - 1);
    if (!m_marked[index]) {
        m_marked[index] = true;
        m_deleted.push_back(index);
    }
}
