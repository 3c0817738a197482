#include "platform/servicesource_wmi.h"

#include "platform/widetext_win32.h"
#include "platform/windows_win32.h"

#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

struct BstrDeleter {
    void operator()(BSTR text) const { SysFreeString(text); }
};
using BstrPtr = std::unique_ptr<OLECHAR, BstrDeleter>;

class Variant {
public:
    Variant() { VariantInit(&Value); }
    ~Variant() { VariantClear(&Value); }
    Variant(const Variant &) = delete;
    Variant &operator=(const Variant &) = delete;

    VARIANT Value;
};

class ExceptionInfo {
public:
    ~ExceptionInfo()
    {
        SysFreeString(Info.bstrSource);
        SysFreeString(Info.bstrDescription);
        SysFreeString(Info.bstrHelpFile);
    }

    EXCEPINFO Info{};
};

std::string Utf8FromBstr(BSTR text)
{
    return text ? Utf8FromWide(std::wstring(text, SysStringLen(text))) : std::string();
}

// The one place an HRESULT becomes words: the error's own source and description where the
// object raised one, otherwise the call that failed and the system's text for the code.
SourceFailure FailureOf(const std::string &call, HRESULT result, EXCEPINFO *exception = nullptr)
{
    if (exception && exception->pfnDeferredFillIn)
        exception->pfnDeferredFillIn(exception);
    const HRESULT code = exception && FAILED(exception->scode) ? exception->scode : result;
    SourceFailure failure{call, SystemText(code)};
    if (exception && exception->bstrSource)
        failure.Source = Utf8FromBstr(exception->bstrSource);
    if (exception && exception->bstrDescription)
        failure.Description = Utf8FromBstr(exception->bstrDescription);
    return failure;
}

// A method call or a property read, whichever the member is: scripting objects take both
// flags together, as script hosts send them (Wine's answer a property read alone with
// E_NOTIMPL). `what` names the member in a failure.
std::optional<SourceFailure> Invoke(IDispatch &object, DISPID member, const std::string &what,
                                    VARIANT *argument, Variant &result)
{
    DISPPARAMS parameters{argument, nullptr, argument ? 1u : 0u, 0};
    ExceptionInfo exception;
    const HRESULT hr = object.Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                     &parameters, &result.Value, &exception.Info, nullptr);
    if (FAILED(hr))
        return FailureOf(what, hr, hr == DISP_E_EXCEPTION ? &exception.Info : nullptr);
    return std::nullopt;
}

std::optional<SourceFailure> Call(IDispatch &object, const wchar_t *member, const std::string &what,
                                  VARIANT *argument, Variant &result)
{
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(member);
    const HRESULT hr = object.GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return FailureOf(what, hr);
    return Invoke(object, id, what, argument, result);
}

// A property of one object, turned into the type the report wants.
std::optional<SourceFailure> Property(IDispatch &object, const wchar_t *name, VARTYPE type, Variant &value)
{
    const std::string what = "SWbemObject." + Utf8FromWide(name);
    if (auto failure = Call(object, name, what, nullptr, value))
        return failure;
    const HRESULT hr = VariantChangeType(&value.Value, &value.Value, 0, type);
    if (FAILED(hr))
        return FailureOf(what, hr);
    return std::nullopt;
}

class WmiServiceCollection final : public ServiceCollection {
public:
    std::size_t Count() const override { return Names.size(); }
    const std::string &Name(std::size_t index) const override { return Names.at(index); }
    std::optional<SourceFailure> Read(std::size_t index, BrokerService &service) override;

    std::vector<ComPtr<IDispatch>> Objects;
    std::vector<std::string> Names;
};

std::optional<SourceFailure> WmiServiceCollection::Read(std::size_t index, BrokerService &service)
{
    IDispatch &object = *Objects.at(index).Get();
    Variant processId, type, state;
    auto failure = Property(object, L"ProcessID", VT_UI4, processId);
    if (!failure)
        failure = Property(object, L"ServiceType", VT_BSTR, type);
    if (!failure)
        failure = Property(object, L"State", VT_BSTR, state);
    if (failure)
        return failure;
    service = {Names.at(index), processId.Value.ulVal, Utf8FromBstr(type.Value.bstrVal),
               Utf8FromBstr(state.Value.bstrVal)};
    return std::nullopt;
}

// The instances in the set's own order, each with its name.
std::optional<SourceFailure> Enumerate(IDispatch &set, WmiServiceCollection &collection)
{
    Variant enumerator;
    if (auto failure = Invoke(set, DISPID_NEWENUM, "SWbemObjectSet._NewEnum", nullptr, enumerator))
        return failure;
    ComPtr<IEnumVARIANT> items;
    HRESULT hr = enumerator.Value.vt == VT_UNKNOWN || enumerator.Value.vt == VT_DISPATCH
                     ? enumerator.Value.punkVal->QueryInterface(IID_PPV_ARGS(&items))
                     : DISP_E_TYPEMISMATCH;
    while (SUCCEEDED(hr)) {
        Variant item;
        hr = items->Next(1, &item.Value, nullptr);
        if (hr != S_OK)
            break;
        if (item.Value.vt != VT_DISPATCH || !item.Value.pdispVal)
            continue;
        Variant name;
        if (auto failure = Property(*item.Value.pdispVal, L"Name", VT_BSTR, name))
            return failure;
        collection.Objects.emplace_back(item.Value.pdispVal);
        collection.Names.push_back(Utf8FromBstr(name.Value.bstrVal));
    }
    if (FAILED(hr))
        return FailureOf("SWbemObjectSet._NewEnum", hr);
    return std::nullopt;
}

} // namespace

WmiServiceSource::WmiServiceSource()
    : ComInitialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
{
}

WmiServiceSource::~WmiServiceSource()
{
    if (ComInitialised)
        CoUninitialize();
}

std::optional<SourceFailure> WmiServiceSource::InstancesOf(const std::string &moniker, const std::string &className,
                                                           const std::string &,
                                                           std::unique_ptr<ServiceCollection> &instances)
{
    // The scan reads on a worker thread of its own, which ends with the job.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ComPtr<IDispatch> services;
    HRESULT hr = CoGetObject(WideFromUtf8(moniker).c_str(), nullptr, IID_PPV_ARGS(&services));
    if (FAILED(hr))
        return FailureOf("GetObject", hr);
    const BstrPtr name(SysAllocString(WideFromUtf8(className).c_str()));
    VARIANT argument{};
    argument.vt = VT_BSTR;
    argument.bstrVal = name.get();
    Variant set;
    if (auto failure = Call(*services.Get(), L"InstancesOf", "SWbemServices.InstancesOf", &argument, set))
        return failure;
    if (set.Value.vt != VT_DISPATCH || !set.Value.pdispVal)
        return FailureOf("SWbemServices.InstancesOf", DISP_E_TYPEMISMATCH);
    auto collection = std::make_unique<WmiServiceCollection>();
    if (auto failure = Enumerate(*set.Value.pdispVal, *collection))
        return failure;
    instances = std::move(collection);
    return std::nullopt;
}
