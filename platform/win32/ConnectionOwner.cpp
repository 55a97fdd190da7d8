#include "platform/ConnectionOwner.h"

#include <iphlpapi.h>
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <vector>

namespace platform {
namespace {

// Closes a handle when it goes out of scope.
class CHandle
{
public:
    explicit CHandle(HANDLE handle) : m_handle(handle) {}
    ~CHandle()
    {
        if (m_handle != nullptr)
            ::CloseHandle(m_handle);
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// The process that holds the TCP connection whose own end is `client` and whose other end
// is `server`; 0 when the system's table has no such connection or names no process.
DWORD FindOwningProcess(const sockaddr_in& client, const sockaddr_in& server)
{
    std::vector<unsigned char> table;
    DWORD size = 0;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    // The table may grow between asking its size and reading it.
    for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        table.resize(size);
        result = ::GetExtendedTcpTable(table.empty() ? nullptr : table.data(), &size, FALSE,
                                       AF_INET, TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
    }
    if (result != NO_ERROR || table.size() < sizeof(MIB_TCPTABLE_OWNER_PID))
        return 0;
    const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
    for (DWORD index = 0; index < rows->dwNumEntries; ++index) {
        const MIB_TCPROW_OWNER_PID& row = rows->table[index];
        // Ports are in network byte order in the low 16 bits.
        if (row.dwLocalAddr == client.sin_addr.s_addr &&
            static_cast<u_short>(row.dwLocalPort) == client.sin_port &&
            row.dwRemoteAddr == server.sin_addr.s_addr &&
            static_cast<u_short>(row.dwRemotePort) == server.sin_port)
            return row.dwOwningPid;
    }
    return 0;
}

// The user the process of `token` runs as; empty when it cannot be read.
std::vector<unsigned char> UserOfToken(HANDLE token)
{
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, user.data(), size, &size))
        user.clear();
    return user;
}

} // namespace

ConnectionOwner FindConnectionOwner(SocketHandle connection)
{
    const SOCKET socket = static_cast<SOCKET>(connection);
    sockaddr_in client;
    sockaddr_in server;
    int clientSize = sizeof client;
    int serverSize = sizeof server;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&client), &clientSize) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&server), &serverSize) != 0 ||
        client.sin_family != AF_INET || server.sin_family != AF_INET)
        return ConnectionOwner::Unknown;
    // Process 0 is no process: the table names none for connections the system cannot tie
    // to one of its processes (Wine, for a program that is not its own).
    const DWORD process = FindOwningProcess(client, server);
    if (process == 0)
        return ConnectionOwner::Unknown;
    if (process == ::GetCurrentProcessId())
        return ConnectionOwner::ThisUser;
    // A process of another user may not even be looked at by this one.
    const CHandle other(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
    if (other.Get() == nullptr)
        return ::GetLastError() == ERROR_ACCESS_DENIED ? ConnectionOwner::OtherUser
                                                       : ConnectionOwner::Unknown;
    HANDLE otherToken = nullptr;
    if (!::OpenProcessToken(other.Get(), TOKEN_QUERY, &otherToken))
        return ::GetLastError() == ERROR_ACCESS_DENIED ? ConnectionOwner::OtherUser
                                                       : ConnectionOwner::Unknown;
    const CHandle otherTokenHolder(otherToken);
    HANDLE ownToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &ownToken))
        return ConnectionOwner::Unknown;
    const CHandle ownTokenHolder(ownToken);
    std::vector<unsigned char> otherUser = UserOfToken(otherToken);
    std::vector<unsigned char> ownUser = UserOfToken(ownToken);
    if (otherUser.empty() || ownUser.empty())
        return ConnectionOwner::Unknown;
    const auto* otherSid = reinterpret_cast<TOKEN_USER*>(otherUser.data())->User.Sid;
    const auto* ownSid = reinterpret_cast<TOKEN_USER*>(ownUser.data())->User.Sid;
    return ::EqualSid(const_cast<PSID>(otherSid), const_cast<PSID>(ownSid))
               ? ConnectionOwner::ThisUser
               : ConnectionOwner::OtherUser;
}

} // namespace platform
