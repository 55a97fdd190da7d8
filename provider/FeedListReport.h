#pragma once

#include "feed/FeedOutcome.h"

#include <cstddef>
#include <string>
#include <vector>

// A report for the owner of a feed list: what a login with the list's path as user name
// would serve, feed by feed, and for each feed that gives nothing, why, in the owner's
// words. Run goes the login's own way (CMessageProviderRSS::GetMessages: the list read as a
// login reads it, the same downloads, conversion, parsing and rendering, the seen store
// read) and writes nothing to the seen store. The host program prints it
// (shell/host/CheckOutput.h). Used on one thread.
class CFeedListReport
{
public:
    // Exit statuses of the "check" command.
    static constexpr int kEveryFeedGivesMessages = 0;
    static constexpr int kSomeFeedGivesNone = 1;
    static constexpr int kListUnreadable = 2;

    // Reads the list and logs in with it, and reports on what the login found: blocks until
    // every download ended or the login's wait is over. Throws only on exhaustion of memory.
    static CFeedListReport Run(std::string listFile);

    // A report on the outcomes of the feeds of a login with `listFile`, or, when `listProblem`
    // is not empty, on a list that cannot be read for that reason. Does no input or output.
    CFeedListReport(std::string listFile, std::vector<FeedOutcome> outcomes,
                    std::string listProblem = std::string());

    // kListUnreadable when the list cannot be read, or logins would not read it since other
    // users could have written it; kSomeFeedGivesNone when a feed gives no messages for a
    // reason other than the seen store (or the list names none); else kEveryFeedGivesMessages.
    int ExitStatus() const;

    // The list's path as given to Run; why it cannot be read (empty when it can); one
    // outcome per feed, in list order, those past the most feeds a login reads included.
    const std::string& ListFile() const { return m_listFile; }
    const std::string& ListProblem() const { return m_listProblem; }
    const std::vector<FeedOutcome>& Outcomes() const { return m_outcomes; }

    // The messages of all feeds together, and the feeds that give none (see Problem).
    std::size_t MessageCount() const;
    std::size_t ProblemCount() const;

    // The messages a feed gives: its items less those the seen store holds.
    static std::size_t Messages(const FeedOutcome& outcome);
    // Why a feed gives no messages, in a user's words; empty when it gives some, or when
    // the seen store holds all its items.
    static std::string Problem(const FeedOutcome& outcome);
    // "not well-formed XML" with where the parser refused the document, and for a salvaged
    // one how many of its items were saved.
    static std::string NotWellFormed(const FeedOutcome& outcome);

private:
    std::string m_listFile;
    // Why the list cannot be read; empty when it can.
    std::string m_listProblem;
    std::vector<FeedOutcome> m_outcomes;
};
