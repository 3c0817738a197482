#include "tests/support/inmemoryservicesource.h"

namespace {

class InMemoryCollection final : public ServiceCollection {
public:
    InMemoryCollection(std::vector<BrokerService> services, std::optional<std::size_t> failingRead)
        : Services(std::move(services)), FailingRead(failingRead)
    {
    }

    std::size_t Count() const override { return Services.size(); }
    const std::string &Name(std::size_t index) const override { return Services.at(index).Name; }
    std::optional<SourceFailure> Read(std::size_t index, BrokerService &service) override
    {
        if (FailingRead == index)
            return SourceFailure{"SWbemObject", "Access denied"};
        service = Services.at(index);
        return std::nullopt;
    }

private:
    std::vector<BrokerService> Services;
    std::optional<std::size_t> FailingRead;
};

} // namespace

std::optional<SourceFailure> InMemoryServiceSource::InstancesOf(const std::string &moniker,
                                                                const std::string &className,
                                                                const std::string &,
                                                                std::unique_ptr<ServiceCollection> &instances)
{
    ListedAt.push_back(Now());
    LastMoniker = moniker;
    LastClass = className;
    if (ListingFailure)
        return ListingFailure;
    instances = std::make_unique<InMemoryCollection>(Services, FailingRead);
    return std::nullopt;
}
