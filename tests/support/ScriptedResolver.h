#pragma once

#include "platform/Connector.h"

#include <string>
#include <utility>
#include <vector>

// A resolver for tests that knows one host name, with the literal addresses a test gives it
// (in the order given, the port of each as given), and no other: no name is ever looked up.
class CScriptedResolver : public platform::IResolver
{
public:
    CScriptedResolver(std::string name, std::vector<platform::NetworkAddress> addresses)
        : m_name(std::move(name)), m_addresses(std::move(addresses))
    {}

    bool Resolve(const std::string& host, std::uint16_t,
                 std::vector<platform::NetworkAddress>& addresses) const override
    {
        addresses = host == m_name ? m_addresses : std::vector<platform::NetworkAddress>();
        return !addresses.empty();
    }

    // The address of a literal ("127.0.0.1", "::1") and port; empty when it is none.
    static platform::NetworkAddress Literal(const std::string& literal, std::uint16_t port)
    {
        std::vector<platform::NetworkAddress> found;
        platform::ResolveAddresses(literal, port, found);
        return found.empty() ? platform::NetworkAddress() : found[0];
    }

private:
    std::string m_name;
    std::vector<platform::NetworkAddress> m_addresses;
};
