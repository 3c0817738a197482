// What one notification mail costs the Windows program under Wine: the median of whole dialogues
// with aiosmtpd in plain text, over STARTTLS through Schannel, and over STARTTLS with a login.
// Run it through bench/run-windows, which gives it the relays of tests/support/with-tls-relays.sh
// and a prefix made after their authority is in place.
#include "mail/notificationmail.h"
#include "platform/events/eventloop_win32.h"
#include "platform/events/threadworker.h"
#include "platform/net/mailsocket_win32.h"
#include "platform/os/credentialstore_win32.h"
#include "platform/time/clocks_win32.h"
#include "platform/time/tickcounter_win32.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

int main()
{
    const auto store = std::make_shared<CredentialManagerStore>();
    store->StorePassword("ops@relay.test:587", std::getenv("BROKER_TEST_RELAY_PASSWORD"));
    Win32EventLoop loop;
    Win32Clocks clock;
    Win32TickCounter ticks;
    Win32MailSocket socket;
    ThreadWorker worker;
    NotificationMail mail(socket, {clock, ticks, loop, loop, worker, store}, [](const std::string &) {});
    int undelivered = 0;
    for (const auto &[relay, what] : {std::pair{"127.0.0.1", "one mail to aiosmtpd, plain"},
                                      {"relay.test", "the same over STARTTLS"},
                                      {"ops@relay.test:587", "the same over STARTTLS with AUTH PLAIN"}}) {
        std::vector<double> times;
        for (int run = 0; run < 20; ++run) {
            const auto start = std::chrono::steady_clock::now();
            undelivered += !mail.SendEmail(relay, "TarvikBroker", "ops@example.org", "TarvikBrokerQueue", "ops@example.org",
                                           "Tarvik Broker Service Check Message", "Please restart Tarvik Broker process "
                                                                                  "SampleBroker\r\n")
                                .Delivered;
            times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        std::sort(times.begin(), times.end());
        std::printf("%-42s %6.1f ms (median of 20)\n", what, times[times.size() / 2]);
    }
    std::printf("%d not delivered\n", undelivered);
    return undelivered == 0 ? 0 : 1;
}
