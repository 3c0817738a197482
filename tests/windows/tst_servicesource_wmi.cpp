#include "platform/services/servicesource_wmi.h"

#include <doctest/doctest.h>

// Wine's WMI serves this machine alone: a server named otherwise must be asked over the
// network and fail there, never be answered with this machine's services.
TEST_CASE("another server is asked over the network; its failure names the call and keeps the code" *
          doctest::test_suite("wmi"))
{
    std::unique_ptr<ServiceCollection> services;
    const auto failure = WmiServiceSource().InstancesOf(
        ServiceMonikerPrefix + std::string("unreachable.invalid"), ServiceClassName, "*", services);
    REQUIRE(failure);
    CHECK(failure->Source == "ConnectServer");
    CHECK(failure->Description.ends_with("(0x80041015)"));
}
