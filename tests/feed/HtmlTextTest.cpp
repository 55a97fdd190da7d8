#include "feed/HtmlText.h"

#include <gtest/gtest.h>

TEST(HtmlText, ConvertsBetweenPlainTextAndHtml)
{
    const struct
    {
        const char* html;
        const char* text;
    } cases[] = {
        {"<p class='a'>x</p> <!-- <b>no</b> -->y", "x y"},
        {"&#233;&#xE9;&eacute;&amp;&nbsp;&#0;&#x110000;", "\xC3\xA9\xC3\xA9&eacute;&\xC2\xA0"
                                                          "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"a & b; &#; &#x; &#12a; <unclosed", "a & b; &#; &#x; &#12a; "},
        {"1 < 2 <3 <= a<b>c</b><?x?><!x>", "1 < 2 <3 <= ac"},
    };
    for (const auto& testCase : cases)
        EXPECT_EQ(PlainTextOfHtml(testCase.html), testCase.text) << testCase.html;
    EXPECT_EQ(ReplaceLinks("<!-- <a href=x> --><A HREF=a.html title=t>1 < 2<img alt='>' "
                           "src = \"i.png\"/><a href=\"\">",
                           [](const std::string& link) { return "[" + link + "]"; }),
              "<!-- <a href=x> --><A HREF=[a.html] title=t>1 < 2<img alt='>' src = "
              "\"[i.png]\"/><a href=\"\">");
    EXPECT_EQ(HtmlOfText("<a href=\"x\">&\r\nb\rc\nd"),
              "&lt;a href=&quot;x&quot;&gt;&amp;<br>\nb<br>\nc<br>\nd");
}
