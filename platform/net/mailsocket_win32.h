#pragma once

#include "platform/net/hostlookup_win32.h"
#include "platform/net/mailsocket.h"
#include "platform/net/tlschannel_win32.h"
#include "platform/net/winsocksession_win32.h"
#include "platform/os/handles_win32.h"
#include "platform/ui/basewindow_win32.h"

#include <memory>
#include <vector>

// A Winsock client socket whose events arrive as messages to a message-only window of its
// own (WSAAsyncSelect), so that connecting, data and the peer's close are handled only
// while the user-interface thread pumps its messages.
class Win32MailSocket final : public MailSocket, private BaseWindow<Win32MailSocket> {
public:
    Win32MailSocket();
    ~Win32MailSocket() override;
    Win32MailSocket(const Win32MailSocket &) = delete;
    Win32MailSocket &operator=(const Win32MailSocket &) = delete;

    int16_t ConnectionState() const override { return State; }
    void SetProtocol(int32_t protocol) override;
    void SetLocalPort(int32_t port) override { LocalPort = port; }
    void SetRemoteHost(const std::string &host) override { RemoteHost = host; }
    void SetRemotePort(int32_t port) override { RemotePort = port; }
    void OpenConnection() override;
    void SendText(const std::string &text) override;
    void ReadReceived(std::string &text) override;
    void CloseConnection() override;
    void SetDataArrivalHandler(DataArrivalHandler handler) override;
    void SetConnectionFaultHandler(ConnectionFaultHandler handler) override;
    void StartTls(const std::string &peerName) override;
    void SetTlsReadyHandler(TlsReadyHandler handler) override;

private:
    friend class BaseWindow<Win32MailSocket>;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void ConnectToNextEndpoint();
    int StartConnecting(const Endpoint &endpoint);
    bool BindLocalPort(SOCKET socket, int family) const;
    void HandleLookupDone();
    void HandleSocketEvent(SOCKET socket, WORD event, WORD error);
    void Fail(int error);
    void FailWith(const std::string &reason);
    void BeginTls();
    void Apply(TlsChannel::Step step);
    void TellTls();
    void SendPending();
    bool ReceiveAvailable(std::size_t mostUnread);
    void DiscardNotifications();

    // Winsock first and gone last: every socket and lookup needs it.
    std::shared_ptr<WinsockSession> Winsock = WinsockSession::Acquire();
    SocketOwner Socket;
    std::shared_ptr<HostLookup> Lookup;

    int16_t State = SocketState::Closed;
    std::vector<Endpoint> Endpoints;
    std::size_t NextEndpoint = 0;
    int LastError = 0; // why the last address could not be reached
    std::string Outgoing;
    std::string Incoming;
    bool HeldBack = false; // receiving stopped while Incoming was full
    // Once StartTls has come, what goes out and comes in passes through Schannel.
    std::unique_ptr<TlsChannel> Tls;
    std::string TlsPeerName; // of a StartTls waiting for the connection
    std::string HeldPlain;   // sent during the handshake, encrypted once it has ended
    TlsChannel::Step TlsNews;  // the handshake's end or failure, told after the data
    std::string RemoteHost;
    int32_t RemotePort = 0;
    int32_t LocalPort = 0;
    DataArrivalHandler OnDataArrival;
    ConnectionFaultHandler OnConnectionFault;
    TlsReadyHandler OnTlsReady;
    // Declared last, so that it goes first: the messages of its destruction still find
    // everything above.
    WindowPtr Window;
};
