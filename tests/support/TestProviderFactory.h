#pragma once

// A message provider factory for tests that drive a POP3 session or server: every login is
// answered with the same ProviderReply, and the factory records what the sessions did with
// their providers (logins, commits, providers still alive) so tests can assert on it.
// Thread-safe: sessions run on threads of their own. Header-only.

#include "provider/MessageProvider.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class CTestProviderFactory : public IMessageProviderFactory
{
public:
    struct Login
    {
        std::string mailbox;
        std::string password;
    };

    explicit CTestProviderFactory(MessageList messages = {},
                                  std::string response = "+OK received messages\r\n")
    {
        m_state->reply = {std::move(response), std::move(messages)};
    }

    std::unique_ptr<IMessageProvider> Create(std::string mailbox,
                                             const std::string& password) override
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->logins.push_back({std::move(mailbox), password});
        ++m_state->liveProviders;
        return std::make_unique<CProvider>(m_state);
    }

    std::vector<Login> Logins() const
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->logins;
    }

    // Every CommitDeleted call so far, in call order.
    std::vector<MessageList> Commits() const
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->commits;
    }

    // Makes every later CommitDeleted take `delay`; it is recorded at the end of it.
    void SetCommitDelay(std::chrono::milliseconds delay)
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->commitDelay = delay;
    }

    // Makes every later CommitDeleted fail, as a provider whose store cannot be written.
    void FailCommits()
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->commitsFail = true;
    }

    // Waits (at most 10 s) until `count` CommitDeleted calls have begun. False on time-out.
    bool WaitForCommitsToBegin(int count) const
    {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        return m_state->changed.wait_for(lock, std::chrono::seconds(10),
                                         [&] { return m_state->commitsBegun >= count; });
    }

    // Waits (at most 10 s) until every provider created so far has been destroyed, that is,
    // until every session that logged in has ended. False on time-out.
    bool WaitForSessionsToEnd() const
    {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        return m_state->changed.wait_for(lock, std::chrono::seconds(10),
                                         [this] { return m_state->liveProviders == 0; });
    }

private:
    struct State
    {
        mutable std::mutex mutex;
        std::condition_variable changed;
        std::vector<Login> logins;
        std::vector<MessageList> commits;
        std::chrono::milliseconds commitDelay{0};
        bool commitsFail = false;
        int commitsBegun = 0;
        int liveProviders = 0;
        ProviderReply reply; // set at construction, read-only afterwards
    };

    class CProvider : public IMessageProvider
    {
    public:
        explicit CProvider(std::shared_ptr<State> state) : m_state(std::move(state)) {}
        ~CProvider() override
        {
            std::lock_guard<std::mutex> lock(m_state->mutex);
            --m_state->liveProviders;
            m_state->changed.notify_all();
        }
        ProviderReply GetMessages() override { return m_state->reply; }
        void CommitDeleted(const MessageList& deleted) override
        {
            std::chrono::milliseconds delay;
            {
                std::lock_guard<std::mutex> lock(m_state->mutex);
                ++m_state->commitsBegun;
                m_state->changed.notify_all();
                delay = m_state->commitDelay;
            }
            std::this_thread::sleep_for(delay);
            std::lock_guard<std::mutex> lock(m_state->mutex);
            if (m_state->commitsFail)
                throw std::runtime_error("deletions not stored");
            m_state->commits.push_back(deleted);
        }

    private:
        std::shared_ptr<State> m_state;
    };

    // Shared with the providers, which may outlive a test's factory by a moment.
    std::shared_ptr<State> m_state = std::make_shared<State>();
};
