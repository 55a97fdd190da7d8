#pragma once

// A CPOP3Server on a port the system chose, serving the mailbox of a CTestProviderFactory,
// and clients for it. Stops the server and waits for its sessions before the factory goes.
// Header-only.

#include "LineClient.h"
#include "TestProviderFactory.h"
#include "pop3/POP3Server.h"

#include <memory>
#include <string>

class CPOP3TestServer
{
public:
    explicit CPOP3TestServer(MessageList messages = {},
                             std::string response = "+OK received messages\r\n",
                             CPOP3Server::OwnerLookup findOwner = {})
        : m_factory(std::move(messages), std::move(response)),
          m_server(&m_factory, std::move(findOwner))
    {
        m_server.Start(0);
    }
    ~CPOP3TestServer()
    {
        m_server.Stop();
        m_factory.WaitForSessionsToEnd();
    }

    CPOP3Server& Server() { return m_server; }
    CTestProviderFactory& Factory() { return m_factory; }

    // A connected client that has read the greeting (check IsConnected()).
    std::unique_ptr<CLineClient> Connect()
    {
        auto client = std::make_unique<CLineClient>(m_server.GetPort());
        m_lastGreeting = client->ReadLine();
        return client;
    }

    // A connected client logged in as `mailbox`, its replies to USER and PASS read.
    std::unique_ptr<CLineClient> LogIn(const std::string& mailbox = "feeds.txt")
    {
        auto client = Connect();
        client->Command("USER " + mailbox);
        client->Command("PASS secret");
        return client;
    }

    const std::string& LastGreeting() const { return m_lastGreeting; }

private:
    CTestProviderFactory m_factory;
    CPOP3Server m_server;
    std::string m_lastGreeting;
};

// Whether a server at `port` accepts a connection and greets it within two seconds.
inline bool AcceptsAndGreets(std::uint16_t port)
{
    CLineClient client(port, std::chrono::seconds(2));
    return client.IsConnected() && client.ReadLine() == "+OK welcome\r\n";
}
