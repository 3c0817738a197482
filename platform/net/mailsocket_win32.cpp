#include "platform/net/mailsocket_win32.h"

#include "platform/os/widetext_win32.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>

namespace {

constexpr UINT SocketMessage = WM_APP + 1;
constexpr UINT LookupDoneMessage = WM_APP + 2;
constexpr long SocketEvents = FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE;
constexpr const wchar_t *WindowClassName = L"TarvikBrokerMailSocket";
constexpr int ReceiveChunk = 16384;
// What is held unread at most: a relay that streams without end would otherwise hold the
// window's thread in the reading loop, and memory would grow for as long as it sends. No recv
// means no further notification until a read makes room.
constexpr std::size_t MostUnread = 4 * ReceiveChunk;

} // namespace

Win32MailSocket::Win32MailSocket()
{
    Window.reset(Create(this, WNDCLASSEXW{}, WindowClassName, 0, 0, 0, HWND_MESSAGE));
}

Win32MailSocket::~Win32MailSocket()
{
    CloseConnection();
}

LRESULT Win32MailSocket::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case LookupDoneMessage:
        HandleLookupDone();
        return 0;
    case SocketMessage:
        HandleSocketEvent(static_cast<SOCKET>(wParam), WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
        return 0;
    }
    return DefWindowProcW(Window.get(), message, wParam, lParam);
}

void Win32MailSocket::SetProtocol(int32_t)
{
    // TCP is the only transport this socket speaks.
}

void Win32MailSocket::OpenConnection()
{
    CloseConnection();
    State = SocketState::ResolvingHost;
    // Without its window the socket has nowhere to hear of the connection, not even of its
    // failure, so the dialogue learns of it only from the silence.
    if (!Window) {
        State = SocketState::Failed;
        return;
    }
    Lookup = HostLookup::Start(RemoteHost, RemotePort, Window.get(), LookupDoneMessage);
}

void Win32MailSocket::SendText(const std::string &text)
{
    // Text sent while the host is looked up or the connection is made waits for it.
    if (State != SocketState::ResolvingHost && State != SocketState::Connecting &&
        State != SocketState::Connected)
        return;
    if (Tls && Tls->Established()) {
        if (const auto fault = Tls->Encrypt(text, Outgoing))
            return FailWith(*fault);
    } else if (Tls || !TlsPeerName.empty()) {
        HeldPlain += text;
    } else {
        Outgoing += text;
    }
    if (State == SocketState::Connected)
        SendPending();
}

void Win32MailSocket::ReadReceived(std::string &text)
{
    text = std::move(Incoming);
    Incoming.clear();
    // There is room again for what was held back.
    if (std::exchange(HeldBack, false) && Window)
        PostMessageW(Window.get(), SocketMessage, Socket.Get(), WSAMAKESELECTREPLY(FD_READ, 0));
}

void Win32MailSocket::CloseConnection()
{
    if (Lookup)
        Lookup->Cancel();
    Lookup.reset();
    if (State == SocketState::Connected)
        SendPending();
    Socket = SocketOwner();
    DiscardNotifications();
    Endpoints.clear();
    Outgoing.clear();
    Incoming.clear();
    HeldBack = false;
    Tls.reset();
    TlsPeerName.clear();
    HeldPlain.clear();
    TlsNews = {};
    State = SocketState::Closed;
}

void Win32MailSocket::StartTls(const std::string &peerName)
{
    TlsPeerName = peerName;
    if (State == SocketState::Connected)
        BeginTls();
}

void Win32MailSocket::SetTlsReadyHandler(TlsReadyHandler handler)
{
    OnTlsReady = std::move(handler);
}

void Win32MailSocket::BeginTls()
{
    Tls = std::make_unique<TlsChannel>(std::exchange(TlsPeerName, {}));
    Apply(Tls->Begin());
    SendPending();
    TellTls();
}

// What the channel has for the peer goes out as it is, what it decrypted comes in; the
// handshake's end and any failure wait to be told after the data.
void Win32MailSocket::Apply(TlsChannel::Step step)
{
    Outgoing += step.Send;
    Incoming += step.Received;
    // Held while a handshake ran, the first or one the peer asked for later.
    if (Tls->Established() && !HeldPlain.empty() && !step.Fault)
        step.Fault = Tls->Encrypt(std::exchange(HeldPlain, {}), Outgoing);
    TlsNews.Ready = step.Ready ? step.Ready : TlsNews.Ready;
    TlsNews.Fault = step.Fault ? step.Fault : TlsNews.Fault;
}

void Win32MailSocket::TellTls()
{
    const TlsChannel::Step news = std::exchange(TlsNews, {});
    if (news.Ready && OnTlsReady)
        OnTlsReady(*news.Ready);
    if (news.Fault)
        FailWith(*news.Fault);
}

void Win32MailSocket::SetDataArrivalHandler(DataArrivalHandler handler)
{
    OnDataArrival = std::move(handler);
}

void Win32MailSocket::SetConnectionFaultHandler(ConnectionFaultHandler handler)
{
    OnConnectionFault = std::move(handler);
}

void Win32MailSocket::HandleLookupDone()
{
    // A lookup left behind by CloseConnection never gets here: its message was discarded.
    const Resolution resolution = Lookup->Result();
    Lookup.reset();
    Endpoints = resolution.Endpoints;
    NextEndpoint = 0;
    LastError = resolution.Error != 0 ? resolution.Error : WSAHOST_NOT_FOUND;
    ConnectToNextEndpoint();
}

// A name often stands for several addresses (localhost for ::1 and 127.0.0.1); the relay
// may listen on only one of them, so each is tried in the resolver's order.
void Win32MailSocket::ConnectToNextEndpoint()
{
    // The next attempt's socket may get the failed one's number, so none of the failed
    // one's events may stay queued.
    Socket = SocketOwner();
    DiscardNotifications();
    while (NextEndpoint < Endpoints.size()) {
        if ((LastError = StartConnecting(Endpoints[NextEndpoint++])) == 0) {
            State = SocketState::Connecting;
            return;
        }
    }
    Fail(LastError);
}

// 0 once connecting has begun, else the Winsock error, read before the failed socket is
// closed, which may change it.
int Win32MailSocket::StartConnecting(const Endpoint &endpoint)
{
    SocketOwner attempt(socket(endpoint.Address.ss_family, SOCK_STREAM, IPPROTO_TCP));
    if (attempt.Get() == INVALID_SOCKET)
        return WSAGetLastError();
    if (LocalPort != 0 && !BindLocalPort(attempt.Get(), endpoint.Address.ss_family))
        return WSAGetLastError();
    // Also makes the socket non-blocking, so connect() returns at once.
    if (WSAAsyncSelect(attempt.Get(), Window.get(), SocketMessage, SocketEvents) != 0)
        return WSAGetLastError();
    if (connect(attempt.Get(), reinterpret_cast<const sockaddr *>(&endpoint.Address),
                endpoint.Length) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK)
        return WSAGetLastError();
    Socket = std::move(attempt);
    return 0;
}

bool Win32MailSocket::BindLocalPort(SOCKET socket, int family) const
{
    sockaddr_storage local{};
    local.ss_family = static_cast<ADDRESS_FAMILY>(family);
    const u_short port = htons(static_cast<u_short>(LocalPort));
    if (family == AF_INET6)
        reinterpret_cast<sockaddr_in6 &>(local).sin6_port = port;
    else
        reinterpret_cast<sockaddr_in &>(local).sin_port = port;
    const int length = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    return bind(socket, reinterpret_cast<const sockaddr *>(&local), length) == 0;
}

void Win32MailSocket::HandleSocketEvent(SOCKET socket, WORD event, WORD error)
{
    // Events still queued when the peer closed the socket.
    if (socket != Socket.Get())
        return;
    switch (event) {
    case FD_CONNECT:
        if (error != 0) {
            LastError = error;
            return ConnectToNextEndpoint();
        }
        State = SocketState::Connected;
        if (!TlsPeerName.empty())
            return BeginTls();
        return SendPending();
    case FD_WRITE:
        return SendPending();
    case FD_READ:
    case FD_CLOSE: {
        // After the peer's close what is left is all there will be.
        const bool arrived = ReceiveAvailable(event == FD_CLOSE ? SIZE_MAX : MostUnread);
        if (event == FD_CLOSE) {
            Socket = SocketOwner();
            State = SocketState::Failed;
        }
        if (State == SocketState::Connected)
            SendPending();
        // The handlers may close or reopen the connection, so they come last, the data first.
        if (arrived && OnDataArrival)
            OnDataArrival(static_cast<int32_t>(std::min<std::size_t>(Incoming.size(), INT_MAX)));
        TellTls();
        if (event == FD_CLOSE && State == SocketState::Failed)
            Fail(error);
        return;
    }
    }
}

// Lost, refused or never found: not closed for the caller until it closes it.
void Win32MailSocket::Fail(int error)
{
    // A close in good order has no error code, and so no words of the system's.
    FailWith(error != 0 ? SystemText(static_cast<unsigned long>(error)) : "The remote host closed the connection.");
}

void Win32MailSocket::FailWith(const std::string &reason)
{
    State = SocketState::Failed;
    if (OnConnectionFault)
        OnConnectionFault(reason);
}

void Win32MailSocket::SendPending()
{
    while (!Outgoing.empty()) {
        const int length = static_cast<int>(std::min<std::size_t>(Outgoing.size(), INT_MAX));
        const int sent = send(Socket.Get(), Outgoing.data(), length, 0);
        // WSAEWOULDBLOCK: FD_WRITE comes once there is room. A lost connection shows as
        // FD_CLOSE.
        if (sent <= 0)
            return;
        Outgoing.erase(0, static_cast<std::size_t>(sent));
    }
}

bool Win32MailSocket::ReceiveAvailable(std::size_t mostUnread)
{
    const std::size_t before = Incoming.size();
    char chunk[ReceiveChunk];
    int received = 0;
    while (!(HeldBack = Incoming.size() >= mostUnread) &&
           (received = recv(Socket.Get(), chunk, sizeof chunk, 0)) > 0) {
        const std::string arrived(chunk, static_cast<std::size_t>(received));
        if (Tls)
            Apply(Tls->Take(arrived));
        else
            Incoming += arrived;
    }
    return Incoming.size() > before;
}

void Win32MailSocket::DiscardNotifications()
{
    // A closed socket's events and a cancelled lookup's message may still be queued; the
    // next connection must not take them for its own. Only posted messages are taken, so
    // that no other window's sent message runs in the middle of a close.
    MSG message{};
    while (Window && PeekMessageW(&message, Window.get(), SocketMessage, LookupDoneMessage,
                                  PM_REMOVE | PM_NOYIELD | PM_QS_POSTMESSAGE)) {
    }
}
