// Renders a synthetic feed of 3000 items through the built-in template and compares the cost
// with parsing the feed; renders feeds of many empty items, whose cost per item must not grow
// with their number; decodes 50 MB of windows-1251 text through its table; converts whole
// feed documents to UTF-8; reads the same 5000 items as Atom 1.0 entries and as RSS 2.0 items.
#include "feed/FeedDocumentInternal.h"
#include "render/Charset.h"
#include "render/CharsetInternal.h"
#include "render/Template.h"
#include "support/BenchFeeds.h"
#include "support/PeakMemory.h"

#include <tinyxml.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

const int kItems = 3000;
const int kRounds = 5;

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best of several runs of `work`, in seconds.
template <typename Work> double BestOf(int rounds, Work work)
{
    double best = 1e30;
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, Seconds(start));
    }
    return best;
}

std::string SyntheticFeed(const std::string& encoding)
{
    std::string feed = "<?xml version=\"1.0\" encoding=\"" + encoding +
                       "\"?>\n"
                       "<rss version=\"2.0\" xml:base=\"http://example.org/\">\n<channel>\n"
                       "<title>Synthetic News</title>\n<link>http://example.org/</link>\n";
    for (int i = 0; i < kItems; ++i) {
        const std::string number = std::to_string(i);
        feed += "<item>\n<title>Item number " + number + ": something happened today</title>\n";
        feed += "<link>http://example.org/items/" + number + ".html</link>\n";
        feed += "<guid>http://example.org/items/" + number + "</guid>\n";
        feed += "<pubDate>Mon, 07 Dec 2026 08:00:00 GMT</pubDate>\n<description>";
        for (int paragraph = 0; paragraph < 8; ++paragraph)
            feed += "&lt;p&gt;Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do "
                    "eiusmod tempor &lt;b&gt;incididunt&lt;/b&gt;.&lt;/p&gt;\n";
        feed += "</description>\n</item>\n";
    }
    feed += "</channel>\n</rss>\n";
    return feed;
}

// Cyrillic words in windows-1251: letters from 0xC0 up, separated by spaces and punctuation.
std::string Windows1251Text(std::size_t size)
{
    std::mt19937 random(1251);
    std::string text;
    text.reserve(size);
    while (text.size() < size) {
        const int length = 2 + static_cast<int>(random() % 9);
        for (int letter = 0; letter < length; ++letter)
            text += static_cast<char>(0xC0 + random() % 64);
        text += random() % 8 == 0 ? ", " : " ";
    }
    text.resize(size);
    return text;
}

void BenchmarkRendering()
{
    const std::string feed = SyntheticFeed("utf-8");
    const double parseSeconds = BestOf(kRounds, [&] {
        TiXmlDocument document;
        document.Parse(feed.c_str());
    });

    TiXmlDocument document;
    document.Parse(feed.c_str());
    std::vector<const TiXmlElement*> items;
    for (const TiXmlElement* item =
             document.FirstChildElement("rss")->FirstChildElement("channel")->FirstChildElement(
                 "item");
         item; item = item->NextSiblingElement("item"))
        items.push_back(item);
    const std::string uid = "0123456789ABCDEF01234567";
    std::size_t bytes = 0;
    const double renderSeconds = BestOf(kRounds, [&] {
        bytes = 0;
        for (const TiXmlElement* item : items)
            bytes += ExpandTemplate(kBuiltInTemplate, *item, uid).size();
    });
    std::printf("render: %zu items (%.1f MB feed, %.1f MB of messages)\n", items.size(),
                feed.size() / 1e6, bytes / 1e6);
    std::printf("render: parse %.2f ms, render %.2f ms, %.0f items/s, render/parse %.2f "
                "(target at most 0.50)\n",
                parseSeconds * 1e3, renderSeconds * 1e3, items.size() / renderSeconds,
                renderSeconds / parseSeconds);

    const double untouchedSeconds = BestOf(kRounds, [&] {
        std::string copy = feed;
        ConvertToUtf8(copy);
    });
    const std::string legacyFeed = SyntheticFeed("windows-1251");
    const double convertSeconds = BestOf(kRounds, [&] {
        std::string copy = legacyFeed;
        ConvertToUtf8(copy);
    });
    std::printf("convert: utf-8 feed %.2f ms (%.3f of a parse), windows-1251 feed %.2f ms "
                "(%.2f of a parse)\n",
                untouchedSeconds * 1e3, untouchedSeconds / parseSeconds, convertSeconds * 1e3,
                convertSeconds / parseSeconds);
}

// A feed of nothing but empty items, "<item/>" each: the channel gives no title and no date,
// so every item's message looks for them among the channel's children.
void BenchmarkEmptyItems()
{
    for (const int count : {50000, 100000, 200000}) {
        std::string feed = "<rss><channel>";
        for (int item = 0; item < count; ++item)
            feed += "<item/>";
        feed += "</channel></rss>";
        std::size_t messages = 0;
        const double seconds =
            BestOf(1, [&] { messages = ParseFeed(feed, kBuiltInTemplate).size(); });
        std::printf("render: %zu messages of %d empty items in %.0f ms, %.2f us an item\n",
                    messages, count, seconds * 1e3, seconds * 1e6 / count);
    }
}

// One feed of 5000 entries through the whole reading of a document (parse, the view of an
// Atom feed, rendering), as Atom 1.0 and as RSS 2.0. Runs first, so that the peak memory
// it prints is that of one feed.
void BenchmarkAtomEntries()
{
    const int entries = 5000;
    std::mt19937 atomRandom(7);
    std::mt19937 rssRandom(7);
    const std::string atom = MakeBenchFeed(0, entries, atomRandom, BenchFormat::Atom);
    const std::string rss = MakeBenchFeed(0, entries, rssRandom, BenchFormat::RSS);
    const long baseKilobytes = PeakMemoryKilobytes();
    std::size_t atomMessages = 0;
    std::size_t rssMessages = 0;
    double atomSeconds = BestOf(1, [&] {
        atomMessages = ParseFeed(atom, kBuiltInTemplate, "http://example.org/feed.xml").size();
    });
    const long atomKilobytes = PeakMemoryKilobytes() - baseKilobytes;
    // The two kinds take turns, so that other work on the machine weighs on both alike.
    double rssSeconds = 1e30;
    for (int round = 0; round < 2 * kRounds; ++round) {
        rssSeconds =
            std::min(rssSeconds, BestOf(1, [&] {
                         rssMessages =
                             ParseFeed(rss, kBuiltInTemplate, "http://example.org/feed.xml").size();
                     }));
        atomSeconds = std::min(atomSeconds, BestOf(1, [&] {
                                   ParseFeed(atom, kBuiltInTemplate, "http://example.org/feed.xml");
                               }));
    }
    std::printf("atom: %zu entries (%.1f MB) in %.1f ms, %.2f us an entry; RSS 2.0 %zu items "
                "(%.1f MB) in %.1f ms, %.2f us an item; Atom/RSS per entry %.2f (target at most "
                "1.20)\n",
                atomMessages, atom.size() / 1e6, atomSeconds * 1e3, atomSeconds * 1e6 / entries,
                rssMessages, rss.size() / 1e6, rssSeconds * 1e3, rssSeconds * 1e6 / entries,
                atomSeconds / rssSeconds);
    std::printf("atom: peak memory of reading the feed %ld KB, %.2f times the document (target "
                "at most 4)\n",
                atomKilobytes, atomKilobytes * 1024.0 / atom.size());
}

void BenchmarkDecoding()
{
    const std::string text = Windows1251Text(50u << 20);
    const CharsetTable& table = CharsetTables().at("windows-1251");
    std::size_t decoded = 0;
    const double seconds = BestOf(3, [&] { decoded = DecodeWithTable(text, table).size(); });
    std::printf("decode: windows-1251 %.0f MB in %.1f ms, %.0f MB/s (target at least 400), "
                "%.0f MB out\n",
                text.size() / 1e6, seconds * 1e3, text.size() / 1e6 / seconds, decoded / 1e6);
}

} // namespace

int main()
{
    BenchmarkAtomEntries();
    BenchmarkRendering();
    BenchmarkEmptyItems();
    BenchmarkDecoding();
    std::printf("render: peak memory %ld KB\n", PeakMemoryKilobytes());
    return 0;
}
