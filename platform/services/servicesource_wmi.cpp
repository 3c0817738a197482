#include "platform/services/servicesource_wmi.h"

#include "platform/os/widetext_win32.h"
#include "platform/os/windows_win32.h"

#include <objbase.h>
#include <oleauto.h>
#include <wbemcli.h>
#include <wrl/client.h>

#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// Rows that one round trip brings, and how long a fetch waits for them: a server that sends
// nothing for that long is reported to the operator rather than waited for.
constexpr ULONG Batch = 64;
constexpr long FetchTimeoutMs = 30000;

struct BstrDeleter {
    void operator()(BSTR text) const { SysFreeString(text); }
};
using BstrPtr = std::unique_ptr<OLECHAR, BstrDeleter>;

BstrPtr Bstr(const std::wstring &text)
{
    return BstrPtr(SysAllocString(text.c_str()));
}

std::string Utf8FromBstr(BSTR text)
{
    return text ? Utf8FromWide(std::wstring(text, SysStringLen(text))) : std::string();
}

class Variant {
public:
    Variant() { VariantInit(&Value); }
    ~Variant() { VariantClear(&Value); }
    Variant(const Variant &) = delete;
    Variant &operator=(const Variant &) = delete;

    VARIANT Value;
};

// Joins the calling thread to COM's multithreaded apartment for one listing. A thread that
// has already chosen the single-threaded one keeps it (RPC_E_CHANGED_MODE), and COM serves
// it there all the same; only a join that succeeded is undone.
class ComApartment {
public:
    ComApartment() : Joined(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComApartment()
    {
        if (Joined)
            CoUninitialize();
    }
    ComApartment(const ComApartment &) = delete;
    ComApartment &operator=(const ComApartment &) = delete;

private:
    const bool Joined;
};

// The failures an operator meets most often, in words that say what to do about them.
std::string WordsFor(HRESULT code)
{
    switch (static_cast<unsigned long>(code)) {
    case 0x800706BA: // RPC_S_SERVER_UNAVAILABLE
        return "The server cannot be reached, or its firewall does not let WMI in (its \"Windows Management "
               "Instrumentation (WMI)\" inbound rules).";
    case 0x80070005: // E_ACCESSDENIED, from DCOM
    case 0x80041003: // WBEM_E_ACCESS_DENIED, from WMI itself
        return "Access is denied: this account may not read the server's services remotely. A local account "
               "of the server is refused remotely unless the server lifts UAC's remote restrictions "
               "(LocalAccountTokenFilterPolicy); a domain account in the server's Administrators is not.";
    case 0x80041015: // WBEM_E_TRANSPORT_FAILURE
        return "WMI's connection to the server failed; under Wine, WMI serves no server but this machine.";
    case 0x00040004: // WBEM_S_TIMEDOUT
        return "The server sent no services for " + std::to_string(FetchTimeoutMs / 1000) + " seconds.";
    default:
        return SystemText(code);
    }
}

// The one place an HRESULT becomes words. The code stays beside them, for a search or a call
// to support; `call` names what failed.
SourceFailure FailureOf(const std::string &call, HRESULT code)
{
    char number[16];
    std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(code));
    std::string words = WordsFor(code);
    // The system has no text for WMI's own codes, and what it gives instead is the code.
    if (words.find(number) == std::string::npos)
        words += std::string(" (") + number + ")";
    return {call, words};
}

// What a moniker such as "winmgmts:{impersonationLevel=impersonate}!//SERVER" asks for.
struct Target {
    std::wstring Server;
    DWORD Impersonation = RPC_C_IMP_LEVEL_IMPERSONATE; // WMI's own default
};

// Monikers and machine names are alike in any letter case.
std::wstring Lowered(std::wstring text)
{
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::optional<Target> TargetOf(const std::string &moniker)
{
    constexpr std::wstring_view scheme = L"winmgmts:", server = L"!//", setting = L"impersonationlevel=";
    constexpr std::pair<std::wstring_view, DWORD> levels[] = {{L"anonymous", RPC_C_IMP_LEVEL_ANONYMOUS},
                                                              {L"identify", RPC_C_IMP_LEVEL_IDENTIFY},
                                                              {L"impersonate", RPC_C_IMP_LEVEL_IMPERSONATE},
                                                              {L"delegate", RPC_C_IMP_LEVEL_DELEGATE}};
    const std::wstring text = Lowered(WideFromUtf8(moniker));
    const auto at = text.find(server);
    if (!text.starts_with(scheme) || at == std::wstring::npos)
        return std::nullopt;
    Target target{text.substr(at + server.size())};
    const std::wstring_view settings = std::wstring_view(text).substr(0, at);
    const auto asked = settings.find(setting);
    if (asked == std::wstring_view::npos)
        return target;
    std::wstring_view level = settings.substr(asked + setting.size());
    level = level.substr(0, level.find_first_of(L",}"));
    for (const auto &[name, value] : levels)
        if (level == name) {
            target.Impersonation = value;
            return target;
        }
    return std::nullopt;
}

std::wstring ComputerName(COMPUTER_NAME_FORMAT format)
{
    DWORD size = 0;
    GetComputerNameExW(format, nullptr, &size);
    std::wstring name(size, L'\0');
    if (!GetComputerNameExW(format, name.data(), &size))
        return {};
    name.resize(size);
    return Lowered(name);
}

// Whatever name this machine goes by, its WMI is asked through the local path, which needs
// neither the network nor WMI's remote rights.
bool IsThisMachine(const std::wstring &server)
{
    if (server.empty() || server == L"." || server == L"localhost")
        return true;
    for (const auto format : {ComputerNameNetBIOS, ComputerNameDnsHostname, ComputerNameDnsFullyQualified})
        if (server == ComputerName(format))
            return true;
    return false;
}

// Each proxy is told how to call, so the process needs no CoInitializeSecurity. Windows'
// DCOM hardening refuses calls below packet integrity; privacy also keeps the listing off the
// wire in clear. An object in our own process has no proxy to tell, and needs none.
std::optional<SourceFailure> Secure(IUnknown *proxy, DWORD impersonation)
{
    const HRESULT hr = CoSetProxyBlanket(proxy, RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_DEFAULT, COLE_DEFAULT_PRINCIPAL,
                                         RPC_C_AUTHN_LEVEL_PKT_PRIVACY, impersonation, nullptr, EOAC_NONE);
    if (FAILED(hr) && hr != E_NOINTERFACE)
        return FailureOf("CoSetProxyBlanket", hr);
    return std::nullopt;
}

std::optional<SourceFailure> Connect(const Target &target, ComPtr<IWbemServices> &services)
{
    ComPtr<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&locator));
    if (FAILED(hr))
        return FailureOf("CoCreateInstance", hr);
    const std::wstring path = (IsThisMachine(target.Server) ? L"" : L"\\\\" + target.Server + L"\\") + L"root\\cimv2";
    // Without the flag a connect to a broken server may never return; with it Windows gives
    // up after two minutes.
    hr = locator->ConnectServer(Bstr(path).get(), nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                nullptr, &services);
    if (FAILED(hr))
        return FailureOf("ConnectServer", hr);
    return Secure(services.Get(), target.Impersonation);
}

std::optional<SourceFailure> Query(IWbemServices &services, const std::string &className, DWORD impersonation,
                                   ComPtr<IEnumWbemClassObject> &rows)
{
    const std::wstring query = L"SELECT Name, ProcessId, ServiceType, State, StartMode FROM " + WideFromUtf8(className);
    const HRESULT hr = services.ExecQuery(Bstr(L"WQL").get(), Bstr(query).get(),
                                          WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &rows);
    if (FAILED(hr))
        return FailureOf("ExecQuery", hr);
    // A success is no promise of an enumerator.
    if (!rows)
        return FailureOf("ExecQuery", E_POINTER);
    return Secure(rows.Get(), impersonation);
}

std::optional<SourceFailure> Property(IWbemClassObject &row, const wchar_t *name, VARTYPE type, Variant &value)
{
    HRESULT hr = row.Get(name, 0, &value.Value, nullptr, nullptr);
    if (SUCCEEDED(hr))
        hr = VariantChangeType(&value.Value, &value.Value, 0, type);
    if (FAILED(hr))
        return FailureOf("Get " + Utf8FromWide(name), hr);
    return std::nullopt;
}

// Only the check asks for the start mode, so a provider that leaves it empty costs no listing.
bool IsDisabled(IWbemClassObject &row)
{
    Variant mode;
    return SUCCEEDED(row.Get(L"StartMode", 0, &mode.Value, nullptr, nullptr)) && mode.Value.vt == VT_BSTR &&
           Utf8FromBstr(mode.Value.bstrVal) == "Disabled";
}

std::optional<SourceFailure> ServiceOf(IWbemClassObject &row, BrokerService &service)
{
    Variant name, processId, type, state;
    auto failure = Property(row, L"Name", VT_BSTR, name);
    if (!failure)
        failure = Property(row, L"ProcessId", VT_UI4, processId);
    if (!failure)
        failure = Property(row, L"ServiceType", VT_BSTR, type);
    if (!failure)
        failure = Property(row, L"State", VT_BSTR, state);
    if (failure)
        return failure;
    service = {Utf8FromBstr(name.Value.bstrVal), processId.Value.ulVal, Utf8FromBstr(type.Value.bstrVal),
               Utf8FromBstr(state.Value.bstrVal), IsDisabled(row)};
    return std::nullopt;
}

// Every row in the order WMI sends them; each row is owned from the moment it arrives, so
// that a failure part-way through a batch leaks none of the rest.
std::optional<SourceFailure> Fetch(IEnumWbemClassObject &rows, std::vector<BrokerService> &services)
{
    // WBEM_S_FALSE: the last rows have come. A time-out that brought some is a slow server,
    // not a silent one.
    for (HRESULT hr = WBEM_S_NO_ERROR; hr != WBEM_S_FALSE;) {
        IWbemClassObject *arrived[Batch] = {};
        ULONG count = 0;
        hr = rows.Next(FetchTimeoutMs, Batch, arrived, &count);
        std::array<ComPtr<IWbemClassObject>, Batch> batch;
        for (ULONG i = 0; i < count; ++i)
            batch[i].Attach(arrived[i]);
        if (FAILED(hr) || (hr == WBEM_S_TIMEDOUT && count == 0))
            return FailureOf("Next", hr);
        for (ULONG i = 0; i < count; ++i) {
            if (auto failure = ServiceOf(*batch[i].Get(), services.emplace_back()))
                return failure;
        }
    }
    return std::nullopt;
}

// The listing brought every property, so a read only hands out what was fetched.
class WmiServiceCollection final : public ServiceCollection {
public:
    explicit WmiServiceCollection(std::vector<BrokerService> services) : Services(std::move(services)) {}
    std::size_t Count() const override { return Services.size(); }
    const std::string &Name(std::size_t index) const override { return Services.at(index).Name; }
    std::optional<SourceFailure> Read(std::size_t index, BrokerService &service) override
    {
        service = Services.at(index);
        return std::nullopt;
    }

private:
    const std::vector<BrokerService> Services;
};

} // namespace

std::optional<SourceFailure> WmiServiceSource::InstancesOf(const std::string &moniker, const std::string &className,
                                                           const std::string &,
                                                           std::unique_ptr<ServiceCollection> &instances)
{
    const auto target = TargetOf(moniker);
    if (!target)
        return FailureOf("Moniker", MK_E_SYNTAX);
    // Made before every COM pointer below, so that the thread leaves COM after they are gone.
    const ComApartment apartment;
    ComPtr<IWbemServices> services;
    ComPtr<IEnumWbemClassObject> rows;
    std::vector<BrokerService> listed;
    auto failure = Connect(*target, services);
    if (!failure)
        failure = Query(*services.Get(), className, target->Impersonation, rows);
    if (!failure)
        failure = Fetch(*rows.Get(), listed);
    if (failure)
        return failure;
    instances = std::make_unique<WmiServiceCollection>(std::move(listed));
    return std::nullopt;
}
