#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The numbers ConnectionState reports; 0 is the only one callers look at.
namespace SocketState {
constexpr int16_t Closed = 0;
constexpr int16_t ResolvingHost = 4;
constexpr int16_t Connecting = 6;
constexpr int16_t Connected = 7;
constexpr int16_t Closing = 8;
constexpr int16_t Failed = 9;
}

// What a finished TLS handshake tells of the relay's certificate, checked against the system's
// trusted roots for the name the dialogue connected to.
struct TlsPeer {
    bool Trusted = false;
    std::string Problem; // why it is not trusted, in the system's words
    std::string Issuer;  // who issued the relay's certificate
};

// The TCP client socket the mail dialogue runs over. Every call returns at once; what
// becomes of the connection arrives later, as data or as a fault.
class MailSocket {
public:
    using DataArrivalHandler = std::function<void(int32_t byteCount)>;
    using ConnectionFaultHandler = std::function<void(const std::string &reason)>;
    using TlsReadyHandler = std::function<void(const TlsPeer &peer)>;

    virtual ~MailSocket() = default;

    // 0 while no connection is open, being opened or being closed; not 0 from
    // OpenConnection until CloseConnection, whatever became of the connection.
    virtual int16_t ConnectionState() const = 0;
    virtual void SetProtocol(int32_t protocol) = 0; // 0 = TCP
    virtual void SetLocalPort(int32_t port) = 0;    // 0 = any
    virtual void SetRemoteHost(const std::string &host) = 0;
    virtual void SetRemotePort(int32_t port) = 0;
    virtual void OpenConnection() = 0;
    // Sends the whole text after everything sent before; dropped when no connection is open.
    virtual void SendText(const std::string &text) = 0;
    // Replaces text with everything received and not yet read, and drops it from the buffer. A
    // socket may hold back what comes while much is unread; it goes on receiving after a read.
    virtual void ReadReceived(std::string &text) = 0;
    virtual void CloseConnection() = 0;
    // Goes over to TLS with the peer named `peerName`, as soon as the connection being opened is
    // open. Its end arrives as the TLS handler's call, a handshake that fails as a fault; what is
    // received or sent from then on is inside TLS.
    virtual void StartTls(const std::string &peerName) = 0;
    // All called on the user-interface thread, only while events are pumped. A fault is
    // a connection that could not be made (a name that does not resolve, a refusal) or
    // that was lost (a reset, a close by the peer), in the platform's own words; whatever
    // arrived before it has been handed on first. Nothing is reported after
    // CloseConnection.
    virtual void SetDataArrivalHandler(DataArrivalHandler handler) = 0;
    virtual void SetConnectionFaultHandler(ConnectionFaultHandler handler) = 0;
    virtual void SetTlsReadyHandler(TlsReadyHandler handler) = 0;
};
