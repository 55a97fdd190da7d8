#pragma once

// Every fixed reply of the POP3 service, byte for byte as clients have always received it.
// Mail clients, scripts and stored transcripts of sessions compare these texts as they are,
// slips included ("authoristaion", "transactions state", the smiley of DELE): they are part
// of the protocol this server speaks and must not be corrected. Replies that carry numbers
// are built where they are sent; the provider's answers to PASS ("+OK received messages",
// "+OK no messages") are the provider's own.
namespace pop3reply {

constexpr char kWelcome[] = "+OK welcome\r\n";
constexpr char kNoOperation[] = "+OK no operation done\r\n";
constexpr char kPassRequested[] = "+OK PASS requested\r\n";
constexpr char kBye[] = "+OK bye\r\n";
constexpr char kReset[] = "+OK\r\n";
constexpr char kMessageListFollows[] = "+OK message list follows\r\n";
constexpr char kMessageFollows[] = "+OK message follows\r\n";
constexpr char kDeleteMarked[] = "+OK DELE not supported 8-)\r\n";

constexpr char kNotAuthorized[] = "-ERR not in authoristaion state. USER/PASS first\r\n";
constexpr char kUnknownCommand[] = "-ERR unknown/unimplemented command\r\n";
constexpr char kSecondUser[] = "-ERR USER second command\r\n";
constexpr char kUserFirst[] = "-ERR USER command requested first\r\n";
constexpr char kNotInTransaction[] = "-ERR not in transactions state\r\n";
constexpr char kDeletionsNotKept[] = "-ERR some deleted messages not removed\r\n";
constexpr char kNoSuchMessage[] = "-ERR no such message\r\n";
constexpr char kBadParameter[] = "-ERR bad param\r\n";
constexpr char kNoThread[] = "-ERR cannot create thread\r\n";

} // namespace pop3reply
