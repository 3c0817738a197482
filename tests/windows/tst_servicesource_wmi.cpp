#include "platform/servicesource_wmi.h"

#include <doctest/doctest.h>

TEST_SUITE("wmi")
{
    // Wine's WMI serves this machine alone: a server named otherwise must be asked over the
    // network and fail there, never be answered with this machine's services.
    TEST_CASE("only this machine is listed locally; another server's failure names the call and keeps the code")
    {
        const struct { const char *Server, *Source, *Code; } rows[] = {
            {"localhost", "", ""}, {"unreachable.invalid", "ConnectServer", "(0x80041015)"}};
        for (const auto &row : rows) {
            CAPTURE(row.Server);
            const std::string moniker = std::string("winmgmts:{impersonationLevel=impersonate}!//") + row.Server;
            std::unique_ptr<ServiceCollection> services;
            const SourceFailure failure =
                WmiServiceSource().InstancesOf(moniker, "Win32_Service", "*", services).value_or(SourceFailure{});
            CHECK(failure.Source == row.Source);
            CHECK(failure.Description.ends_with(row.Code));
            CHECK((services && services->Count() > 0) == !*row.Source);
        }
    }
}
