#pragma once

#include "platform/net/mailsocket.h"
#include "platform/os/windows_win32.h"

#define SECURITY_WIN32
#include <security.h>
// The newer credentials, which TLS 1.3 takes, come with the blocked-protocol lists.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>
#include <schannel.h>

#include <memory>
#include <optional>
#include <string>

// One owner for an SSPI handle: the call that makes it writes Place(), and Own() follows its success.
template <typename Handle, SECURITY_STATUS(SEC_ENTRY *Release)(Handle *)>
class SspiHandle {
public:
    SspiHandle() = default;
    SspiHandle(const SspiHandle &) = delete;
    SspiHandle &operator=(const SspiHandle &) = delete;
    ~SspiHandle()
    {
        if (Owned)
            Release(&Value);
    }

    Handle *Get() { return Owned ? &Value : nullptr; }
    Handle *Place() { return &Value; }
    void Own() { Owned = true; }

private:
    Handle Value{};
    bool Owned = false;
};

// TLS over a connection the caller owns, through Schannel, the system's own TLS: the handshake,
// then every byte encrypted on the way out and decrypted on the way in. The caller hands over
// what arrives and sends what it is given back; the channel keeps a record until it is whole.
// The peer's certificate is checked against the system's trusted roots for the peer's name,
// and the result handed on, not enforced: the dialogue decides what it may still carry.
class TlsChannel {
public:
    // What the channel has for the caller after it was handed bytes.
    struct Step {
        std::string Send;                 // for the peer, as they are
        std::string Received;             // the peer's data, decrypted
        std::optional<TlsPeer> Ready;     // once, when the handshake has ended
        std::optional<std::string> Fault; // why the channel cannot go on
    };

    explicit TlsChannel(const std::string &peerName);
    TlsChannel(const TlsChannel &) = delete;
    TlsChannel &operator=(const TlsChannel &) = delete;

    // The handshake's first message.
    Step Begin();
    Step Take(const std::string &arrived);
    // Appends `plain` sealed to `sealed`, once the handshake has ended; why it could not.
    std::optional<std::string> Encrypt(const std::string &plain, std::string &sealed);
    bool Established() const { return Done; }

private:
    Step Handshake();
    Step DecryptPending();
    TlsPeer CheckPeer();

    std::wstring PeerName;
    SspiHandle<CredHandle, FreeCredentialsHandle> Credentials;
    // Declared after the credentials it was made with, so that it goes first.
    SspiHandle<CtxtHandle, DeleteSecurityContext> Context;
    bool Done = false;
    bool Told = false;   // the handshake's end was handed on
    bool AskedForCertificate = false;
    std::string Pending; // received, not yet a whole record
    SecPkgContext_StreamSizes Sizes{};
};
