#pragma once

#include "platform/net/mailsocket.h"

#include <QSslSocket>
#include <QStringList>

class QtMailSocket final : public MailSocket {
public:
    QtMailSocket();

    int16_t ConnectionState() const override;
    void SetProtocol(int32_t protocol) override;
    void SetLocalPort(int32_t port) override;
    void SetRemoteHost(const std::string &host) override;
    void SetRemotePort(int32_t port) override;
    void OpenConnection() override;
    void SendText(const std::string &text) override;
    void ReadReceived(std::string &text) override;
    void CloseConnection() override;
    void SetDataArrivalHandler(DataArrivalHandler handler) override;
    void SetConnectionFaultHandler(ConnectionFaultHandler handler) override;
    void StartTls(const std::string &peerName) override;
    void SetTlsReadyHandler(TlsReadyHandler handler) override;

private:
    void TellTlsReady();

    // Plain TCP until StartTls; Qt's TLS is OpenSSL's, with the system's trusted roots.
    QSslSocket Socket;
    bool Opened = false;
    bool TlsWhenConnected = false;
    QStringList TlsProblems; // what the certificate's check found, this connection
    std::string RemoteHost;
    int32_t RemotePort = 0;
    int32_t LocalPort = 0;
    DataArrivalHandler OnDataArrival;
    ConnectionFaultHandler OnConnectionFault;
    TlsReadyHandler OnTlsReady;
};
