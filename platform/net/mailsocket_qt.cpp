#include "platform/net/mailsocket_qt.h"

#include <QNetworkProxy>

#include <algorithm>
#include <climits>
#include <utility>

QtMailSocket::QtMailSocket()
{
    // SMTP goes to the relay directly, as it does on Windows: a desktop's web proxy is no way to
    // a relay, and asking the system for one (libproxy, perhaps WPAD on the network) may take
    // longer than a reply may.
    Socket.setProxy(QNetworkProxy::NoProxy);
    QObject::connect(&Socket, &QTcpSocket::readyRead, &Socket, [this] {
        if (OnDataArrival)
            OnDataArrival(static_cast<int32_t>(std::min<qint64>(Socket.bytesAvailable(), INT_MAX)));
    });
    QObject::connect(&Socket, &QAbstractSocket::connected, &Socket, [this] {
        if (std::exchange(TlsWhenConnected, false))
            Socket.startClientEncryption();
    });
    // The dialogue decides what an untrusted certificate may still carry; the handshake goes on.
    QObject::connect(&Socket, &QSslSocket::sslErrors, &Socket, [this](const QList<QSslError> &errors) {
        for (const QSslError &error : errors)
            TlsProblems << error.errorString();
        Socket.ignoreSslErrors();
    });
    QObject::connect(&Socket, &QSslSocket::encrypted, &Socket, [this] { TellTlsReady(); });
    // Qt reads what is left before it reports the peer's close, so the data comes first.
    QObject::connect(&Socket, &QAbstractSocket::errorOccurred, &Socket, [this] {
        if (Opened && OnConnectionFault)
            OnConnectionFault(Socket.errorString().toStdString());
    });
}

int16_t QtMailSocket::ConnectionState() const
{
    if (!Opened)
        return SocketState::Closed;
    switch (Socket.state()) {
    case QAbstractSocket::HostLookupState:
        return SocketState::ResolvingHost;
    case QAbstractSocket::ConnectingState:
        return SocketState::Connecting;
    case QAbstractSocket::ConnectedState:
        return SocketState::Connected;
    case QAbstractSocket::ClosingState:
        return SocketState::Closing;
    default:
        // Refused, unresolved, lost: still not closed until the caller closes it.
        return SocketState::Failed;
    }
}

void QtMailSocket::SetProtocol(int32_t)
{
    // TCP is the only transport this socket speaks.
}

void QtMailSocket::SetLocalPort(int32_t port)
{
    LocalPort = port;
}

void QtMailSocket::SetRemoteHost(const std::string &host)
{
    RemoteHost = host;
}

void QtMailSocket::SetRemotePort(int32_t port)
{
    RemotePort = port;
}

void QtMailSocket::OpenConnection()
{
    CloseConnection();
    Opened = true;
    if (LocalPort != 0)
        Socket.bind(QHostAddress::Any, static_cast<quint16>(LocalPort));
    // Qt resolves the name on its own lookup thread, so the window never waits for DNS.
    Socket.connectToHost(QString::fromStdString(RemoteHost), static_cast<quint16>(RemotePort));
}

void QtMailSocket::SendText(const std::string &text)
{
    // Text sent while still connecting is buffered and goes out once connected.
    const auto state = Socket.state();
    if (state == QAbstractSocket::HostLookupState || state == QAbstractSocket::ConnectingState ||
        state == QAbstractSocket::ConnectedState)
        Socket.write(text.data(), static_cast<qint64>(text.size()));
}

void QtMailSocket::ReadReceived(std::string &text)
{
    text = Socket.readAll().toStdString();
}

void QtMailSocket::CloseConnection()
{
    if (Socket.state() == QAbstractSocket::ConnectedState)
        Socket.flush();
    Socket.abort();
    Opened = false;
    TlsWhenConnected = false;
    TlsProblems.clear();
}

void QtMailSocket::StartTls(const std::string &peerName)
{
    Socket.setPeerVerifyName(QString::fromStdString(peerName));
    if (Socket.state() == QAbstractSocket::ConnectedState)
        Socket.startClientEncryption();
    else
        TlsWhenConnected = true;
}

void QtMailSocket::TellTlsReady()
{
    const QSslCertificate certificate = Socket.peerCertificate();
    const TlsPeer peer{TlsProblems.isEmpty(), TlsProblems.join("; ").toStdString(),
                       certificate.issuerDisplayName().toStdString()};
    if (OnTlsReady)
        OnTlsReady(peer);
}

void QtMailSocket::SetDataArrivalHandler(DataArrivalHandler handler)
{
    OnDataArrival = std::move(handler);
}

void QtMailSocket::SetConnectionFaultHandler(ConnectionFaultHandler handler)
{
    OnConnectionFault = std::move(handler);
}

void QtMailSocket::SetTlsReadyHandler(TlsReadyHandler handler)
{
    OnTlsReady = std::move(handler);
}
