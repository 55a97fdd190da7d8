#include "render/DateHeader.h"

#include <gtest/gtest.h>

#include <vector>

TEST(MailDateFromISO8601, RewritesTheFormsFeedsUse)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"2003-06-10T04:00:00Z", "Tue, 10 Jun 2003 04:00:00 +0000"},
        {"2003-06-10T06:00:00+02:00", "Tue, 10 Jun 2003 06:00:00 +0200"},
        {"2024-02-29T23:59:60.125-0530", "Thu, 29 Feb 2024 23:59:60 -0530"},
        {"2000-03-01T00:00+05", "Wed, 01 Mar 2000 00:00:00 +0500"},
        {"1999-12-31 23:59:59", "Fri, 31 Dec 1999 23:59:59 -0000"},
        {"2003-06-10", "Tue, 10 Jun 2003 00:00:00 -0000"},
        // The first months of year 0, a leap year, have their weekdays too.
        {"0000-01-02T00:00:00Z", "Sun, 02 Jan 0000 00:00:00 +0000"},
        {"0000-02-29", "Tue, 29 Feb 0000 00:00:00 -0000"},
    };
    for (const auto& [iso, mail] : cases)
        EXPECT_EQ(MailDateFromISO8601(iso), mail) << iso;

    // Mail dates, dates that do not exist, and anything else are not ISO 8601 dates.
    for (const char* other :
         {"", "Tue, 10 Jun 2003 04:00:00 +0000", "2003-02-29", "1900-02-29T00:00:00Z", "2003-13-01",
          "2003-06-10T24:00:00Z", "2003-06-10T04:00:00Z now", "2003-6-10", "2003-06-10T04",
          "2003-06-10T04:00:00.Z", "2003-06-10T04:00:00+2", "10.06.2003", "2003-06-10T"})
        EXPECT_EQ(MailDateFromISO8601(other), "") << other;
}
