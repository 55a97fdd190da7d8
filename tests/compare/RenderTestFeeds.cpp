// Renders every document of the project's test feeds, and the small documents of the shapes
// feeds take (support/FeedShapes.h), through the whole provider (feed list, character set
// conversion, parsing, uids, the built-in template) and writes each message's uid and text
// into one file, so that the outputs of the Linux and the Windows build can be
// compared byte for byte (tools/compare-rendering.sh).
//
//     quillbox_render_test_feeds OUTPUT_FILE
#include "provider/FeedList.h"
#include "provider/MessageProviderRSS.h"
#include "support/FeedCollection.h"
#include "support/FeedShapes.h"
#include "support/TempFolder.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Where the feeds seem to come from, so that their relative links have a base.
const std::string kFeedUrl = "http://feeds.example/";

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FILE\n", argv[0]);
        return 2;
    }
    const CFeedCollection feeds = CFeedCollection::TestFeeds();
    const std::vector<FeedDocument> documents = feeds.ReadManifest();
    if (documents.empty()) {
        std::fprintf(stderr, "no test feeds in %s\n", feeds.Folder().c_str());
        return 1;
    }
    // The test feeds, then the small documents of the shapes feeds take.
    std::vector<std::string> texts;
    for (const FeedDocument& document : documents)
        texts.push_back(feeds.Read(document));
    for (const FeedShape& shape : FeedShapes())
        texts.push_back(shape.document);
    const CTempFolder folder;
    std::string output;
    std::size_t messages = 0;
    // One feed list after another, each as long as a list may be; a feed's URL ends in the
    // index of its document.
    for (std::size_t first = 0; first < texts.size(); first += kMaxFeeds) {
        std::string list;
        for (std::size_t index = first; index < texts.size() && index < first + kMaxFeeds; ++index)
            list += kFeedUrl + std::to_string(index) + "\n";
        CMessageProviderRSS::Services services;
        services.fetch = [&](const std::string& url, CCancelSignal*, CByteBudget*,
                             DownloadTrace& trace) {
            trace.finalUrl = url;
            return texts[std::stoul(url.substr(kFeedUrl.size()))];
        };
        services.copies = nullptr;
        CMessageProviderRSS provider(folder.Write("feeds.txt", list), "x", std::move(services));
        for (const MessageEntry& message : provider.GetMessages().messages) {
            output += message.uid + "\n" + message.text + "\n";
            ++messages;
        }
    }
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr || std::fwrite(output.data(), 1, output.size(), file) != output.size() ||
        std::fclose(file) != 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%zu messages from %zu test feeds and %zu shapes of feeds\n", messages,
                documents.size(), FeedShapes().size());
    return 0;
}
