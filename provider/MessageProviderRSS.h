#pragma once

#include "common/TextException.h"
#include "feed/FeedOutcome.h"
#include "feed/LoginMemory.h"
#include "http/FeedDownloads.h"
#include "platform/Clock.h"
#include "provider/MessageProvider.h"
#include "provider/SeenStore.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CFeedCopies;

// The mailbox of one login whose user name is the path of a feed list file. Each line of the
// list names a feed URL and, after a ";", optionally a template file for that feed's items.
// GetMessages downloads every listed feed, renders each item of each feed document
// (ReadFeedDocument) into a message, gives the messages their UIDLs (AssignUids) and leaves out
// the items the seen store has seen; CommitDeleted adds the deleted items to that store. Used
// by one session thread only (the rendering inside GetMessages borrows further threads, as
// many as there are cores, which it joins before returning).
class CMessageProviderRSS : public IMessageProvider
{
public:
    // The one failure of this class: deletions that could not be stored.
    class exception : public CTextException
    {
    public:
        exception() noexcept : CTextException("CMessageProviderRSS::exception") {}
    };

    // The most memory the messages one login renders may hold (CLoginMemory::MessageBytes);
    // a feed whose messages would pass it gives none.
    static constexpr std::size_t kMaxMessageBytes = CLoginMemory::kMaxMessageBytes;
    // The trees of documents being parsed that one login may hold at once; a document whose
    // tree would pass it alone gives none (see CLoginMemory).
    static constexpr std::size_t kMaxTreeBytes = CLoginMemory::kMaxTreeBytes;

    // What a login draws on. The defaults are those a login of the product uses; tests and
    // benchmarks replace some, and the login goes its one way all the same.
    struct Services
    {
        // Fetches the document of one feed URL, on the download threads (see FeedFetch);
        // when empty, the copies' Download, or DownloadFeed when there are no copies.
        FeedFetch fetch;
        // The copies of feeds the login keeps and falls back on (CFeedCopies): those of the
        // user's cache folder; null keeps none.
        std::shared_ptr<const CFeedCopies> copies = DefaultCopies();
        // What the wait for the downloads is measured on; it must outlive the login.
        const platform::IClock* clock = &platform::SteadyClock();
        // The memory the login's messages and trees may take (see CLoginMemory), and the
        // budget of all logins that they, the downloads and the conversions draw on as
        // well, which must outlive the login.
        std::size_t maxMessageBytes = kMaxMessageBytes;
        std::size_t maxTreeBytes = kMaxTreeBytes;
        CByteBudget* allLogins = &CLoginMemory::AllLogins();
    };

    // The list file is the mailbox name trimmed of blanks and line ends; the password is not
    // used. A name holding a NUL, CR or LF byte names no file: its mailbox is empty. The seen
    // store is read and written only beside a list file that GetMessages could read. Does no
    // input or output. The first form draws on the default services.
    CMessageProviderRSS(std::string mailbox, const std::string& password);
    CMessageProviderRSS(std::string mailbox, const std::string& password, Services services);

    // Answers "+OK no messages\r\n" when the list names no feed (nothing is downloaded then),
    // otherwise "+OK received messages\r\n" with the messages in list order, then document
    // order within a feed. Blocks until the downloads have ended. Throws only on exhaustion
    // of memory. Called once.
    ProviderReply GetMessages() override;

    // One outcome per feed of the list, in list order, once GetMessages has returned.
    const std::vector<FeedOutcome>& FeedOutcomes() const { return m_outcomes; }
    // Makes GetMessages serve the feeds of a list that the caller has read (ReadFeedList)
    // instead of reading the list file itself: `urls` and `templates` in parallel, with one
    // outcome per feed in `outcomes`. Called before GetMessages.
    void UseFeedList(std::vector<std::string> urls, std::vector<std::string> templates,
                     std::vector<FeedOutcome> outcomes);

    // Makes GetMessages keep track of lines and columns while it parses, so that the
    // outcome of a document that is not well-formed says where; parsing then takes a third
    // longer, so only reports ask for it.
    void LocateParseErrors() { m_locateParseErrors = true; }

    // Remembers the items of `deleted` in the seen store. Throws CMessageProviderRSS::exception
    // when there were deletions and the store could not be written, so that the client is not
    // told they are done (the session then ends without a reply); a store that cannot be
    // written when nothing was deleted is no failure, so lists in read-only folders still
    // serve. Without a list of the user's there is no store and nothing to keep.
    void CommitDeleted(const MessageList& deleted) override;

    const std::string& ListFile() const { return m_listFile; }

private:
    // Hands out the next document of the login's feeds, false when no more will come.
    // Called from several threads at once.
    using DocumentSource = std::function<bool(CFeedDownloads::Result&)>;

    // The copies of the user's cache folder.
    static std::shared_ptr<const CFeedCopies> DefaultCopies();

    void RenderFeeds(const DocumentSource& takeNext, const std::vector<std::string>& templates);
    // Converts, parses and renders one feed's document into `messages`; with copies, keeps a
    // 200 answer that is a feed, and falls back on the copy for one that is not.
    void RenderDocument(CFeedDownloads::Result& document, const std::string& templateText,
                        MessageList& messages);

    std::string m_listFile;
    bool m_listIsUsable;
    // Whether GetMessages found a list of the user's: only such a list has a seen store.
    bool m_listWasRead = false;
    // The feeds of a list read by the caller (UseFeedList), until GetMessages takes them.
    bool m_listGiven = false;
    std::vector<std::string> m_givenURLs;
    std::vector<std::string> m_givenTemplates;
    MessageList m_messages;
    std::vector<FeedOutcome> m_outcomes;
    bool m_locateParseErrors = false;
    CSeenStore m_seenStore;
    FeedFetch m_fetch;
    std::shared_ptr<const CFeedCopies> m_copies;
    const platform::IClock& m_clock;
    // The trees and messages of this login; the messages stay charged until the login ends.
    CLoginMemory m_memory;
};
