#include "monitor/monitorwindow_win32.h"
#include "platform/widetext_win32.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

namespace {

const std::string Idle = "tarvik-broker-idle", Live = "tarvik-broker-live";
constexpr const char *Sent = "Tarvik Broker Error Notification Mail Sent";

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

DWORD ProcessIdOf(const std::string &service)
{
    const auto close = [](SC_HANDLE handle) { CloseServiceHandle(handle); };
    const std::unique_ptr<SC_HANDLE__, decltype(close)> manager(OpenSCManagerW(nullptr, nullptr, GENERIC_READ), close),
        handle(OpenServiceW(manager.get(), WideFromUtf8(service).c_str(), SERVICE_QUERY_STATUS), close);
    SERVICE_STATUS_PROCESS status{};
    DWORD size = 0;
    QueryServiceStatusEx(handle.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE *>(&status), sizeof status, &size);
    return status.dwProcessId;
}

// The report as the service manager now sees the two brokers, in either order, and nothing else.
bool ShowsBrokers(const std::string &report)
{
    const auto block = [](const std::string &name, DWORD pid) {
        return "Service Name: " + name + "\r\nPID: " + std::to_string(pid) + "\r\nType of Service: Own Process\r\n" +
               "Service State: " + (pid ? "Running" : "Stopped") + "\r\n" + std::string(57, '=') + "\r\n";
    };
    const std::string rule(42, '='), header = rule + "\r\nTarvik Broker Service Information for localhost\r\n" + rule + "\r\n",
                      idle = block(Idle, ProcessIdOf(Idle)), live = block(Live, ProcessIdOf(Live));
    return report == header + idle + live || report == header + live + idle;
}

std::vector<std::string> Mails()
{
    // Wine shows the machine's root as drive Z:.
    std::vector<std::filesystem::directory_entry> files(
        std::filesystem::directory_iterator(std::string("Z:") + std::getenv("BROKER_TEST_MAILDIR") + "/new"), {});
    std::sort(files.begin(), files.end(), [](auto &a, auto &b) { return a.last_write_time() < b.last_write_time(); });
    std::vector<std::string> mails;
    for (const auto &file : files)
        mails.push_back((std::ostringstream() << std::ifstream(file.path()).rdbuf()).str());
    return mails;
}

// One restart request, for the stopped broker the report lists first, and none for the other.
void CheckMail(const std::string &mail, const std::string &report)
{
    const bool idleFirst = report.find(Idle) < report.find(Live);
    for (const std::string &line : std::vector<std::string>{
             "From: \"TarvikBroker\" <ops@example.org>\n", "To: \"TarvikBrokerQueue\" <ops@example.org>\n",
             "Subject: Tarvik Broker Service Check Message\n", "X-Mailer: STMP Sender\n", " -0600\n",
             "\n\nPlease restart Tarvik Broker process " + (idleFirst ? Idle : Live) + "\n"})
        CHECK_MESSAGE(mail.find(line) != std::string::npos, line);
    CHECK(mail.find("process " + (idleFirst ? Live : Idle)) == std::string::npos);
}

} // namespace

TEST_SUITE("endtoend")
{
    TEST_CASE("an operator monitors this machine's broker services through the window")
    {
        for (const std::string &name : {Idle, Live, std::string("tarvik-broker-logger"), std::string("plain-worker")})
            REQUIRE(std::system(("sc create " + name + " binPath= " + std::getenv("BROKER_SERVICE_EXE")).c_str()) == 0);
        REQUIRE(std::system((std::string("start ") + std::getenv("BROKER_MONITOR_EXE")).c_str()) == 0);
        HWND window = nullptr;
        REQUIRE(Eventually([&] { return IsWindowVisible(window = FindWindowW(nullptr, L"Broker Services Monitor")); }));
        DWORD processId = 0;
        const DWORD threadId = GetWindowThreadProcessId(window, &processId);
        const std::unique_ptr<void, decltype(&CloseHandle)> monitor(OpenProcess(SYNCHRONIZE, FALSE, processId), CloseHandle);
        const auto item = [&](Control control) { return GetDlgItem(window, ControlId(control)); };
        const auto text = [&](Control control) { return Text(item(control)); };
        const auto click = [](HWND button) { PostMessageW(button, BM_CLICK, 0, 0); };
        const auto focus = [&] {
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            return GetGUIThreadInfo(threadId, &info), info.hwndFocus;
        };

        // Tab walks the controls that take the focus in tab-index order, from the report box round to it.
        std::vector<ControlLayout> order = WindowLayout::ControlsInTabOrder();
        std::erase_if(order, [](const ControlLayout &c) { return c.Kind == ControlKind::Label; });
        std::rotate(order.begin(), order.begin() + 1, order.end());
        REQUIRE(Eventually([&] { return focus() == item(Control::txChanges); }));
        for (const ControlLayout &next : order) {
            PostMessageW(focus(), WM_KEYDOWN, VK_TAB, 0);
            REQUIRE_MESSAGE(Eventually([&] { return focus() == item(next.Id); }), next.TabIndex);
        }

        SendMessageW(item(Control::mInterval), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"0.01"));
        SendMessageW(item(Control::mToAddress), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"ops@example.org"));
        click(item(Control::mSendMail));
        click(item(Control::CheckBroker_1));
        REQUIRE(Eventually([&] { return text(Control::StatusTxt) == Sent; }));
        CHECK_MESSAGE(ShowsBrokers(text(Control::txChanges)), text(Control::txChanges));
        CHECK(text(Control::CheckBroker_1) == "Cancel processing");
        // The next cycle finds nothing new to mail.
        REQUIRE(Eventually([&] { return text(Control::StatusTxt) == "N/A"; }));
        REQUIRE(Mails().size() == 1);
        CheckMail(Mails()[0], text(Control::txChanges));

        // The broker runs for a while with the mails off, then stops: the next mail asks again.
        click(item(Control::mSendMail));
        REQUIRE(Eventually([&] { return SendMessageW(item(Control::mSendMail), BM_GETCHECK, 0, 0) == BST_UNCHECKED; }));
        REQUIRE(std::system(("sc start " + Live + " >NUL").c_str()) == 0);
        REQUIRE(Eventually([&] { return ProcessIdOf(Live) != 0 && ShowsBrokers(text(Control::txChanges)); }));
        REQUIRE(std::system(("sc stop " + Live + " >NUL").c_str()) == 0);
        REQUIRE(Eventually([&] { return ProcessIdOf(Live) == 0 && ShowsBrokers(text(Control::txChanges)); }));
        click(item(Control::mSendMail));
        REQUIRE(Eventually([&] { return Mails().size() == 2; }));
        CheckMail(Mails()[1], text(Control::txChanges));

        // Exit is refused while processing, with a message box, and so is a close request.
        click(item(Control::ExitProgram));
        HWND box = nullptr;
        REQUIRE(Eventually([&] { return (box = FindWindowW(L"#32770", L"Tarvik Broker ServiceCheck")) != nullptr; }));
        CHECK(GetWindow(box, GW_OWNER) == window);
        click(GetDlgItem(box, IDOK));
        REQUIRE(Eventually([&] { return !IsWindow(box); }));
        SendMessageW(window, WM_CLOSE, 0, 0);
        CHECK(IsWindowVisible(window));

        click(item(Control::CheckBroker_1));
        REQUIRE(Eventually([&] { return text(Control::CheckBroker_1) == "Check Broker Instances"; }));
        click(item(Control::ExitProgram));
        CHECK(WaitForSingleObject(monitor.get(), 30000) == WAIT_OBJECT_0);
    }
}
