#include "platform/net/tlschannel_win32.h"

#include "platform/os/widetext_win32.h"

#include <wincrypt.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr ULONG Requests = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                           ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                           ISC_REQ_MANUAL_CRED_VALIDATION | ISC_REQ_USE_SUPPLIED_CREDS;
// The certificate is checked by CheckPeer, whose result the dialogue weighs; no client
// certificate of the user's is offered.
constexpr DWORD CredentialFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;

struct ContextBufferDeleter {
    void operator()(void *buffer) const { FreeContextBuffer(buffer); }
};
struct CertificateDeleter {
    void operator()(const CERT_CONTEXT *certificate) const { CertFreeCertificateContext(certificate); }
};
struct ChainDeleter {
    void operator()(const CERT_CHAIN_CONTEXT *chain) const { CertFreeCertificateChain(chain); }
};

std::string Words(SECURITY_STATUS status)
{
    return SystemText(static_cast<unsigned long>(status));
}

// TLS 1.3 takes the newer form of the credentials on the systems that know it; the others, Wine
// among them, the classic one.
SECURITY_STATUS Acquire(SspiHandle<CredHandle, FreeCredentialsHandle> &credentials)
{
    SCH_CREDENTIALS modern{};
    modern.dwVersion = SCH_CREDENTIALS_VERSION;
    modern.dwFlags = CredentialFlags;
    SCHANNEL_CRED classic{};
    classic.dwVersion = SCHANNEL_CRED_VERSION;
    classic.dwFlags = CredentialFlags;
    SECURITY_STATUS status = SEC_E_UNSUPPORTED_FUNCTION;
    for (void *form : {static_cast<void *>(&modern), static_cast<void *>(&classic)}) {
        status = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t *>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                           form, nullptr, nullptr, credentials.Place(), nullptr);
        if (status == SEC_E_OK) {
            credentials.Own();
            break;
        }
    }
    return status;
}

TlsChannel::Step &Merge(TlsChannel::Step &step, TlsChannel::Step more)
{
    step.Send += more.Send;
    step.Received += more.Received;
    step.Ready = step.Ready ? step.Ready : more.Ready;
    step.Fault = step.Fault ? step.Fault : more.Fault;
    return step;
}

} // namespace

TlsChannel::TlsChannel(const std::string &peerName) : PeerName(WideFromUtf8(peerName)) {}

TlsChannel::Step TlsChannel::Begin()
{
    if (const SECURITY_STATUS status = Acquire(Credentials); status != SEC_E_OK) {
        Step refused;
        refused.Fault = "TLS is not to be had: " + Words(status);
        return refused;
    }
    return Handshake();
}

TlsChannel::Step TlsChannel::Take(const std::string &arrived)
{
    Pending += arrived;
    return Done ? DecryptPending() : Handshake();
}

// Each round hands the peer's messages to Schannel and sends the peer what it answers, until
// the handshake has ended; what came beyond it is the peer's first data.
TlsChannel::Step TlsChannel::Handshake()
{
    Step step;
    for (;;) {
        SecBuffer input[2] = {{static_cast<ULONG>(Pending.size()), SECBUFFER_TOKEN, Pending.data()},
                              {0, SECBUFFER_EMPTY, nullptr}};
        SecBuffer output[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc in{SECBUFFER_VERSION, 2, input}, out{SECBUFFER_VERSION, 1, output};
        ULONG attributes = 0;
        const bool first = !Context.Get();
        const SECURITY_STATUS status =
            InitializeSecurityContextW(Credentials.Get(), Context.Get(), PeerName.data(), Requests, 0, 0,
                                       first ? nullptr : &in, 0, Context.Place(), &out, &attributes, nullptr);
        const std::unique_ptr<void, ContextBufferDeleter> token(output[0].pvBuffer);
        if (first && !FAILED(status))
            Context.Own();
        if (status == SEC_E_INCOMPLETE_MESSAGE)
            return step;
        // A relay that asks for a client certificate, as some do of every peer, gets none: the
        // same messages go in again, and the handshake goes on without one.
        if (status == SEC_I_INCOMPLETE_CREDENTIALS && !AskedForCertificate) {
            AskedForCertificate = true;
            continue;
        }
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
            step.Fault = "the TLS handshake failed: " + Words(status);
            return step;
        }
        if (token)
            step.Send.append(static_cast<const char *>(token.get()), output[0].cbBuffer);
        if (!first)
            Pending = input[1].BufferType == SECBUFFER_EXTRA ? Pending.substr(Pending.size() - input[1].cbBuffer)
                                                               : std::string();
        if (status == SEC_E_OK) {
            Done = true;
            if (!Told) {
                Told = true;
                if (const SECURITY_STATUS sized = QueryContextAttributesW(Context.Get(), SECPKG_ATTR_STREAM_SIZES, &Sizes);
                    sized != SEC_E_OK) {
                    step.Fault = "TLS failed: " + Words(sized);
                    return step;
                }
                step.Ready = CheckPeer();
            }
            return Merge(step, DecryptPending());
        }
        if (Pending.empty())
            return step;
    }
}

TlsChannel::Step TlsChannel::DecryptPending()
{
    Step step;
    while (!Pending.empty() && !step.Fault) {
        SecBuffer buffers[4] = {{static_cast<ULONG>(Pending.size()), SECBUFFER_DATA, Pending.data()},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = DecryptMessage(Context.Get(), &message, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE)
            break;
        // The peer ended TLS: the connection's close follows, and tells the rest.
        if (status == SEC_I_CONTEXT_EXPIRED) {
            Pending.clear();
            break;
        }
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) {
            step.Fault = "TLS failed: " + Words(status);
            break;
        }
        std::string extra;
        for (const SecBuffer &buffer : buffers) {
            if (buffer.BufferType == SECBUFFER_DATA)
                step.Received.append(static_cast<const char *>(buffer.pvBuffer), buffer.cbBuffer);
            if (buffer.BufferType == SECBUFFER_EXTRA)
                extra.assign(static_cast<const char *>(buffer.pvBuffer), buffer.cbBuffer);
        }
        Pending = std::move(extra);
        // After the handshake TLS 1.3 sends what Schannel takes for a renegotiation: it is
        // handed back to the handshake, which then goes on decrypting.
        if (status == SEC_I_RENEGOTIATE) {
            Done = false;
            return Merge(step, Handshake());
        }
    }
    return step;
}

std::optional<std::string> TlsChannel::Encrypt(const std::string &plain, std::string &sealed)
{
    for (std::size_t at = 0; at < plain.size(); at += Sizes.cbMaximumMessage) {
        const std::size_t length = std::min<std::size_t>(plain.size() - at, Sizes.cbMaximumMessage);
        std::string record(Sizes.cbHeader + length + Sizes.cbTrailer, '\0');
        std::memcpy(record.data() + Sizes.cbHeader, plain.data() + at, length);
        SecBuffer buffers[4] = {{Sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                                {static_cast<ULONG>(length), SECBUFFER_DATA, record.data() + Sizes.cbHeader},
                                {Sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + Sizes.cbHeader + length},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
        if (const SECURITY_STATUS status = EncryptMessage(Context.Get(), 0, &message, 0); status != SEC_E_OK)
            return "TLS failed: " + Words(status);
        sealed.append(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    }
    return std::nullopt;
}

// The peer's chain, built to the system's trusted roots, and the SSL policy for its name.
TlsPeer TlsChannel::CheckPeer()
{
    TlsPeer peer;
    const CERT_CONTEXT *raw = nullptr;
    if (QueryContextAttributesW(Context.Get(), SECPKG_ATTR_REMOTE_CERT_CONTEXT, &raw) != SEC_E_OK || !raw) {
        peer.Problem = "the relay showed no certificate";
        return peer;
    }
    const std::unique_ptr<const CERT_CONTEXT, CertificateDeleter> certificate(raw);
    wchar_t issuer[256] = {};
    CertGetNameStringW(raw, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr, issuer, 256);
    peer.Issuer = Utf8FromWide(issuer);
    char serverAuthentication[] = szOID_PKIX_KP_SERVER_AUTH;
    char *usages[] = {serverAuthentication};
    CERT_CHAIN_PARA wanted{};
    wanted.cbSize = sizeof wanted;
    wanted.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    wanted.RequestedUsage.Usage.cUsageIdentifier = 1;
    wanted.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    const CERT_CHAIN_CONTEXT *rawChain = nullptr;
    if (!CertGetCertificateChain(nullptr, raw, nullptr, raw->hCertStore, &wanted, 0, nullptr, &rawChain)) {
        peer.Problem = SystemText(GetLastError());
        return peer;
    }
    const std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainDeleter> chain(rawChain);
    HTTPSPolicyCallbackData server{};
    server.cbStruct = sizeof server;
    server.dwAuthType = AUTHTYPE_SERVER;
    server.pwszServerName = PeerName.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &server;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, rawChain, &policy, &status))
        status.dwError = GetLastError();
    peer.Trusted = status.dwError == 0;
    if (!peer.Trusted)
        peer.Problem = SystemText(status.dwError);
    return peer;
}
