#include "mail/notificationmail.h"
#include "platform/events/eventloop_win32.h"
#include "platform/events/threadworker.h"
#include "platform/net/mailsocket_win32.h"
#include "platform/os/credentialstore_win32.h"
#include "platform/time/clocks_win32.h"
#include "platform/time/tickcounter_win32.h"

#include <doctest/doctest.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

// A relay whose greeting never ends: it streams one endless line until the client says quit,
// or 256 MB have gone, so that a client that reads without end shows in its memory, not in a
// test that never ends.
void StreamEndlessLine(SOCKET listener)
{
    const SocketOwner client(accept(listener, nullptr, nullptr));
    u_long nonBlocking = 1;
    ioctlsocket(client.Get(), FIONBIO, &nonBlocking);
    const std::string line = "220-" + std::string(65532, 'A');
    std::string heard;
    for (std::size_t sent = 0; sent < (256u << 20) && heard.find("quit") == std::string::npos;) {
        sent += static_cast<std::size_t>(std::max(send(client.Get(), line.data(), static_cast<int>(line.size()), 0), 0));
        char said[256];
        const int read = recv(client.Get(), said, sizeof said, 0);
        if (read == 0)
            return;
        heard.append(said, static_cast<std::size_t>(std::max(read, 0)));
    }
}

// The mail with the real Windows platform under it.
struct WindowsMail {
    Win32EventLoop Loop;
    Win32Clocks Clock;
    Win32TickCounter Ticks;
    Win32MailSocket Socket;
    ThreadWorker Worker;
    NotificationMail Mail{Socket, {Clock, Ticks, Loop, Loop, Worker, std::make_shared<CredentialManagerStore>()},
                          [](const std::string &) {}};
};

} // namespace

// Run beside the harness's relay, in a network of its own, where port 25 of 127.0.0.3 is free.
TEST_CASE("a relay that streams without a line end costs one failure, not the window's thread or its memory" *
          doctest::test_suite("socket"))
{
    const auto winsock = WinsockSession::Acquire();
    const SocketOwner listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(25);
    inet_pton(AF_INET, "127.0.0.3", &address.sin_addr);
    REQUIRE(bind(listener.Get(), reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
    REQUIRE(listen(listener.Get(), 1) == 0);
    std::thread relay(StreamEndlessLine, listener.Get());

    WindowsMail rig;
    const MailResult sent = rig.Mail.SendEmail("127.0.0.3", "TarvikBroker", "ops@example.org", "TarvikBrokerQueue",
                                               "ops@example.org", "Tarvik Broker Service Check Message", "body\r\n");
    relay.join();
    CHECK_FALSE(sent.Delivered);
    REQUIRE(sent.Failure);
    CHECK(sent.Failure->Words.starts_with("SMTP service error, impromper response code. Code should have been: 220 "
                                          "Code recieved: 220-AAA"));
    PROCESS_MEMORY_COUNTERS memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    CHECK(memory.PeakWorkingSetSize < (128u << 20));
}

// Run in a fresh prefix beside tests/support/with-tls-relays.sh, whose authority Wine took into
// the prefix as it was made; the logins are kept by the program, as an operator keeps them.
TEST_CASE("mail goes through Schannel: STARTTLS and a login on port 587, TLS from the first byte on 465" *
          doctest::test_suite("tls"))
{
    const std::string password = std::getenv("BROKER_TEST_RELAY_PASSWORD");
    WindowsMail rig;
    for (const std::string relay : {"ops@relay.test:587", "ops@relay.test:465"}) {
        CAPTURE(relay);
        FILE *keep = _popen(("Z:" + std::string(std::getenv("BROKER_MONITOR")) + " --set-relay-password " + relay).c_str(), "w");
        std::fputs(password.c_str(), keep);
        CHECK(_pclose(keep) == 0);
        const MailResult sent = rig.Mail.SendEmail(relay, "TarvikBroker", "ops@example.org", "TarvikBrokerQueue",
                                                   "ops@example.org", "Tarvik Broker Service Check Message", "body\r\n");
        CHECK_MESSAGE(sent.Delivered, (sent.Failure ? sent.Failure->Words : ""));
    }
}
