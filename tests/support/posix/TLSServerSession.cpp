#include "support/TLSServerSession.h"

#include "http/openssl/SocketBIO.h"

#include <openssl/ssl.h>

#include <climits>

namespace {

int ClampSize(std::size_t size)
{
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

} // namespace

class CTLSServerContext::CState
{
public:
    explicit CState(SSL_CTX* context) : m_context(context) {}
    ~CState() { SSL_CTX_free(m_context); }
    CState(const CState&) = delete;
    CState& operator=(const CState&) = delete;

    SSL_CTX* const m_context;
};

CTLSServerContext::CTLSServerContext(const std::string& certificateFile, const std::string& keyFile)
{
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (context == nullptr)
        return;
    std::unique_ptr<CState> state(new CState(context));
    if (SSL_CTX_use_certificate_chain_file(context, certificateFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        return;
    m_state = std::move(state);
}

CTLSServerContext::~CTLSServerContext() = default;

std::uint16_t CTLSServerContext::ClientPort(std::uint16_t listenPort) const
{
    return listenPort;
}

class CTLSServerSession::CState
{
public:
    CState(SSL_CTX* context, platform::SocketHandle socket) : m_session(SSL_new(context))
    {
        BIO* bio = NewSocketBIO(socket);
        if (m_session == nullptr || bio == nullptr) {
            BIO_free(bio);
            return;
        }
        SSL_set_bio(m_session, bio, bio);
        m_handshakeDone = SSL_accept(m_session) == 1;
    }
    ~CState()
    {
        if (m_handshakeDone)
            SSL_shutdown(m_session);
        SSL_free(m_session);
    }
    CState(const CState&) = delete;
    CState& operator=(const CState&) = delete;

    SSL* const m_session;
    bool m_handshakeDone = false;
};

CTLSServerSession::CTLSServerSession(const CTLSServerContext& context,
                                     platform::SocketHandle socket)
    : m_state(new CState(context.State().m_context, socket))
{}

CTLSServerSession::~CTLSServerSession() = default;

bool CTLSServerSession::IsUsable() const
{
    return m_state->m_handshakeDone;
}

long CTLSServerSession::Receive(char* buffer, std::size_t size)
{
    return SSL_read(m_state->m_session, buffer, ClampSize(size));
}

long CTLSServerSession::Send(const char* data, std::size_t size)
{
    return SSL_write(m_state->m_session, data, ClampSize(size));
}
