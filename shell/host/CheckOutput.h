#pragma once

#include "provider/FeedListReport.h"

#include <ostream>

// What "quillbox check" prints of a report on a feed list. Free functions without state;
// any thread.

// One line per feed in list order, then a summary line; or the reason the list cannot be
// read. Control characters and bytes outside UTF-8 are escaped (PrintableText), so that
// what servers and documents chose cannot steer the terminal.
void WriteReportText(const CFeedListReport& report, std::ostream& out);

// The same as one JSON object, for scripts: valid JSON and valid UTF-8 whatever bytes the
// outcomes hold (a byte outside UTF-8 becomes U+FFFD, a control character an escape).
void WriteReportJSON(const CFeedListReport& report, std::ostream& out);
