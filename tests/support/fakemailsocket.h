#pragma once

#include "platform/mailsocket.h"
#include "tests/support/simulatedplatform.h"

#include <vector>

// A socket with a relay behind it that answers each command in the next pump and accepts
// every mail, unless it is told to refuse messages or to keep silent.
class FakeMailSocket final : public MailSocket {
public:
    explicit FakeMailSocket(SimulatedPlatform &platform) : Platform(platform) {}

    int16_t ConnectionState() const override { return State; }
    void SetProtocol(int32_t) override {}
    void SetLocalPort(int32_t) override {}
    void SetRemoteHost(const std::string &host) override { RemoteHost = host; }
    void SetRemotePort(int32_t) override {}
    void OpenConnection() override
    {
        State = 7;
        Answer("");
    }
    void SendText(const std::string &text) override
    {
        Sent.push_back(text);
        Answer(text);
    }
    void ReadReceived(std::string &text) override { text = std::exchange(Unread, {}); }
    void CloseConnection() override { State = 0; }
    void SetDataArrivalHandler(DataArrivalHandler handler) override { OnData = std::move(handler); }

    void Deliver(const std::string &data)
    {
        Unread += data;
        OnData(static_cast<int32_t>(Unread.size()));
    }

    bool Silent = false;
    int Refusals = 0; // messages to refuse before accepting
    int16_t State = 0;
    std::string RemoteHost;
    std::vector<std::string> Sent;

private:
    // "" is the connection being opened. The header block and the body piece are answered
    // only with the end mark.
    void Answer(const std::string &sent)
    {
        const bool command = sent.empty() || sent.find("\r\n") == sent.size() - 2;
        if (Silent || !command)
            return;
        std::string reply = sent.empty() ? "220 ready" : sent == "data\r\n" ? "354 go ahead" : "250 ok";
        if (sent == "quit\r\n")
            reply = "221 bye";
        if (sent == ".\r\n" && Refusals > 0 && Refusals--)
            reply = "554 rejected";
        Platform.At(Platform.Now, [this, reply] { Deliver(reply + "\r\n"); });
    }

    SimulatedPlatform &Platform;
    std::string Unread;
    DataArrivalHandler OnData;
};
