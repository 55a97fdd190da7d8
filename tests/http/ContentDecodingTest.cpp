#include "http/ContentDecoding.h"

#include "http/ByteBudget.h"
#include "http/HTTPGet.h"
#include "support/Compression.h"

#include <gtest/gtest.h>

namespace {

const std::string kText = "<rss version=\"2.0\"><channel><title>News</title></channel></rss>\n";

struct Coded
{
    const char* what;
    std::string encoding;
    std::string body;
    bool decodes;
};

} // namespace

TEST(ContentDecoding, DecodesWhatServersSendAndRefusesDamage)
{
    const std::string gzip = Compressed(kText, 31);
    const Coded cases[] = {
        {"gzip", "gzip", gzip, true},
        {"x-gzip in capitals", " X-GZIP ", gzip, true},
        {"deflate as a zlib stream", "deflate", Compressed(kText, 15), true},
        {"deflate as raw data", "deflate", Compressed(kText, -15), true},
        {"two gzip members", "gzip",
         Compressed(kText.substr(0, 20), 31) + Compressed(kText.substr(20), 31), true},
        {"truncated", "gzip", gzip.substr(0, gzip.size() - 12), false},
        {"not compressed at all", "gzip", kText, false},
        {"a coding never offered", "br", gzip, false},
    };
    for (const Coded& coded : cases) {
        SCOPED_TRACE(coded.what);
        std::string body = coded.body;
        std::size_t taken = 0;
        if (coded.decodes) {
            CContentDecoding::Decode(coded.encoding, body, kMaxResponseBytes, nullptr, taken);
            EXPECT_EQ(body, kText);
        } else {
            EXPECT_THROW(
                CContentDecoding::Decode(coded.encoding, body, kMaxResponseBytes, nullptr, taken),
                CContentDecoding::exception);
        }
    }
}

TEST(ContentDecoding, ABombStopsAtTheBoundAndTheBudgetPaysForDecodedBytes)
{
    // 64 MB of zeros in some 64 KB: decoding must stop at the bound, not at the end.
    const std::string bomb = Compressed(std::string(64 * 1024 * 1024, '\0'));
    std::string body = bomb;
    std::size_t taken = 0;
    EXPECT_THROW(CContentDecoding::Decode("gzip", body, kMaxResponseBytes, nullptr, taken),
                 CContentDecoding::exception);

    // A budget too small for the decoded bytes stops the decoding too.
    CByteBudget small(1024 * 1024);
    body = bomb;
    taken = 0;
    EXPECT_THROW(CContentDecoding::Decode("gzip", body, kMaxResponseBytes, &small, taken),
                 CContentDecoding::exception);
    small.Give(taken);
    EXPECT_TRUE(small.Take(1024 * 1024));

    // A body decoded whole costs the memory of its decoded text, room to grow included: the
    // coded body's memory is given back.
    const std::string plain(100000, 'x');
    CByteBudget budget(1000000);
    body = Compressed(plain);
    taken = body.capacity();
    ASSERT_TRUE(budget.Take(taken));
    CContentDecoding::Decode("gzip", body, kMaxResponseBytes, &budget, taken);
    EXPECT_EQ(body, plain);
    EXPECT_EQ(taken, body.capacity());
    EXPECT_TRUE(budget.Take(1000000 - body.capacity()));
    EXPECT_FALSE(budget.Take(1));
}
