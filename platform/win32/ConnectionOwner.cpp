#include "platform/ConnectionOwner.h"

#include <iphlpapi.h>
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <new>
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

// What a look at one of the system's tables found.
enum class Lookup
{
    Found,
    NotFound, // no such connection, or one the table names no process for
    NoTable,  // the system offers no such table here
    Failed,   // the table could not be read for want of memory
};

bool IsShortage(DWORD error)
{
    return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
           error == ERROR_NO_SYSTEM_RESOURCES || error == ERROR_INSUFFICIENT_BUFFER;
}

// Whether a row of the IPv4 table has `client` as its own end and `server` as its other.
// Ports are in network byte order in the low 16 bits.
bool Matches(const MIB_TCPROW_OWNER_PID& row, const sockaddr_in& client, const sockaddr_in& server)
{
    return row.dwLocalAddr == client.sin_addr.s_addr &&
           static_cast<u_short>(row.dwLocalPort) == client.sin_port &&
           row.dwRemoteAddr == server.sin_addr.s_addr &&
           static_cast<u_short>(row.dwRemotePort) == server.sin_port;
}

// Whether an IPv6 address is the mapped form ::ffff:a.b.c.d of the IPv4 address `ipv4`.
bool IsMapped(const UCHAR (&address)[16], const in_addr& ipv4)
{
    static const UCHAR kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    return std::memcmp(address, kMappedPrefix, sizeof kMappedPrefix) == 0 &&
           std::memcmp(address + 12, &ipv4, 4) == 0;
}

// The same for a row of the IPv6 table, where a dual-stack socket that reached the IPv4
// address sits with the mapped addresses.
bool Matches(const MIB_TCP6ROW_OWNER_PID& row, const sockaddr_in& client, const sockaddr_in& server)
{
    return IsMapped(row.ucLocalAddr, client.sin_addr) &&
           static_cast<u_short>(row.dwLocalPort) == client.sin_port &&
           IsMapped(row.ucRemoteAddr, server.sin_addr) &&
           static_cast<u_short>(row.dwRemotePort) == server.sin_port;
}

// Looks through the system's TCP table of `family` (whose layout is `Table`) for the
// connection whose own end is `client` and whose other end is `server`, and sets `process`
// to the process that holds it.
template <class Table>
Lookup FindOwningProcess(ULONG family, const sockaddr_in& client, const sockaddr_in& server,
                         DWORD& process)
{
    std::vector<unsigned char> table;
    DWORD size = 0;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    // The table may grow between asking its size and reading it.
    for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        table.resize(size);
        result = ::GetExtendedTcpTable(table.empty() ? nullptr : table.data(), &size, FALSE, family,
                                       TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
    }
    if (result != NO_ERROR)
        return IsShortage(result) ? Lookup::Failed : Lookup::NoTable;
    if (table.size() < sizeof(Table))
        return Lookup::NotFound;
    const auto* rows = reinterpret_cast<const Table*>(table.data());
    for (DWORD index = 0; index < rows->dwNumEntries; ++index) {
        if (Matches(rows->table[index], client, server)) {
            process = rows->table[index].dwOwningPid;
            // Process 0 is no process: the table names none for connections the system
            // cannot tie to one of its processes (Wine, for a program that is not its own).
            return process == 0 ? Lookup::NotFound : Lookup::Found;
        }
    }
    return Lookup::NotFound;
}

// The process at the other end, looked for in the IPv4 table and then in the IPv6 one.
Lookup FindOwningProcess(const sockaddr_in& client, const sockaddr_in& server, DWORD& process)
{
    const Lookup ipv4 = FindOwningProcess<MIB_TCPTABLE_OWNER_PID>(AF_INET, client, server, process);
    if (ipv4 == Lookup::Found || ipv4 == Lookup::Failed)
        return ipv4;
    const Lookup ipv6 =
        FindOwningProcess<MIB_TCP6TABLE_OWNER_PID>(AF_INET6, client, server, process);
    return ipv6 == Lookup::NoTable ? ipv4 : ipv6;
}

// What a failed call that opens a process or its token says about the connection.
ConnectionOwner OwnerAfterRefusal(DWORD error)
{
    // A process of another user may not even be looked at by this one.
    if (error == ERROR_ACCESS_DENIED)
        return ConnectionOwner::OtherUser;
    return IsShortage(error) ? ConnectionOwner::LookupFailed : ConnectionOwner::Unknown;
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

// FindConnectionOwner, which may run out of memory on the way.
ConnectionOwner FindOwner(SocketHandle connection)
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
    DWORD process = 0;
    switch (FindOwningProcess(client, server, process)) {
    case Lookup::Found:
        break;
    case Lookup::Failed:
        return ConnectionOwner::LookupFailed;
    case Lookup::NotFound:
    case Lookup::NoTable:
        return ConnectionOwner::Unknown;
    }
    if (process == ::GetCurrentProcessId())
        return ConnectionOwner::ThisUser;
    const CHandle other(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
    if (other.Get() == nullptr)
        return OwnerAfterRefusal(::GetLastError());
    HANDLE otherToken = nullptr;
    if (!::OpenProcessToken(other.Get(), TOKEN_QUERY, &otherToken))
        return OwnerAfterRefusal(::GetLastError());
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

} // namespace

// Windows keeps nothing open between lookups: its tables are read without a handle.
CConnectionOwners::CConnectionOwners() : m_diagnostics(-1) {}

CConnectionOwners::~CConnectionOwners() = default;

ConnectionOwner CConnectionOwners::Find(SocketHandle connection)
{
    try {
        return FindOwner(connection);
    } catch (const std::bad_alloc&) {
        return ConnectionOwner::LookupFailed;
    }
}

ConnectionOwner FindConnectionOwner(SocketHandle connection)
{
    return CConnectionOwners().Find(connection);
}

} // namespace platform
