#include "BenchFeeds.h"

std::string MakeBenchFeed(int feed, int items, std::mt19937& random, BenchFormat format)
{
    static const char* const kCharsets[] = {"windows-1251", "iso-8859-1", "iso-8859-7"};
    const bool singleByte = feed % 3 == 2;
    const bool atom = format == BenchFormat::Atom;
    std::string document = "<?xml version=\"1.0\" encoding=\"";
    document += singleByte ? kCharsets[(feed / 3) % 3] : "utf-8";
    const std::string title = "Feed number " + std::to_string(feed);
    if (atom)
        document += "\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\" "
                    "xml:base=\"http://example.org/\">\n<title>" +
                    title +
                    "</title>\n<link href=\"http://example.org/\"/>\n"
                    "<subtitle>Benchmark feed</subtitle>\n<id>urn:bench:" +
                    std::to_string(feed) +
                    "</id>\n<updated>2026-12-07T08:00:00Z</updated>\n"
                    "<author><name>Bench</name></author>\n";
    else
        document += "\"?>\n<rss version=\"2.0\" xml:base=\"http://example.org/\">\n<channel>\n"
                    "<title>" +
                    title +
                    "</title>\n<link>http://example.org/</link>\n"
                    "<description>Benchmark feed</description>\n";
    const std::string word = singleByte ? "\xC0\xE1\xE2\xE3\xE4\xE5" : "caf\xC3\xA9s";
    for (int item = 0; item < items; ++item) {
        const std::string id = std::to_string(feed) + "-" + std::to_string(item);
        const std::string itemTitle = "Item " + id + " about " + word + " and more";
        const std::string link = "http://example.org/items/" + id + ".html";
        if (atom)
            document += "<entry>\n<title>" + itemTitle + "</title>\n<link href=\"" + link +
                        "\"/>\n<id>urn:bench:" + id +
                        "</id>\n<updated>2026-12-07T08:00:00Z</updated>\n<content type=\"html\">";
        else
            document += "<item>\n<title>" + itemTitle + "</title>\n<link>" + link +
                        "</link>\n<guid isPermaLink=\"false\">urn:bench:" + id +
                        "</guid>\n<pubDate>Mon, 07 Dec 2026 08:00:00 GMT</pubDate>\n"
                        "<description>";
        std::string html;
        while (html.size() < 1000) {
            html += "&lt;p&gt;Paragraph " + std::to_string(random() % 1000) + " with " + word +
                    " &amp; &lt;a href=\"http://example.org/" + std::to_string(random()) +
                    "\"&gt;a link&lt;/a&gt;.&lt;/p&gt;\n";
        }
        document += html + (atom ? "</content>\n</entry>\n" : "</description>\n</item>\n");
    }
    document += atom ? "</feed>\n" : "</channel>\n</rss>\n";
    return document;
}
