#pragma once

#include "platform/services/servicesource.h"

#include <functional>
#include <memory>
#include <vector>

// A server for the tests: the services the test sets (one of which may fail its read), or a
// real source's. Either way the test has a word before each listing, which is where a
// monitoring cycle begins: a chance to change the services between two cycles.
class ObservedSource final : public ServiceSource {
public:
    explicit ObservedSource(std::shared_ptr<ServiceSource> real = nullptr) : Real(std::move(real)) {}

    ServiceSystem System() const override { return Real ? Real->System() : Kind; }
    std::optional<SourceFailure> InstancesOf(const std::string &moniker, const std::string &className,
                                             const std::string &namePattern,
                                             std::unique_ptr<ServiceCollection> &instances) override
    {
        LastMoniker = moniker + " " + className;
        BeforeListing(++Listings);
        if (FailingListing)
            return FailingListing;
        if (Real)
            return Real->InstancesOf(moniker, className, namePattern, instances);
        instances = std::make_unique<InMemory>(*this);
        return std::nullopt;
    }

    std::function<void(int listing)> BeforeListing = [](int) {};
    ServiceSystem Kind = ServiceSystem::Windows;
    std::vector<BrokerService> Services;
    std::optional<std::size_t> FailingRead;
    std::optional<SourceFailure> FailingListing;
    std::string LastMoniker; // and the class listed
    int Listings = 0;

private:
    // The services as they are at the listing.
    struct InMemory final : ServiceCollection {
        explicit InMemory(const ObservedSource &source) : Services(source.Services), Failing(source.FailingRead) {}
        std::size_t Count() const override { return Services.size(); }
        const std::string &Name(std::size_t index) const override { return Services.at(index).Name; }
        std::optional<SourceFailure> Read(std::size_t index, BrokerService &service) override
        {
            if (Failing == index)
                return SourceFailure{"SWbemObject", "Access denied"};
            service = Services.at(index);
            return std::nullopt;
        }

        std::vector<BrokerService> Services;
        std::optional<std::size_t> Failing;
    };

    std::shared_ptr<ServiceSource> Real;
};
