#include "http/TLSStream.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format off
#include <windows.h>
#include <wincrypt.h>
// The newer form of the credentials (SCH_CREDENTIALS), which can let TLS 1.3 in.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>
#include <schannel.h>
#define SECURITY_WIN32
#include <security.h>
// clang-format on

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace {

// The largest TLS record, header and trailer included: more input is never needed at once.
constexpr std::size_t kMaxRecordBytes = 16384 + 2048;

constexpr ULONG kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                  ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY |
                                  ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;

// The certificate is verified below rather than by Schannel, so that the checks are the same
// on every Windows version.
constexpr DWORD kCredentialFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;

bool AcquireClientCredentials(void* settings, CredHandle& credentials)
{
    TimeStamp expiry;
    return ::AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A),
                                       SECPKG_CRED_OUTBOUND, nullptr, settings, nullptr, nullptr,
                                       &credentials, &expiry) == SEC_E_OK;
}

// One set of client credentials for every session of the process, acquired on first use.
// Never freed: sessions of abandoned downloads may still hold it while the process ends.
// TLS 1.2 at the least, as on Linux, and TLS 1.3 where the system has it (Windows 11, Server
// 2022). Only the newer form of the settings, which names the protocols left out, can let
// 1.3 in; a system that does not know that form (Windows before 10 version 1809, Wine)
// refuses it, and the older form then asks for 1.2 alone.
CredHandle* ClientCredentials()
{
    static CredHandle credentials;
    static const bool acquired = [] {
        TLS_PARAMETERS protocols;
        std::memset(&protocols, 0, sizeof protocols);
        protocols.grbitDisabledProtocols =
            ~static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT);
        SCH_CREDENTIALS settings;
        std::memset(&settings, 0, sizeof settings);
        settings.dwVersion = SCH_CREDENTIALS_VERSION;
        settings.dwFlags = kCredentialFlags;
        settings.cTlsParameters = 1;
        settings.pTlsParameters = &protocols;
        if (AcquireClientCredentials(&settings, credentials))
            return true;
        SCHANNEL_CRED olderSettings;
        std::memset(&olderSettings, 0, sizeof olderSettings);
        olderSettings.dwVersion = SCHANNEL_CRED_VERSION;
        olderSettings.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
        olderSettings.dwFlags = kCredentialFlags;
        return AcquireClientCredentials(&olderSettings, credentials);
    }();
    return acquired ? &credentials : nullptr;
}

// Whether the certificate lists `address` (network byte order) among its IP addresses.
bool NamesAddress(PCCERT_CONTEXT certificate, const IN_ADDR& address)
{
    const CERT_INFO* info = certificate->pCertInfo;
    const CERT_EXTENSION* extension =
        ::CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (extension == nullptr ||
        !::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                               extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                               &size))
        return false;
    bool found = false;
    for (DWORD index = 0; index < names->cAltEntry && !found; ++index) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[index];
        found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
                entry.IPAddress.cbData == sizeof address &&
                std::memcmp(entry.IPAddress.pbData, &address, sizeof address) == 0;
    }
    ::LocalFree(names);
    return found;
}

// The failures of a handshake that are not the certificate's.
const char kHandshakeFailed[] = "secure connection failed";
const char kOldVersionsOnly[] = "the server offers only TLS versions older than 1.2";
const char kChainIncomplete[] =
    "certificate chain incomplete (the server does not send its intermediate certificates)";
const char kNotForThisHost[] = "certificate not valid for this host";

// Why the policy check refused a certificate, in a user's words.
const char* CertificateFailure(DWORD error)
{
    switch (error) {
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
        return kNotForThisHost;
    case static_cast<DWORD>(CERT_E_EXPIRED):
        return "certificate expired";
    default:
        return "certificate not trusted";
    }
}

// The server's certificate must chain up to a root the user trusts and name `host`: a DNS
// name among its names, an IP address among its IP addresses (which the system's policy
// does not look at everywhere, so that is checked here). On failure, `failure` says why.
bool VerifyServerCertificate(CtxtHandle* context, const std::string& host, const char*& failure)
{
    failure = "certificate not trusted";
    PCCERT_CONTEXT certificate = nullptr;
    if (::QueryContextAttributesA(context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
            SEC_E_OK ||
        certificate == nullptr)
        return false;
    IN_ADDR address;
    const bool isAddress = ::InetPtonA(AF_INET, host.c_str(), &address) == 1;
    CERT_CHAIN_PARA chainParameters;
    std::memset(&chainParameters, 0, sizeof chainParameters);
    chainParameters.cbSize = sizeof chainParameters;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    // The certificates the server sent beside its own are in the certificate's store.
    bool trusted = ::CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore,
                                             &chainParameters, 0, nullptr, &chain) != 0;
    if (trusted) {
        std::wstring serverName(host.begin(), host.end());
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA extra;
        std::memset(&extra, 0, sizeof extra);
        extra.cbSize = sizeof extra;
        extra.dwAuthType = AUTHTYPE_SERVER;
        extra.pwszServerName = isAddress ? nullptr : &serverName[0];
        CERT_CHAIN_POLICY_PARA policy;
        std::memset(&policy, 0, sizeof policy);
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &extra;
        CERT_CHAIN_POLICY_STATUS status;
        std::memset(&status, 0, sizeof status);
        status.cbSize = sizeof status;
        trusted = ::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy,
                                                     &status) != 0 &&
                  status.dwError == 0;
        if (!trusted && status.dwError != 0)
            failure = (chain->TrustStatus.dwErrorStatus & CERT_TRUST_IS_PARTIAL_CHAIN) != 0
                          ? kChainIncomplete
                          : CertificateFailure(status.dwError);
        if (trusted && isAddress && !NamesAddress(certificate, address)) {
            trusted = false;
            failure = kNotForThisHost;
        }
        ::CertFreeCertificateChain(chain);
    }
    ::CertFreeCertificateContext(certificate);
    return trusted;
}

bool SendBytesAll(platform::SocketHandle socket, const char* data, std::size_t size)
{
    while (size > 0) {
        platform::SocketError error;
        const long sent = platform::SendBytes(socket, data, size, error);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

} // namespace

// The Schannel context over the socket: the client's handshake and the record layer.
class CTLSStream::CSession
{
public:
    explicit CSession(platform::SocketHandle socket) : m_socket(socket) {}
    ~CSession()
    {
        if (m_haveContext)
            ::DeleteSecurityContext(&m_context);
    }
    CSession(const CSession&) = delete;
    CSession& operator=(const CSession&) = delete;

    // The handshake, naming `host` to the server (SNI); checks nothing about the certificate.
    bool Connect(const std::string& host);
    CtxtHandle* Context() { return &m_context; }
    bool Send(const char* data, std::size_t size);
    long Receive(char* buffer, std::size_t size);

private:
    // Runs handshake steps over m_incoming (receiving first when `needInput`), receiving
    // more whenever the package asks for it, until it is done; false when the handshake
    // failed.
    bool Negotiate(bool needInput);
    // Appends what the socket gives to m_incoming; false when the connection ended.
    bool ReceiveMore();
    // Sends a token the security package produced, and frees it.
    bool SendToken(SecBuffer& token);

    platform::SocketHandle m_socket;
    std::string m_host; // the server's name, sent with every handshake step
    CtxtHandle m_context{};
    bool m_haveContext = false;
    SecPkgContext_StreamSizes m_sizes{};
    std::vector<char> m_incoming; // received, not yet decrypted
    std::vector<char> m_plain;    // decrypted, not yet handed out
    bool m_isTLS13 = false;       // the protocol the handshake agreed on is TLS 1.3
    bool m_ended = false;

public:
    const char* m_failure = kHandshakeFailed; // why the handshake failed
};

bool CTLSStream::CSession::ReceiveMore()
{
    if (m_incoming.size() >= kMaxRecordBytes)
        return false;
    char buffer[kMaxRecordBytes];
    platform::SocketError error;
    const long count = platform::ReceiveBytes(m_socket, buffer, kMaxRecordBytes - m_incoming.size(),
                                              platform::Receive::Take, error);
    if (count <= 0)
        return false;
    m_incoming.insert(m_incoming.end(), buffer, buffer + count);
    return true;
}

bool CTLSStream::CSession::SendToken(SecBuffer& token)
{
    const bool sent =
        token.cbBuffer == 0 || token.pvBuffer == nullptr ||
        SendBytesAll(m_socket, static_cast<const char*>(token.pvBuffer), token.cbBuffer);
    if (token.pvBuffer != nullptr)
        ::FreeContextBuffer(token.pvBuffer);
    token.pvBuffer = nullptr;
    return sent;
}

bool CTLSStream::CSession::Connect(const std::string& host)
{
    m_host = host;
    // The client speaks first.
    if (!Negotiate(false) ||
        ::QueryContextAttributesA(&m_context, SECPKG_ATTR_STREAM_SIZES, &m_sizes) != SEC_E_OK)
        return false;
    SecPkgContext_ConnectionInfo connection{};
    m_isTLS13 = ::QueryContextAttributesA(&m_context, SECPKG_ATTR_CONNECTION_INFO, &connection) ==
                    SEC_E_OK &&
                (connection.dwProtocol & SP_PROT_TLS1_3_CLIENT) != 0;
    return true;
}

bool CTLSStream::CSession::Negotiate(bool needInput)
{
    CredHandle* credentials = ClientCredentials();
    if (credentials == nullptr)
        return false;
    for (;;) {
        if (needInput && !ReceiveMore())
            return false;
        SecBuffer input[2] = {
            {static_cast<ULONG>(m_incoming.size()), SECBUFFER_TOKEN, m_incoming.data()},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inputDescription = {SECBUFFER_VERSION, 2, input};
        SecBuffer output[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc outputDescription = {SECBUFFER_VERSION, 1, output};
        ULONG attributes = 0;
        const SECURITY_STATUS status = ::InitializeSecurityContextA(
            credentials, m_haveContext ? &m_context : nullptr, &m_host[0], kContextRequest, 0, 0,
            m_haveContext ? &inputDescription : nullptr, 0, &m_context, &outputDescription,
            &attributes, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            SendToken(output[0]);
            needInput = true;
            continue;
        }
        if (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK)
            m_haveContext = true;
        // A server whose versions this side has all turned off is refused this way.
        if (status == SEC_E_UNSUPPORTED_FUNCTION || status == SEC_E_ALGORITHM_MISMATCH)
            m_failure = kOldVersionsOnly;
        if (!SendToken(output[0]) || (status != SEC_I_CONTINUE_NEEDED && status != SEC_E_OK))
            return false;
        // Input the package has not used yet stays for the next step, or for the data.
        if (input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer > 0)
            m_incoming.erase(m_incoming.begin(), m_incoming.end() - input[1].cbBuffer);
        else
            m_incoming.clear();
        if (status == SEC_E_OK)
            return true;
        needInput = m_incoming.empty();
    }
}

bool CTLSStream::CSession::Send(const char* data, std::size_t size)
{
    std::vector<char> record(m_sizes.cbHeader + m_sizes.cbMaximumMessage + m_sizes.cbTrailer);
    while (size > 0) {
        const ULONG piece =
            static_cast<ULONG>(std::min<std::size_t>(size, m_sizes.cbMaximumMessage));
        std::memcpy(record.data() + m_sizes.cbHeader, data, piece);
        SecBuffer buffers[4] = {
            {m_sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
            {piece, SECBUFFER_DATA, record.data() + m_sizes.cbHeader},
            {m_sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + m_sizes.cbHeader + piece},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc description = {SECBUFFER_VERSION, 4, buffers};
        if (::EncryptMessage(&m_context, 0, &description, 0) != SEC_E_OK ||
            !SendBytesAll(m_socket, record.data(),
                          buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer))
            return false;
        data += piece;
        size -= piece;
    }
    return true;
}

long CTLSStream::CSession::Receive(char* buffer, std::size_t size)
{
    while (m_plain.empty() && !m_ended) {
        if (m_incoming.empty() && !ReceiveMore()) {
            m_ended = true;
            break;
        }
        SecBuffer buffers[4] = {
            {static_cast<ULONG>(m_incoming.size()), SECBUFFER_DATA, m_incoming.data()},
            {0, SECBUFFER_EMPTY, nullptr},
            {0, SECBUFFER_EMPTY, nullptr},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc description = {SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = ::DecryptMessage(&m_context, &description, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            m_ended = !ReceiveMore();
            continue;
        }
        // A closing alert or a failure: the stream ends with what came before.
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) {
            m_ended = true;
            break;
        }
        std::vector<char> extra;
        for (const SecBuffer& piece : buffers) {
            const char* bytes = static_cast<const char*>(piece.pvBuffer);
            if (piece.BufferType == SECBUFFER_DATA)
                m_plain.insert(m_plain.end(), bytes, bytes + piece.cbBuffer);
            else if (piece.BufferType == SECBUFFER_EXTRA)
                extra.assign(bytes, bytes + piece.cbBuffer);
        }
        m_incoming.swap(extra);
        // TLS 1.3 sends handshake messages after the handshake (new session tickets, a key
        // update); the package takes them, in the bytes it left undecrypted, through another
        // handshake step. Under TLS 1.2 the same status is a server asking for a new
        // handshake, which could bring another certificate: the stream ends there.
        if (status == SEC_I_RENEGOTIATE && (!m_isTLS13 || !Negotiate(false)))
            m_ended = true;
    }
    const std::size_t count = std::min({size, m_plain.size(), static_cast<std::size_t>(LONG_MAX)});
    std::memcpy(buffer, m_plain.data(), count);
    m_plain.erase(m_plain.begin(), m_plain.begin() + count);
    return static_cast<long>(count);
}

CTLSStream::CTLSStream(platform::SocketHandle socket) : m_session(new CSession(socket)) {}

CTLSStream::~CTLSStream() = default;

bool CTLSStream::Handshake(const std::string& host)
{
    return !host.empty() && m_session->Connect(host) &&
           VerifyServerCertificate(m_session->Context(), host, m_session->m_failure);
}

const char* CTLSStream::HandshakeFailure() const
{
    return m_session == nullptr ? kHandshakeFailed : m_session->m_failure;
}

bool CTLSStream::SendAll(const char* data, std::size_t size)
{
    return m_session->Send(data, size);
}

long CTLSStream::Receive(char* buffer, std::size_t size)
{
    return m_session->Receive(buffer, size);
}
