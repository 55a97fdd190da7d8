#include "http/TLSStream.h"

#include "http/openssl/SocketBIO.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <climits>

namespace {

const char kOldVersionsOnly[] = "the server offers only TLS versions older than 1.2";
const char kChainIncomplete[] =
    "certificate chain incomplete (the server does not send its intermediate certificates)";

int ClampSize(std::size_t size)
{
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

platform::SocketHandle SocketOf(BIO* bio)
{
    return reinterpret_cast<platform::SocketHandle>(BIO_get_data(bio));
}

int WriteToSocket(BIO* bio, const char* data, int size)
{
    BIO_clear_retry_flags(bio);
    platform::SocketError error;
    const long sent =
        platform::SendBytes(SocketOf(bio), data, static_cast<std::size_t>(size), error);
    if (sent < 0 && error == platform::SocketError::WouldBlock)
        BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

int ReadFromSocket(BIO* bio, char* buffer, int size)
{
    BIO_clear_retry_flags(bio);
    platform::SocketError error;
    const long received = platform::ReceiveBytes(
        SocketOf(bio), buffer, static_cast<std::size_t>(size), platform::Receive::Take, error);
    if (received < 0 && error == platform::SocketError::WouldBlock)
        BIO_set_retry_read(bio);
    return static_cast<int>(received);
}

long ControlSocket(BIO*, int command, long, void*)
{
    // Writes are unbuffered, so a flush has nothing to do; nothing else is supported.
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int CreateSocketBIO(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* SocketMethod()
{
    static BIO_METHOD* const method = [] {
        BIO_METHOD* created =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "platform socket");
        if (created != nullptr) {
            BIO_meth_set_write(created, WriteToSocket);
            BIO_meth_set_read(created, ReadFromSocket);
            BIO_meth_set_ctrl(created, ControlSocket);
            BIO_meth_set_create(created, CreateSocketBIO);
        }
        return created;
    }();
    return method;
}

// One context for every client session of the process, built on first use. It is never
// freed: sessions of abandoned downloads may still hold it while the process ends.
SSL_CTX* ClientContext()
{
    static SSL_CTX* const context = [] {
        SSL_CTX* created = SSL_CTX_new(TLS_client_method());
        if (created == nullptr)
            return created;
        if (SSL_CTX_set_default_verify_paths(created) != 1 ||
            SSL_CTX_set_min_proto_version(created, TLS1_2_VERSION) != 1) {
            SSL_CTX_free(created);
            return static_cast<SSL_CTX*>(nullptr);
        }
        SSL_CTX_set_verify(created, SSL_VERIFY_PEER, nullptr);
        // Servers that close the connection without a closing alert end the response.
        SSL_CTX_set_options(created, SSL_OP_IGNORE_UNEXPECTED_EOF);
        return created;
    }();
    return context;
}

// Whether the certificates a server sent stop short of a root because the server left out
// the intermediate certificates a public CA's chain has: the last one was issued by another,
// and names where its issuer's certificate is published, as a public CA's do. (A private CA's
// root missing from the trust store is "not trusted".)
bool LacksIntermediates(SSL* ssl)
{
    STACK_OF(X509)* chain = SSL_get_peer_cert_chain(ssl);
    const int count = chain == nullptr ? 0 : sk_X509_num(chain);
    if (count == 0)
        return false;
    X509* last = sk_X509_value(chain, count - 1);
    if (X509_check_issued(last, last) == X509_V_OK)
        return false;
    AUTHORITY_INFO_ACCESS* access = static_cast<AUTHORITY_INFO_ACCESS*>(
        X509_get_ext_d2i(last, NID_info_access, nullptr, nullptr));
    bool publishesIssuer = false;
    for (int index = 0; access != nullptr && index < sk_ACCESS_DESCRIPTION_num(access); ++index)
        publishesIssuer =
            publishesIssuer ||
            OBJ_obj2nid(sk_ACCESS_DESCRIPTION_value(access, index)->method) == NID_ad_ca_issuers;
    AUTHORITY_INFO_ACCESS_free(access);
    return publishesIssuer;
}

} // namespace

BIO* NewSocketBIO(platform::SocketHandle socket)
{
    BIO_METHOD* method = SocketMethod();
    if (method == nullptr)
        return nullptr;
    BIO* bio = BIO_new(method);
    if (bio != nullptr)
        BIO_set_data(bio, reinterpret_cast<void*>(socket));
    return bio;
}

class CTLSStream::CSession
{
public:
    explicit CSession(SSL* ssl) : m_ssl(ssl) {}
    ~CSession() { SSL_free(m_ssl); }
    CSession(const CSession&) = delete;
    CSession& operator=(const CSession&) = delete;

    SSL* const m_ssl;
    // Whether the handshake failed since no TLS version was acceptable to both sides.
    bool m_versionMismatch = false;
};

CTLSStream::CTLSStream(platform::SocketHandle socket)
{
    SSL_CTX* context = ClientContext();
    if (context == nullptr)
        return;
    SSL* session = SSL_new(context);
    BIO* bio = NewSocketBIO(socket);
    if (session == nullptr || bio == nullptr) {
        BIO_free(bio);
        SSL_free(session);
        return;
    }
    SSL_set_bio(session, bio, bio);
    m_session.reset(new CSession(session));
}

CTLSStream::~CTLSStream() = default;

bool CTLSStream::Handshake(const std::string& host)
{
    // An IP address is checked against the certificate's IP entries and sent without SNI,
    // which carries names only.
    X509_VERIFY_PARAM* parameters = SSL_get0_param(m_session->m_ssl);
    const bool isAddress = X509_VERIFY_PARAM_set1_ip_asc(parameters, host.c_str()) == 1;
    if (!isAddress) {
        SSL_set_hostflags(m_session->m_ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (host.empty() || SSL_set_tlsext_host_name(m_session->m_ssl, host.c_str()) != 1 ||
            SSL_set1_host(m_session->m_ssl, host.c_str()) != 1)
            return false;
    }
    // The error queue is the thread's: what an earlier session left in it is not this one's.
    ERR_clear_error();
    if (SSL_connect(m_session->m_ssl) != 1) {
        const unsigned long error = ERR_peek_last_error();
        const int reason = ERR_GET_REASON(error);
        m_session->m_versionMismatch =
            ERR_GET_LIB(error) == ERR_LIB_SSL &&
            (reason == SSL_R_UNSUPPORTED_PROTOCOL || reason == SSL_R_TLSV1_ALERT_PROTOCOL_VERSION ||
             reason == SSL_R_NO_PROTOCOLS_AVAILABLE || reason == SSL_R_VERSION_TOO_LOW);
        return false;
    }
    return SSL_get_verify_result(m_session->m_ssl) == X509_V_OK;
}

const char* CTLSStream::HandshakeFailure() const
{
    if (m_session != nullptr && m_session->m_versionMismatch)
        return kOldVersionsOnly;
    switch (m_session == nullptr ? X509_V_OK : SSL_get_verify_result(m_session->m_ssl)) {
    case X509_V_OK:
        return "secure connection failed";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        return LacksIntermediates(m_session->m_ssl) ? kChainIncomplete : "certificate not trusted";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "certificate not valid for this host";
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "certificate expired";
    default:
        return "certificate not trusted";
    }
}

bool CTLSStream::SendAll(const char* data, std::size_t size)
{
    while (size > 0) {
        const int sent = SSL_write(m_session->m_ssl, data, ClampSize(size));
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

long CTLSStream::Receive(char* buffer, std::size_t size)
{
    const int received = SSL_read(m_session->m_ssl, buffer, ClampSize(size));
    return received > 0 ? received : 0;
}
