#include "monitor/monitorwindow_win32.h"
#include "platform/os/widetext_win32.h"

#include <doctest/doctest.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <vector>

namespace {

const std::string Idle = "tarvik-broker-idle", Live = "tarvik-broker-live";
// Windows' own services whose names hold "broker": one on demand, stopped; one always running.
const std::string TimeBroker = "TimeBrokerSvc", Infrastructure = "BrokerInfrastructure";

// Every wait of the test ends after 30 s at the latest, however the window behaves.
bool Eventually(const std::function<bool()> &done)
{
    for (const DWORD start = GetTickCount(); !done(); Sleep(20))
        if (GetTickCount() - start > 30000)
            return false;
    return true;
}

std::string Text(HWND window)
{
    std::wstring text(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0) + 1, L'\0');
    text.resize(SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    return Utf8FromWide(text);
}

// The report shows the broker as the service manager has it; the logger, the other service
// and Windows' own it leaves out.
bool Shows(const std::string &report, const std::string &broker, bool running)
{
    const std::string block = "Service Name: " + broker + "\r\nPID: " + (running ? "[1-9][0-9]*" : "0") +
                              "\r\nType of Service: Own Process\r\nService State: " + (running ? "Running" : "Stopped");
    return std::regex_search(report, std::regex(block)) &&
           !std::regex_search(report, std::regex("logger|plain-worker|" + TimeBroker + "|" + Infrastructure));
}

// The whole body of a mail that asks for these restarts and no other.
std::string Body(const std::vector<std::string> &brokers)
{
    std::string body = "\n";
    for (const std::string &broker : brokers)
        body += "\nPlease restart Tarvik Broker process " + broker;
    return body + "\n\n\n";
}

// Oldest first.
std::vector<std::string> Mails()
{
    // Wine shows the machine's root as drive Z:.
    std::vector<std::filesystem::directory_entry> files(
        std::filesystem::directory_iterator(std::string("Z:") + std::getenv("BROKER_TEST_MAILDIR") + "/new"), {});
    std::sort(files.begin(), files.end(),
              [](const auto &a, const auto &b) { return a.last_write_time() < b.last_write_time(); });
    std::vector<std::string> mails;
    for (const auto &file : files)
        mails.push_back((std::ostringstream() << std::ifstream(file.path()).rdbuf()).str());
    return mails;
}

// The message boxes that stand above the window.
std::vector<HWND> BoxesOf(HWND window)
{
    std::pair<HWND, std::vector<HWND>> found{window, {}};
    EnumWindows(
        [](HWND candidate, LPARAM lParam) {
            auto &[owner, boxes] = *reinterpret_cast<std::pair<HWND, std::vector<HWND>> *>(lParam);
            wchar_t name[16] = {};
            GetClassNameW(candidate, name, 16);
            if (GetWindow(candidate, GW_OWNER) == owner && std::wstring(name) == L"#32770" && IsWindowVisible(candidate))
                boxes.push_back(candidate);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.second;
}

// What Active Accessibility calls a control, asked from outside its program as a screen reader asks.
std::string AccessibleName(HWND control)
{
    // Spelled out: mingw-w64's import library gives IID_IAccessible as a thunk, not the GUID.
    constexpr GUID Accessible{0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    Microsoft::WRL::ComPtr<IAccessible> accessible;
    BSTR name = nullptr;
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, Accessible, &accessible)) ||
        accessible->get_accName(self, &name) != S_OK)
        return "(no name)";
    const std::string text = Utf8FromWide(name);
    SysFreeString(name);
    return text;
}

} // namespace

TEST_SUITE("endtoend")
{
    TEST_CASE("an operator monitors this machine's broker services through the window")
    {
        for (const std::string &name :
             {Idle, Live, std::string("tarvik-broker-logger"), std::string("plain-worker"), TimeBroker, Infrastructure})
            REQUIRE(std::system(("sc create " + name + " binPath= " + std::getenv("BROKER_SERVICE_EXE")).c_str()) == 0);
        REQUIRE(std::system(("sc start " + Infrastructure + " >NUL").c_str()) == 0);
        // The same scan as a monitoring plugin, its line read through a pipe as an engine reads it.
        FILE *check = _popen((std::string(std::getenv("BROKER_MONITOR_EXE")) + " --check").c_str(), "r");
        char line[256] = {};
        std::fgets(line, sizeof line, check);
        CHECK(_pclose(check) == 2);
        CHECK(std::string(line).starts_with("BROKERS CRITICAL - 2 of 2 stopped: " + Idle + ", " + Live + " |"));
        // A broker disabled on purpose is not down; two down are OK below -c 2. A scheduled task
        // writes the line to a file and the metrics for an exporter.
        const std::string aside = "tarvik-broker-aside", temp = std::filesystem::temp_directory_path().string();
        REQUIRE(std::system(("sc create " + aside + " binPath= x start= disabled >NUL").c_str()) == 0);
        CHECK(std::system((std::getenv("BROKER_MONITOR_EXE") + std::string(" --check -H localhost -c 2 --metrics ") +
                           temp + "\\brokers.prom >" + temp + "\\brokers.txt").c_str()) == 0);
        const auto read = [&](const char *name) { return (std::ostringstream() << std::ifstream(temp + name).rdbuf()).str(); };
        CHECK(read("\\brokers.txt").starts_with("BROKERS OK - 2 of 3 stopped: " + Idle + ", " + Live + "; 1 set aside: " +
                                                aside + " | running=0;;;0;3 not_running=2;;2;0;3 stopped=2;;;0;3 disabled=1;;;0;3"));
        CHECK(read("\\brokers.prom").find("\ntarvik_broker_services{server=\"localhost\",status=\"disabled\"} 1\n") !=
              std::string::npos);
        REQUIRE(std::system(("sc delete " + aside + " >NUL").c_str()) == 0);
        // Registered as the README says, the event source leads Event Viewer to the program's own
        // message table.
        FILE *registration = _popen((std::string(std::getenv("BROKER_MONITOR_EXE")) + " --register-event-source").c_str(), "r");
        CHECK(_pclose(registration) == 0);
        wchar_t table[MAX_PATH] = {}, message[16] = {};
        DWORD size = sizeof table;
        CHECK(RegGetValueW(HKEY_LOCAL_MACHINE,
                           L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\tarvik-broker-servicecheck",
                           L"EventMessageFile", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, table, &size) == ERROR_SUCCESS);
        FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                       LoadLibraryExW(table, nullptr, LOAD_LIBRARY_AS_DATAFILE), 9, 0, message, 16, nullptr);
        CHECK(std::wstring(message).starts_with(L"%1"));
        REQUIRE(std::system((std::string("start ") + std::getenv("BROKER_MONITOR_EXE")).c_str()) == 0);
        HWND window = nullptr;
        REQUIRE(Eventually([&] { return IsWindowVisible(window = FindWindowW(nullptr, L"Broker Services Monitor")); }));
        const auto item = [&](Control control) { return GetDlgItem(window, ControlId(control)); };
        const auto text = [&](Control control) { return Text(item(control)); };
        const auto click = [](HWND button) { PostMessageW(button, BM_CLICK, 0, 0); };

        // Each field is spoken by its own label, each button by its caption; Tab walks the table's
        // order from the report box back to it.
        REQUIRE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        for (const auto &[control, name] : {std::pair{Control::mBrokerID, "Broker Server Name/IP"},
                                            {Control::mToAddress, "Notification eMail Address"},
                                            {Control::mSmtpID, "SMTP Server Name/IP"},
                                            {Control::mInterval, "Interval (minutes)"},
                                            {Control::mKeepRunning, "Keep Running"},
                                            {Control::mSendMail, "Send eMails"},
                                            {Control::CheckBroker_1, "Check Broker Instances"},
                                            {Control::ExitProgram, "Exit"}})
            CHECK(AccessibleName(item(control)) == std::string(name));
        CoUninitialize();
        std::vector<int> walked, tabOrder;
        for (HWND at = item(Control::txChanges); walked.size() < 9;)
            walked.push_back(GetDlgCtrlID(at = GetNextDlgTabItem(window, at, FALSE)));
        for (const Control control : {Control::mSendMail, Control::CheckBroker_1, Control::mBrokerID, Control::mSmtpID,
                                      Control::mToAddress, Control::ExitProgram, Control::mKeepRunning,
                                      Control::mInterval, Control::txChanges})
            tabOrder.push_back(ControlId(control));
        CHECK(walked == tabOrder);

        // A hundredth of a minute, written as the regional settings write fractions.
        wchar_t separator[8] = L".";
        GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, ARRAYSIZE(separator));
        SendMessageW(item(Control::mInterval), WM_SETTEXT, 0, reinterpret_cast<LPARAM>((L"0" + std::wstring(separator) + L"01").c_str()));
        SendMessageW(item(Control::mToAddress), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"ops@example.org"));
        // The relay is down at first: its box stands, nobody dismisses it, and the window goes on
        // answering; once the relay is back, the request is delivered.
        SendMessageW(item(Control::mSmtpID), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"127.0.0.2"));
        click(item(Control::mSendMail));
        click(item(Control::CheckBroker_1));
        REQUIRE(Eventually([&] { return BoxesOf(window).size() == 1; }));
        CHECK(IsWindowEnabled(window));
        SendMessageW(item(Control::mSmtpID), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"localhost"));
        REQUIRE(Eventually([&] { return text(Control::StatusTxt) == "Tarvik Broker Error Notification Mail Sent"; }));
        REQUIRE(BoxesOf(window).size() == 1);
        click(GetDlgItem(BoxesOf(window)[0], IDOK));
        REQUIRE(Eventually([&] { return BoxesOf(window).empty(); }));
        CHECK_MESSAGE((Shows(text(Control::txChanges), Idle, false) && Shows(text(Control::txChanges), Live, false)),
                      text(Control::txChanges));
        // One mail asks for both brokers; the next cycle finds nothing new to mail.
        REQUIRE(Eventually([&] { return text(Control::StatusTxt) == "N/A"; }));
        REQUIRE(Mails().size() == 1);
        CHECK(Mails()[0].ends_with(Body({Idle, Live})));

        // The broker runs for a while with the mails off, then stops: the next mail asks again.
        click(item(Control::mSendMail));
        REQUIRE(std::system(("sc start " + Live + " >NUL").c_str()) == 0);
        REQUIRE(Eventually([&] { return Shows(text(Control::txChanges), Live, true); }));
        REQUIRE(std::system(("sc stop " + Live + " >NUL").c_str()) == 0);
        REQUIRE(Eventually([&] { return Shows(text(Control::txChanges), Live, false); }));
        click(item(Control::mSendMail));
        REQUIRE(Eventually([&] { return Mails().size() == 2; }));
        CHECK(Mails()[1].ends_with(Body({Live})));

        // Exit is refused while processing, with a message box, and so is a close request.
        click(item(Control::ExitProgram));
        HWND box = nullptr;
        REQUIRE(Eventually([&] { return (box = FindWindowW(L"#32770", L"Tarvik Broker ServiceCheck")) != nullptr; }));
        CHECK(GetWindow(box, GW_OWNER) == window);
        click(GetDlgItem(box, IDOK));
        REQUIRE(Eventually([&] { return !IsWindow(box); }));
        SendMessageW(window, WM_CLOSE, 0, 0);
        CHECK(IsWindowVisible(window));
    }
}
