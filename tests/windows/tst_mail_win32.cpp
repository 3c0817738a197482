#include "mail/notificationmail.h"
#include "platform/clocks_win32.h"
#include "platform/eventloop_win32.h"
#include "platform/mailsocket_win32.h"
#include "platform/numberformat_win32.h"
#include "platform/tickcounter_win32.h"

#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

// Tells whether a handler runs inside the pump.
struct WatchedPump final : EventPump {
    void PumpMessages() override { Inside = true, Loop.PumpMessages(), Inside = false; }
    Win32EventLoop Loop;
    bool Inside = false;
};

struct CountedBoxes final : MessageBoxService {
    void MessageBox(const std::string &, int32_t, const std::optional<std::string> &) override { ++Shown; }
    int Shown = 0;
};

TEST_SUITE("mail")
{
    TEST_CASE("a whole notification mail reaches the relay, its replies only through the pump")
    {
        const char *maildir = std::getenv("BROKER_TEST_MAILDIR");
        REQUIRE(maildir);
        WatchedPump pump;
        CountedBoxes boxes;
        Win32Clocks clock;
        Win32TickCounter ticks;
        Win32NumberFormat numbers;
        Win32MailSocket socket;
        NotificationMail mail(socket, {boxes, pump, pump.Loop, clock, ticks, numbers}, [](const std::string &) {});
        int replies = 0, repliesOutsidePump = 0;
        socket.SetDataArrivalHandler([&](int32_t byteCount) {
            ++replies, repliesOutsidePump += !pump.Inside;
            mail.ReplyDataArrived(byteCount);
        });

        mail.SendEmail("localhost", "TarvikBroker", "ops@example.org", "TarvikBrokerQueue",
                       "ops@example.org", "Tarvik Broker Service Check Message",
                       "Please restart Tarvik Broker process sample-broker");

        CHECK(boxes.Shown == 0);
        CHECK(replies >= 6);
        CHECK(repliesOutsidePump == 0);
        // Wine shows the machine's root as drive Z:.
        const std::filesystem::directory_iterator mails(std::string("Z:") + maildir + "/new");
        const std::vector<std::filesystem::directory_entry> delivered(mails, {});
        REQUIRE(delivered.size() == 1);
        std::ostringstream text;
        text << std::ifstream(delivered.front().path()).rdbuf();
        for (const char *line : {"From: \"TarvikBroker\" <ops@example.org>\n",
                                 "Subject: Tarvik Broker Service Check Message\n",
                                 "\nPlease restart Tarvik Broker process sample-broker\n"})
            CHECK(text.str().find(line) != std::string::npos);
    }

    TEST_CASE("text sent while connecting goes out in order; closing works in every state")
    {
        Win32EventLoop loop;
        Win32MailSocket socket;
        std::string received, more;
        socket.SetDataArrivalHandler([&](int32_t) { socket.ReadReceived(more), received += more; });
        socket.SetRemoteHost("127.0.0.1");
        socket.SetRemotePort(25);
        socket.OpenConnection();
        socket.CloseConnection();
        CHECK(socket.ConnectionState() == SocketState::Closed);
        socket.OpenConnection();
        socket.SendText("NOOP\r\n");
        socket.SendText("QUIT\r\n");
        // The relay answers QUIT by closing, which leaves the socket open for its caller.
        while (socket.ConnectionState() != SocketState::Failed &&
               loop.WaitForInputOrHandles(0, nullptr, 10000) != WaitCode::Timeout)
            loop.PumpMessages();
        CHECK(socket.ConnectionState() == SocketState::Failed);
        CHECK(received.starts_with("220 "));
        CHECK(received.ends_with("\r\n250 OK\r\n221 Bye\r\n"));
        socket.CloseConnection();
        CHECK(socket.ConnectionState() == SocketState::Closed);
    }
}
