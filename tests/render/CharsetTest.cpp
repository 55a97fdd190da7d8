#include "render/Charset.h"

#include "render/CharsetInternal.h"
#include "support/FeedCollection.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstdint>
#include <set>
#include <sstream>
#include <vector>

namespace {

std::string Entry(const CharsetTable& table, unsigned char byte)
{
    const char* entry = table.entries[byte];
    return std::string(entry, strnlen(entry, 4));
}

std::string EntryOf(const char* name, unsigned char byte)
{
    return Entry(CharsetTables().at(name), byte);
}

std::string Converted(std::string document)
{
    ConvertToUtf8(document);
    return document;
}

// The text of the root element's first child node after parsing `document`.
std::string RootText(const std::string& document)
{
    TiXmlDocument parsed;
    parsed.Parse(document.c_str());
    EXPECT_FALSE(parsed.Error()) << parsed.ErrorDesc();
    const TiXmlElement* root = parsed.RootElement();
    return root && root->FirstChild() ? root->FirstChild()->ValueStr() : std::string();
}

// `text` in UTF-16 (units of 2 bytes) or UTF-32 (units of 4), in either byte order.
std::string Encoded(const std::u32string& text, int unit, bool bigEndian)
{
    std::vector<std::uint32_t> units;
    for (const char32_t character : text) {
        if (unit == 2 && character > 0xFFFF) {
            units.push_back(0xD800 + ((character - 0x10000) >> 10));
            units.push_back(0xDC00 + ((character - 0x10000) & 0x3FF));
        } else {
            units.push_back(character);
        }
    }
    std::string bytes;
    for (const std::uint32_t value : units) {
        for (int index = 0; index < unit; ++index)
            bytes += static_cast<char>(value >> (8 * (bigEndian ? unit - 1 - index : index)));
    }
    return bytes;
}

// The bytes of a list such as "81 8C-90 FF".
std::set<int> ByteSet(const std::string& list)
{
    std::set<int> bytes;
    std::istringstream words(list);
    for (std::string word; words >> word;) {
        const int first = std::stoi(word.substr(0, 2), nullptr, 16);
        const int last = word.size() > 2 ? std::stoi(word.substr(3), nullptr, 16) : first;
        for (int byte = first; byte <= last; ++byte)
            bytes.insert(byte);
    }
    return bytes;
}

} // namespace

TEST(CharsetTables, UndefinedBytesAreExactlyThoseTheSetsLeaveOpen)
{
    // Hexadecimal bytes and inclusive ranges from 0x80 up that give "?".
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"us-ascii", "80-FF"},
        {"windows-1250", "81 83 88 90 98"},
        {"windows-1251", "98"},
        {"windows-1253", "81 88 8A 8C-90 98 9A 9C-9F AA D2 FF"},
        {"windows-1254", "81 8D-90 9D 9E"},
        {"windows-1255", "81 8A 8C-90 9A 9C-9F CA D9-DF FB FC FF"},
        {"windows-1256", ""},
        {"windows-1257", "81 83 88 8A 8C 90 98 9A 9C 9F A1 A5"},
        {"windows-1258", "81 8A 8D-90 9A 9D 9E"},
        {"iso-8859-1", ""},
        {"iso-8859-2", ""},
        {"iso-8859-3", "A5 AE BE C3 D0 E3 F0"},
        {"iso-8859-4", ""},
        {"iso-8859-5", ""},
        {"iso-8859-6", "A1-A3 A5-AB AE-BA BC-BE C0 DB-DF F3-FF"},
        {"iso-8859-7", "AE D2 FF"},
        {"iso-8859-8", "A1 BF-DE FB FC FF"},
        {"iso-8859-9", ""},
        {"iso-8859-10", ""},
        {"iso-8859-11", "DB-DE FC-FF"},
        {"iso-8859-13", ""},
        {"iso-8859-14", ""},
        {"iso-8859-15", ""},
        {"iso-8859-16", ""},
    };
    std::set<std::string> names;
    for (const auto& [name, table] : CharsetTables())
        names.insert(name);
    std::set<std::string> expectedNames;
    for (const auto& [name, undefinedBytes] : expected)
        expectedNames.insert(name);
    EXPECT_EQ(names, expectedNames);

    for (const auto& [name, undefinedBytes] : expected) {
        ASSERT_TRUE(IsKnownCharset(name)) << name;
        const std::set<int> undefinedSet = ByteSet(undefinedBytes);
        const CharsetTable& table = CharsetTables().at(name);
        for (int byte = 0x01; byte < 0x80; ++byte)
            ASSERT_EQ(Entry(table, byte), std::string(1, static_cast<char>(byte))) << name;
        for (int byte = 0x80; byte <= 0xFF; ++byte) {
            const std::string entry = Entry(table, byte);
            if (undefinedSet.count(byte)) {
                EXPECT_EQ(entry, "?") << name << " byte " << byte;
                continue;
            }
            // A defined byte is one well-formed UTF-8 sequence of two or three bytes.
            const unsigned char lead = entry.empty() ? 0 : entry[0];
            const std::size_t length = lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
            ASSERT_EQ(entry.size(), length) << name << " byte " << byte;
            for (std::size_t i = 1; i < length; ++i)
                EXPECT_EQ(static_cast<unsigned char>(entry[i]) & 0xC0, 0x80) << name;
        }
    }
}

TEST(CharsetTables, KnownCharacters)
{
    EXPECT_EQ(EntryOf("iso-8859-2", 0xB1), "\xC4\x85");
    EXPECT_EQ(EntryOf("windows-1251", 0xC0), "\xD0\x90");
    EXPECT_EQ(EntryOf("windows-1250", 0x9A), "\xC5\xA1");
    EXPECT_EQ(EntryOf("windows-1250", 0x80), "\xE2\x82\xAC");
    EXPECT_EQ(EntryOf("iso-8859-1", 0x80), "\xC2\x80");
    EXPECT_EQ(EntryOf("iso-8859-7", 0xA4), "\xE2\x82\xAC");
    EXPECT_EQ(EntryOf("iso-8859-7", 0xA5), "\xE2\x82\xAF");
    EXPECT_EQ(EntryOf("iso-8859-7", 0xAA), "\xCD\xBA");
    EXPECT_EQ(EntryOf("iso-8859-8", 0xDF), "\xE2\x80\x97");
    EXPECT_EQ(EntryOf("iso-8859-8", 0xFD), "\xE2\x80\x8E");
    EXPECT_EQ(EntryOf("iso-8859-11", 0xA0), "\xC2\xA0");
    EXPECT_EQ(EntryOf("iso-8859-15", 0xA4), "\xE2\x82\xAC");

    EXPECT_FALSE(IsKnownCharset("windows-1252"));
    EXPECT_FALSE(IsKnownCharset("iso-8859-12"));
    EXPECT_FALSE(IsKnownCharset("ISO-8859-2"));
    EXPECT_FALSE(IsKnownCharset("utf-8"));
}

TEST(ConvertCharset, DecodesEveryByteThroughTheTable)
{
    const std::string text("a\x80 \xC0\x00z\xFF", 7);
    EXPECT_EQ(ConvertCharset(text, "windows-1250"),
              std::string("a\xE2\x82\xAC \xC5\x94\x00z\xCB\x99", 11));
    EXPECT_EQ(ConvertCharset(text, "us-ascii"), std::string("a? ?\x00z?", 7));
    EXPECT_EQ(ConvertCharset(text, "windows-1252"), text);
    EXPECT_EQ(ConvertCharset("", "iso-8859-5"), "");
}

TEST(ConvertToUtf8, RewritesKnownSingleByteDocuments)
{
    const std::string latin2 = Converted("<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n"
                                         "<r>\xB1</r>");
    EXPECT_EQ(RootText(latin2), "\xC4\x85");
    EXPECT_NE(latin2.find("encoding=\"utf-8\""), std::string::npos) << latin2;
    EXPECT_EQ(latin2.find("ISO-8859-2"), std::string::npos) << latin2;

    EXPECT_EQ(RootText(Converted("<?xml version='1.0' encoding='windows-1251'?><r>\xC0</r>")),
              "\xD0\x90");
    EXPECT_EQ(RootText(Converted("<?xml version='1.0' encoding='Windows-1250'?><r>\x9A</r>")),
              "\xC5\xA1");
    EXPECT_EQ(RootText(Converted("<?xml version='1.0' encoding='us-ascii'?><r>a\x80\xFF</r>")),
              "a??");
    // A byte order mark does not hide the declaration, and does not survive conversion.
    const std::string marked = Converted("\xEF\xBB\xBF<?xml version='1.0' "
                                         "encoding='iso-8859-1'?><r>abc</r>");
    EXPECT_EQ(marked.substr(0, 5), "<?xml");
    EXPECT_EQ(RootText(marked), "abc");
}

TEST(ConvertToUtf8, KeepsVersionStandaloneAndTheRestOfTheDocument)
{
    const std::string document = Converted("<?xml version=\"1.1\" encoding=\"iso-8859-5\" "
                                           "standalone=\"yes\"?>\n<!-- \xB0 -->\n"
                                           "<r a=\"\xB1\"><![CDATA[x\n  y]]></r>\n");
    TiXmlDocument parsed;
    parsed.Parse(document.c_str());
    ASSERT_FALSE(parsed.Error()) << parsed.ErrorDesc();
    const TiXmlDeclaration* declaration = parsed.FirstChild()->ToDeclaration();
    ASSERT_NE(declaration, nullptr);
    EXPECT_STREQ(declaration->Version(), "1.1");
    EXPECT_STREQ(declaration->Encoding(), "utf-8");
    EXPECT_STREQ(declaration->Standalone(), "yes");
    EXPECT_EQ(parsed.FirstChild()->NextSibling()->ValueStr(), " \xD0\x90 ");
    EXPECT_STREQ(parsed.RootElement()->Attribute("a"), "\xD0\x91");
    EXPECT_EQ(parsed.RootElement()->FirstChild()->ValueStr(), "x\n  y");
}

TEST(ConvertToUtf8, CharacterReferencesKeepTheirMeaning)
{
    // A reference names a Unicode character whatever the document's character set, so it
    // must not be read as a byte of that set.
    EXPECT_EQ(RootText(Converted("<?xml version='1.0' encoding='windows-1251'?>"
                                 "<r>&#233;&#x20AC;\xC0&amp;#x41;</r>")),
              "\xC3\xA9\xE2\x82\xAC\xD0\x90&#x41;");
}

TEST(ConvertToUtf8, LeavesOtherDocumentsByteForByte)
{
    const std::vector<std::string> documents = {
        "",
        // Blanks alone (or a byte order mark alone), as a careless server may send.
        " ",
        "\r\n\t",
        "\xEF\xBB\xBF",
        "\xEF\xBB\xBF \n",
        "<r>\xB1</r>",
        "<?xml version='1.0'?><r>\xB1</r>",
        "<?xml version='1.0' encoding=''?><r>\xB1</r>",
        "<?xml version='1.0' encoding='UTF-8'?><r>\xB1</r>",
        "<?xml version='1.0' encoding='utf-8'?><r>\xB1</r>",
        "<?xml version='1.0' encoding='utf8'?><r>\xB1</r>",
        // Names no converter knows, and a declaration that a wide encoding could not hold.
        "<?xml version='1.0' encoding='x-no-such-set'?><r>\xB1</r>",
        "<?xml version='1.0' encoding='utf-8//IGNORE'?><r>\xB1</r>",
        "<?xml version='1.0' encoding='utf-16'?><r>\xB1</r>",
        "<?xml version='1.0' encoding=' iso-8859-2'?><r>\xB1</r>",
        "<?xml version='1.0' encoding='iso-8859-2 '?><r>\xB1</r>",
        "<!-- first --><?xml version='1.0' encoding='iso-8859-2'?><r>\xB1</r>",
        "<?xml version='1.0' encoding='iso-8859-2'",
        "<?xml",
    };
    for (const std::string& document : documents)
        EXPECT_EQ(Converted(document), document);
}

TEST(ConvertToUtf8, DecodesOtherDeclaredSetsThroughTheSystemConverter)
{
    struct Case
    {
        std::string charset;
        std::string bytes;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"windows-1252", "Caf\xE9 \x93quoted\x94 \x80 a\x81z",
         "Caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x82\xAC a?z"},
        {"CP1252", "\xE9", "\xC3\xA9"},
        {"latin1", "\xE9", "\xC3\xA9"},
        {"KOI8-R", "\xF0\xD2\xC9\xD7\xC5\xD4", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"gb2312", "\xC4\xE3\xBA\xC3", "\xE4\xBD\xA0\xE5\xA5\xBD"},
        {"euc-kr", "\xC7\xD1\xB1\xDB", "\xED\x95\x9C\xEA\xB8\x80"},
        {"Shift_JIS", "\x93\xFA\x96\x7B", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"big5", "\xA4\xA4\xA4\xE5", "\xE4\xB8\xAD\xE6\x96\x87"},
        // Markup bytes inside the escape sequences: decoded before any parse.
        {"iso-2022-jp", "\x1B$BF|K\\\x1B(B", "\xE6\x97\xA5\xE6\x9C\xAC"},
    };
    for (const Case& testCase : cases) {
        const std::string document =
            Converted("<?xml version='1.0' encoding='" + testCase.charset +
                      "' standalone='yes'?>\n<r>" + testCase.bytes + "&#8364;</r>");
        EXPECT_EQ(RootText(document), testCase.text + "\xE2\x82\xAC") << testCase.charset;
        EXPECT_EQ(document.substr(0, 60),
                  "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\" ?>\n<r>")
            << testCase.charset;
    }
}

TEST(ConvertToUtf8, ReadsUTF16AndUTF32ByTheirMarkOrTheirFirstCharacters)
{
    const std::u32string text =
        U"<?xml version=\"1.0\" encoding=\"utf-16\"?><r>caf\u00E9 \U0001F600</r>";
    const std::string expected = "caf\xC3\xA9 \xF0\x9F\x98\x80";
    for (const bool bigEndian : {false, true}) {
        for (const int unit : {2, 4}) {
            for (const bool marked : {true, false}) {
                const std::string document =
                    Converted(Encoded((marked ? U"\uFEFF" : U"") + text, unit, bigEndian));
                EXPECT_EQ(RootText(document), expected) << unit << bigEndian << marked;
                EXPECT_EQ(document.substr(0, 39), "<?xml version=\"1.0\" encoding=\"utf-8\" ?>");
            }
        }
    }
    // Without a declaration the text is UTF-8 now, which it is read as.
    EXPECT_EQ(Converted(Encoded(U"\uFEFF<r>\u00E9</r>", 2, false)), "<r>\xC3\xA9</r>");
}

TEST(ConvertToUtf8, ABrokenDocumentIsConvertedAndStillFailsToParse)
{
    for (const std::string& document :
         {std::string("<?xml version='1.0' encoding='iso-8859-2'?><r>\xB1</s>"),
          std::string("<?xml version='1.0' encoding='iso-8859-2'?><r>\xB1"),
          std::string("<?xml version='1.0' encoding='iso-8859-2'?><r a='\xB1></r>"),
          std::string("<?xml version='1.0' encoding='iso-8859-2'?><r>\0</r>", 52)}) {
        const std::string converted = Converted(document);
        EXPECT_NE(converted.find("encoding=\"utf-8\""), std::string::npos) << document;
        TiXmlDocument parsed;
        parsed.Parse(converted.c_str());
        EXPECT_TRUE(parsed.Error()) << document;
    }
}

using ConvertToUtf8Feeds = CFeedCollectionTest;

TEST_P(ConvertToUtf8Feeds, ConvertedDocumentsStillParseWithTheSameItems)
{
    int converted = 0;
    for (const FeedDocument& entry : m_documents) {
        const std::string original = GetParam().Read(entry);
        ASSERT_EQ(original.size(), entry.bytes) << entry.file;
        const std::string document = Converted(original);
        if (document == original)
            continue;
        ++converted;
        TiXmlDocument parsed;
        parsed.Parse(document.c_str());
        ASSERT_FALSE(parsed.Error()) << entry.file << ": " << parsed.ErrorDesc();
        std::size_t count = 0;
        const TiXmlElement* rss = parsed.FirstChildElement("rss");
        const TiXmlElement* channel = rss ? rss->FirstChildElement("channel") : nullptr;
        for (const TiXmlElement* item = channel ? channel->FirstChildElement("item") : nullptr;
             item; item = item->NextSiblingElement("item"))
            ++count;
        EXPECT_EQ(count, entry.items) << entry.file;
    }
    EXPECT_GT(converted, 10);
}

INSTANTIATE_FEED_COLLECTION_TESTS(ConvertToUtf8Feeds);
