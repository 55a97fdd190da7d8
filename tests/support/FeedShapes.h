#pragma once

#include <string>
#include <vector>

// Small documents in the shapes that real feeds take beyond the plain RSS 2.0 item, each with
// what a reader must see of it when it is rendered through the built-in template. The tests
// check each; the rendering comparison renders them on both systems.

struct FeedShape
{
    const char* what; // the shape, for failure messages
    std::string document;
    std::size_t messages; // how many messages it gives
    std::size_t uids;     // how many different uids they have
    // The Subject line of the first message, after "Subject: ".
    std::string subject;
    // What the first message must hold, header or body.
    std::vector<std::string> shown;
};

inline std::string ShapeRSS(const std::string& items, const std::string& title = "News")
{
    return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" "
           "xmlns:content=\"http://purl.org/rss/1.0/modules/content/\"><channel><title>" +
           title + "</title>" + items + "</channel></rss>\n";
}

inline std::string ShapeAtom(const std::string& entries, const std::string& feedAttributes = "")
{
    return "<?xml version=\"1.0\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\"" + feedAttributes +
           "><title>Blog</title>" + entries + "</feed>\n";
}

inline const std::vector<FeedShape>& FeedShapes()
{
    const std::string gallery = [] {
        std::string pictures;
        for (int index = 0; index < 40; ++index) {
            const std::string number = std::to_string(index);
            pictures += "<a href=\"/p/" + number + "\" style=\"border:0\"><img src=\"/i/" + number +
                        ".jpg\" alt=\"\"/></a>";
        }
        return pictures;
    }();
    static const std::vector<FeedShape> shapes = {
        {"text and CDATA pieces",
         ShapeRSS("<item><title>A <![CDATA[&]]> B</title><description>Breaking: "
                  "<![CDATA[<b>Big News</b>]]> today</description></item>"),
         1,
         1,
         "=?utf-8?Q?A_=26_B?=",
         {">A & B</a>", "\r\nBreaking: <b>Big News</b> today\r\n"}},
        {"markup written as elements",
         ShapeRSS("<item><title>Hello <b>bold</b> world</title><description><p>Hello "
                  "<b>bold</b> world</p></description></item>",
                  "The <i>Daily</i>"),
         1,
         1,
         "=?utf-8?Q?Hello_bold_world?=",
         {">Hello bold world</a>", "\r\n<p>Hello <b>bold</b> world</p>\r\n",
          "From: =?utf-8?Q?The_Daily?= <"}},
        {"content:encoded without a description",
         ShapeRSS("<item><title>T</title><content:encoded><![CDATA[<p>Full article</p>]]>"
                  "</content:encoded></item>"),
         1,
         1,
         "T",
         {"<hr>\r\n<p>Full article</p>\r\n"}},
        {"content:encoded beside an empty description",
         ShapeRSS("<item><title>T</title><description> </description><content:encoded>&lt;p&gt;"
                  "Full&lt;/p&gt;</content:encoded></item>"),
         1,
         1,
         "T",
         {"<hr>\r\n<p>Full</p>\r\n"}},
        {"a description before content:encoded",
         ShapeRSS("<item><title>T</title><description>Short</description>"
                  "<content:encoded>Long</content:encoded></item>"),
         1,
         1,
         "T",
         {"<hr>\r\nShort\r\n"}},
        {"the xml:base of an entry and of its content",
         ShapeAtom("<entry xml:base=\"http://other.example/posts/\"><title>E</title><link "
                   "href=\"e1\"/><content type=\"html\" xml:base=\"media/\">&lt;a href=\"2.html\""
                   "&gt;next&lt;/a&gt; &lt;img alt=x src='i.png'/&gt; &lt;a "
                   "href=\"https://abs.example/\"&gt;</content></entry>",
                   " xml:base=\"http://example.org/blog/\""),
         1,
         1,
         "E",
         {"<base href=\"http://example.org/blog/\" />",
          "<a href=\"http://other.example/posts/e1\">",
          "<a href=\"http://other.example/posts/media/2.html\">next</a>",
          "<img alt=x src='http://other.example/posts/media/i.png'/>",
          "<a href=\"https://abs.example/\">"}},
        {"the xml:base of an entry with xhtml content",
         ShapeAtom("<entry xml:base=\"/posts/\"><title>X</title><content type=\"xhtml\"><div "
                   "xmlns=\"http://www.w3.org/1999/xhtml\"><a href=\"x.html\">y</a></div>"
                   "</content></entry>"),
         1,
         1,
         "X",
         {"<a href=\"http://example.org/posts/x.html\">y</a>"}},
        {"RSS 1.0 items sharing one rdf:about",
         "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
         "xmlns=\"http://purl.org/rss/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
         "<channel rdf:about=\"http://example.org/\"><title>R</title></channel>"
         "<item rdf:about=\"http://example.org/\"><title>One</title><guid>g1</guid>"
         "<description><p>R <b>1</b></p></description></item>"
         "<item rdf:about=\"http://example.org/\"><title>Two</title><guid>g2</guid></item>"
         "<item rdf:about=\"http://example.org/\"><title>Three</title>"
         "<dc:identifier>id3</dc:identifier></item>"
         "<item rdf:about=\"http://example.org/4\"><title>Four</title></item></rdf:RDF>",
         4,
         4,
         "One",
         {"From: R <", "<hr>\r\n<p>R <b>1</b></p>\r\n"}},
        {"a feed root without a namespace",
         "<feed><title>Bare</title><entry><title>One</title><id>1</id></entry><entry>"
         "<title>Two</title><id>2</id></entry></feed>",
         2,
         2,
         "One",
         {"From: Bare <", ">One</a>"}},
        {"an HTML title with a bare \"<\"",
         ShapeAtom("<entry><title type=\"html\">1 &lt; 2 &amp;amp; &lt;b&gt;3&lt;/b&gt;</title>"
                   "</entry>"),
         1,
         1,
         "=?utf-8?Q?1_=3C_2_=26_3?=",
         {">1 < 2 & 3</a>"}},
        {"content of another media type without src",
         ShapeAtom("<entry><title>P</title><content type=\"application/pdf\">JVBERi0=</content>"
                   "<summary>The summary</summary></entry>"),
         1,
         1,
         "P",
         {"<hr>\r\nThe summary\r\n"}},
        {"control characters in titles",
         ShapeRSS("<item><title>Bell\x07\x7F\x1B</title><description>D</description></item>",
                  "Ch\x1B[0m"),
         1,
         1,
         "Bell",
         {"From: Ch[0m <"}},
        {"a gallery of links without a blank outside its tags",
         ShapeRSS("<item><title>G</title><description><![CDATA[" + gallery +
                  "]]></description></item>"),
         1,
         1,
         "G",
         {"Content-Transfer-Encoding: 8bit\r\n", "<a href=\"/p/0\" style=\"border:0\">"}},
        {"a data: URL longer than a line",
         ShapeRSS("<item><title>D</title><description><![CDATA[<img src=\"data:image/png;base64," +
                  std::string(1500, 'A') + "\">]]></description></item>"),
         1,
         1,
         "D",
         {"Content-Transfer-Encoding: quoted-printable\r\n", "src=3D\"data:image/png"}},
    };
    return shapes;
}
