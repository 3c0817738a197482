#pragma once

#include "platform/mailsocket.h"

// The real socket, except that the mail's fixed port 25 leads to a test server's port.
class PortRedirectingSocket final : public MailSocket {
public:
    PortRedirectingSocket(MailSocket &real, int32_t port) : Real(real), Port(port) {}

    int16_t ConnectionState() const override { return Real.ConnectionState(); }
    void SetProtocol(int32_t protocol) override { Real.SetProtocol(protocol); }
    void SetLocalPort(int32_t port) override { Real.SetLocalPort(port); }
    void SetRemoteHost(const std::string &host) override { Real.SetRemoteHost(host); }
    void SetRemotePort(int32_t port) override
    {
        RequestedPort = port;
        Real.SetRemotePort(Port);
    }
    void OpenConnection() override { Real.OpenConnection(); }
    void SendText(const std::string &text) override { Real.SendText(text); }
    void ReadReceived(std::string &text) override { Real.ReadReceived(text); }
    void CloseConnection() override { Real.CloseConnection(); }
    void SetDataArrivalHandler(DataArrivalHandler handler) override
    {
        Real.SetDataArrivalHandler(std::move(handler));
    }

    int32_t RequestedPort = 0;

private:
    MailSocket &Real;
    int32_t Port;
};
