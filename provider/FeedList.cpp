#include "provider/FeedList.h"

#include "common/ByteString.h"
#include "platform/File.h"
#include "provider/FeedCopyStore.h"
#include "render/Template.h"

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";

// A feed list is read only this far; lines after it, and a line it cuts, are ignored.
constexpr std::size_t kMaxListBytes = 4 * 1024 * 1024;

// A larger template file is not read: the built-in template is used instead.
constexpr std::size_t kMaxTemplateBytes = 1024 * 1024;

bool IsRelativePath(const std::string& path)
{
    if (path.empty() || path[0] == '/' || path[0] == '\\')
        return false;
    return !(path.size() > 1 && path[1] == ':');
}

// The folder part of a path: everything up to and including its last separator.
std::string FolderOf(const std::string& path)
{
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// The content of a feed's template file. A relative name is tried as written (against the
// current folder) first, then beside the feed list, where users keep their templates.
// `outcome` learns whether a name was given but neither gave a template, or the template is
// larger than kMaxTemplateBytes, so that the built-in one is used.
std::string ReadTemplate(const std::string& name, const std::string& listFolder,
                         FeedOutcome& outcome)
{
    // A few bytes more than a template may have: room for a byte order mark, and one byte
    // that tells whether the file goes on.
    const std::size_t readBytes = kMaxTemplateBytes + 4;
    std::string text;
    ReadFileStart(name, readBytes, text);
    if (text.empty() && !listFolder.empty() && IsRelativePath(name))
        ReadFileStart(listFolder + name, readBytes, text);
    outcome.templateMissing = text.empty() && !name.empty();
    if (outcome.templateMissing) {
        outcome.templateDistrust = WhyNotTheUsers(name);
        if (outcome.templateDistrust.empty() && !listFolder.empty() && IsRelativePath(name))
            outcome.templateDistrust = WhyNotTheUsers(listFolder + name);
    }
    outcome.templateTooLarge = text.size() > kMaxTemplateBytes;
    return text.empty() || outcome.templateTooLarge ? kBuiltInTemplate : text;
}

} // namespace

std::string ReadWholeFile(const std::string& path)
{
    std::string text;
    ReadFileStart(path, static_cast<std::size_t>(-1), text);
    return text;
}

bool ReadFileStart(const std::string& path, std::size_t maxBytes, std::string& text)
{
    // Folders, devices and pipes are no lists or templates; a pipe would even block the
    // login for good. A feed's copy is the user's own file, but a server wrote its content.
    if (!platform::ReadTrustedFile(path, text, maxBytes, platform::TooLong::KeepStart) ||
        CFeedCopyStore::IsCopy(text)) {
        text.clear();
        return false;
    }
    if (text.compare(0, 3, kByteOrderMark) == 0)
        text.erase(0, 3);
    return true;
}

std::string WhyNotTheUsers(const std::string& path)
{
    switch (platform::WhyDistrusted(path)) {
    case platform::Distrust::OthersMayWrite:
        return "other users may write to it (or it is theirs)";
    case platform::Distrust::MadeUpBySystem:
        return "the system makes up its content (a file of /proc or /sys, whoever owns it)";
    case platform::Distrust::None:
        break;
    }
    // Enough of its start to tell a feed's copy by.
    std::string start;
    if (platform::ReadTrustedFile(path, start, 64, platform::TooLong::KeepStart) &&
        CFeedCopyStore::IsCopy(start))
        return "it is a copy of a feed that QUILLBOX keeps, whose content a server sent";
    return std::string();
}

bool ReadFeedList(const std::string& listFile, std::vector<std::string>& urls,
                  std::vector<std::string>& templates, std::vector<FeedOutcome>* outcomes,
                  std::size_t maxFeeds)
{
    // One byte more than a list may have tells whether the file goes on; if so, the line
    // the limit cuts is dropped with everything after it.
    std::string text;
    if (!ReadFileStart(listFile, kMaxListBytes + 1, text))
        return false;
    if (text.size() > kMaxListBytes) {
        const std::size_t lastEnd = text.rfind('\n', kMaxListBytes - 1);
        text.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    }
    const std::string listFolder = FolderOf(listFile);
    std::size_t start = 0;
    while (start < text.size() && urls.size() < maxFeeds) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        TrimLeft(line);
        TrimRight(line);
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t separator = line.find(';');
        FeedOutcome outcome;
        if (separator == std::string::npos) {
            urls.push_back(line);
            templates.push_back(kBuiltInTemplate);
        } else {
            std::string url = line.substr(0, separator);
            outcome.templateName = line.substr(separator + 1);
            TrimRight(url);
            TrimLeft(outcome.templateName);
            urls.push_back(url);
            templates.push_back(ReadTemplate(outcome.templateName, listFolder, outcome));
        }
        if (outcomes != nullptr) {
            outcome.url = urls.back();
            outcomes->push_back(std::move(outcome));
        }
    }
    return true;
}
