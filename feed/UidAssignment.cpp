#include "feed/UidAssignment.h"

#include "render/LineLength.h"

#include <random>
#include <string_view>
#include <unordered_map>

namespace {

const char kDigits[] = "0123456789ABCDEF";
constexpr std::size_t kStandInDigits = 24;

// Writes `uid` at `places` of `text`, where a text of `length` bytes stands now.
void ReplaceAt(std::string& text, const std::vector<std::size_t>& places, std::size_t length,
               const std::string& uid)
{
    // From the last place back, so that the earlier places stay where they are.
    for (auto place = places.rbegin(); place != places.rend(); ++place)
        text.replace(*place, length, uid);
}

// Whether a line that holds a uid written at `places` by ReplaceAt, in place of texts of
// `length` bytes, is now longer than a message line may be.
bool MadeALineTooLong(const std::string& text, const std::vector<std::size_t>& places,
                      std::size_t length, std::size_t uidLength)
{
    std::size_t shift = 0;
    for (const std::size_t place : places) {
        const std::size_t at = place + shift;
        shift += uidLength - length;
        const std::size_t lineStart = text.rfind('\n', at);
        const std::size_t lineEnd = text.find("\r\n", at);
        const std::size_t start = lineStart == std::string::npos ? 0 : lineStart + 1;
        const std::size_t end = lineEnd == std::string::npos ? text.size() : lineEnd;
        if (end - start > kMaxLineLength)
            return true;
    }
    return false;
}

// Where the body of a rendered message begins: after its first empty line, which ends the
// header.
std::size_t BodyStart(const std::string& message)
{
    const std::size_t headerEnd = message.find("\r\n\r\n");
    return headerEnd == std::string::npos ? 0 : headerEnd + 4;
}

} // namespace

std::string UidStandIn()
{
    // One generator per thread, seeded by the system: no lock between rendering threads.
    static thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seeds{device(), device(), device(), device()};
        return std::mt19937_64(seeds);
    }();
    std::string standIn;
    standIn.reserve(kStandInDigits);
    while (standIn.size() < kStandInDigits) {
        std::uint64_t draw = generator();
        for (int digit = 0; digit < 16 && standIn.size() < kStandInDigits; ++digit, draw >>= 4)
            standIn += kDigits[draw & 0xF];
    }
    return standIn;
}

void PlaceUid(MessageEntry& message, const std::string& standIn)
{
    message.uidPlaces.clear();
    for (std::size_t place = message.text.find(standIn); place != std::string::npos;
         place = message.text.find(standIn, place + standIn.size()))
        message.uidPlaces.push_back(place);
    ReplaceAt(message.text, message.uidPlaces, standIn.size(), message.uid);
}

std::string DistinctUid(const MessageEntry& message)
{
    return message.uid + "-" + message.identity;
}

void AssignUids(MessageList& mailbox)
{
    // The views look into the messages' uids, which stay as they are.
    std::unordered_map<std::string_view, std::size_t> lastOfUid;
    lastOfUid.reserve(mailbox.size());
    for (std::size_t index = 0; index < mailbox.size(); ++index)
        lastOfUid[mailbox[index].uid] = index;
    for (MessageEntry& message : mailbox) {
        const MessageEntry& keeper = mailbox[lastOfUid[message.uid]];
        if (message.identity != keeper.identity) {
            const std::string uid = DistinctUid(message);
            ReplaceAt(message.text, message.uidPlaces, message.uid.size(), uid);
            // Only a line the longer uid made too long is broken again: every other line is
            // as the rendering left it.
            if (MadeALineTooLong(message.text, message.uidPlaces, message.uid.size(), uid.size()))
                LimitLineLengths(message.text, BodyStart(message.text));
        }
        std::vector<std::size_t>().swap(message.uidPlaces);
    }
}
