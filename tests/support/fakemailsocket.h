#pragma once

#include "platform/mailsocket.h"

#include <vector>

// A socket with nobody behind it: the test delivers the data that "arrives".
class FakeMailSocket final : public MailSocket {
public:
    int16_t ConnectionState() const override { return State; }
    void SetProtocol(int32_t) override {}
    void SetLocalPort(int32_t) override {}
    void SetRemoteHost(const std::string &host) override { RemoteHost = host; }
    void SetRemotePort(int32_t) override {}
    void OpenConnection() override { State = 7; ++Openings; }
    void SendText(const std::string &text) override { Sent.push_back(text); }
    void ReadReceived(std::string &text) override { text = std::exchange(Unread, {}); }
    void CloseConnection() override { State = 0; }
    void SetDataArrivalHandler(DataArrivalHandler handler) override { OnData = std::move(handler); }

    void Deliver(const std::string &data)
    {
        Unread += data;
        OnData(static_cast<int32_t>(Unread.size()));
    }

    int16_t State = 0;
    int Openings = 0;
    std::string RemoteHost;
    std::vector<std::string> Sent;

private:
    std::string Unread;
    DataArrivalHandler OnData;
};
