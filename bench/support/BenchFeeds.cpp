#include "BenchFeeds.h"

std::string MakeBenchFeed(int feed, int items, std::mt19937& random)
{
    static const char* const kCharsets[] = {"windows-1251", "iso-8859-1", "iso-8859-7"};
    const bool singleByte = feed % 3 == 2;
    std::string document = "<?xml version=\"1.0\" encoding=\"";
    document += singleByte ? kCharsets[(feed / 3) % 3] : "utf-8";
    document += "\"?>\n<rss version=\"2.0\" xml:base=\"http://example.org/\">\n<channel>\n"
                "<title>Feed number " +
                std::to_string(feed) +
                "</title>\n<link>http://example.org/</link>\n"
                "<description>Benchmark feed</description>\n";
    const std::string word = singleByte ? "\xC0\xE1\xE2\xE3\xE4\xE5" : "caf\xC3\xA9s";
    for (int item = 0; item < items; ++item) {
        const std::string id = std::to_string(feed) + "-" + std::to_string(item);
        document += "<item>\n<title>Item " + id + " about " + word + " and more</title>\n";
        document += "<link>http://example.org/items/" + id + ".html</link>\n";
        document += "<guid isPermaLink=\"false\">urn:bench:" + id + "</guid>\n";
        document += "<pubDate>Mon, 07 Dec 2026 08:00:00 GMT</pubDate>\n<description>";
        std::string html;
        while (html.size() < 1000) {
            html += "&lt;p&gt;Paragraph " + std::to_string(random() % 1000) + " with " + word +
                    " &amp; &lt;a href=\"http://example.org/" + std::to_string(random()) +
                    "\"&gt;a link&lt;/a&gt;.&lt;/p&gt;\n";
        }
        document += html + "</description>\n</item>\n";
    }
    document += "</channel>\n</rss>\n";
    return document;
}
