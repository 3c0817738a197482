#pragma once

#include "platform/net/mailsocket.h"

#include <QTcpSocket>

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

private:
    QTcpSocket Socket;
    bool Opened = false;
    std::string RemoteHost;
    int32_t RemotePort = 0;
    int32_t LocalPort = 0;
    DataArrivalHandler OnDataArrival;
    ConnectionFaultHandler OnConnectionFault;
};
