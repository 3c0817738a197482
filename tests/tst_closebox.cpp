#include "platform/closebox_qt.h"
#include "util/modclosebtn.h"

#include <QCloseEvent>
#include <QWindow>
#include <QtTest>

using modCloseBtn::SetCloseButtonEnabled;

namespace {

using Enables = QList<int16_t>;
enum class NoWindow { Null, Child, Destroyed };
constexpr WindowHandle FakeWindow = 0x5A0;

// One window's Close item: writes down every call as the platform would see it, and fails
// the calls that start with Failing.
class RecordingCloseBox final : public CloseBoxControl {
public:
    RecordingCloseBox(uint32_t id, uint32_t state, QString failing)
        : Id(id), State(state), Failing(std::move(failing)) {}

    bool IsWindow(WindowHandle w) override { return Record(w, "window"); }
    std::optional<uint32_t> CloseItemState(WindowHandle w, uint32_t itemId) override
    {
        const bool found = Record(w, "get " + Hex(itemId)) && itemId == Id;
        return found ? std::optional(State) : std::nullopt;
    }
    bool SetCloseItemId(WindowHandle w, uint32_t itemId, uint32_t newId) override
    {
        return Change(w, "id " + Hex(itemId) + ">", itemId, Id, newId);
    }
    bool SetCloseItemState(WindowHandle w, uint32_t itemId, uint32_t state) override
    {
        return Change(w, "state " + Hex(itemId) + "=", itemId, State, state);
    }
    void RedrawFrame(WindowHandle w) override { Record(w, "redraw"); }

    QStringList Calls;

private:
    static QString Hex(uint32_t n) { return QString::number(n, 16); }
    bool Record(WindowHandle w, const QString &call)
    {
        Calls << (w == FakeWindow ? call : "other window");
        return w == FakeWindow && (Failing.isEmpty() || !call.startsWith(Failing));
    }
    bool Change(WindowHandle w, const QString &call, uint32_t itemId, uint32_t &field,
                uint32_t value)
    {
        const bool done = Record(w, call + Hex(value)) && itemId == Id;
        field = done ? value : field;
        return done;
    }
    uint32_t Id, State;
    QString Failing;
};

} // namespace

Q_DECLARE_METATYPE(NoWindow)

class TestCloseBox : public QObject {
    Q_OBJECT
private slots:
    void routine_data();
    void routine();
    void qtWindow_data();
    void qtWindow();
    void qtNotAWindow_data();
    void qtNotAWindow();
};

void TestCloseBox::routine_data()
{
    QTest::addColumn<uint32_t>("id");
    QTest::addColumn<uint32_t>("state");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<Enables>("enables");
    QTest::addColumn<QString>("conversation"); // every call to the platform, then the status

    const uint32_t on = 0xF060, off = 0xFFFFFFF6;
    const QString disable = "window|get f060|id f060>fffffff6|state fffffff6=";
    const QString enable = "window|get fffffff6|id fffffff6>f060|state f060=";
    QTest::newRow("not a window") << on << 0u << "window" << Enables{0} << "window|-1";
    QTest::newRow("disable") << on << 0u << "" << Enables{0} << disable + "3|redraw|0";
    QTest::newRow("disable twice")
        << on << 0u << "" << Enables{0, 0} << disable + "3|redraw|0|window|get f060|0";
    QTest::newRow("enable, never disabled")
        << on << 8u << "" << Enables{-1} << "window|get fffffff6|0";
    QTest::newRow("disable, enable: other bits kept") << on << 0x1008u << "" << Enables{0, -1}
        << disable + "100b|redraw|0|" + enable + "1008|redraw|0";
    QTest::newRow("enable 5 clears a lone grey bit") << off << 0x81u << "" << Enables{5}
                                                     << enable + "80|redraw|0";
    QTest::newRow("id change fails")
        << on << 0u << "id" << Enables{0} << "window|get f060|id f060>fffffff6|-2";
    QTest::newRow("state change fails: no redraw")
        << on << 0u << "state" << Enables{0} << disable + "3|-3";
}

void TestCloseBox::routine()
{
    QFETCH(uint32_t, id);
    QFETCH(uint32_t, state);
    QFETCH(QString, failing);
    QFETCH(Enables, enables);
    RecordingCloseBox control(id, state, failing);

    for (const int16_t &enable : enables)
        control.Calls << QString::number(SetCloseButtonEnabled(FakeWindow, enable, control));

    QTEST(control.Calls.join('|'), "conversation");
}

void TestCloseBox::qtWindow_data()
{
    QTest::addColumn<Qt::WindowType>("type");
    QTest::addColumn<bool>("enableAgain");
    QTest::addColumn<bool>("operatorCloses");
    QTest::addColumn<bool>("stillOpen");

    QTest::newRow("disabled: operator's close refused") << Qt::Window << false << true << true;
    QTest::newRow("disabled: program's close works") << Qt::Window << false << false << false;
    QTest::newRow("enabled again: operator's close works") << Qt::Window << true << true << false;
    QTest::newRow("dialog disabled") << Qt::Dialog << false << true << true;
    QTest::newRow("dialog enabled again") << Qt::Dialog << true << true << false;
}

void TestCloseBox::qtWindow()
{
    QFETCH(Qt::WindowType, type);
    QFETCH(bool, enableAgain);
    QFETCH(bool, operatorCloses);
    QWidget window(nullptr, type);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const Qt::WindowFlags shown = window.windowFlags();
    const Qt::WindowFlags apart = Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint;
    const WindowHandle handle = QtCloseBox::HandleOf(&window);
    QtCloseBox closeBox;

    QCOMPARE(SetCloseButtonEnabled(handle, 0, closeBox), 0);
    QVERIFY(window.isVisible());
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QCOMPARE(window.windowFlags() & ~apart, shown & ~apart);
    if (enableAgain) {
        QCOMPARE(SetCloseButtonEnabled(handle, -1, closeBox), 0);
        QCOMPARE(window.windowFlags(), shown);
    }
    // The platform's close request goes to the QWindow, which hands the widget a spontaneous
    // close event: the same path, short of the window system's private event queue.
    QCloseEvent request;
    if (operatorCloses)
        QCoreApplication::sendEvent(window.windowHandle(), &request);
    else
        window.close();
    QTEST(window.isVisible(), "stillOpen");
}

void TestCloseBox::qtNotAWindow_data()
{
    QTest::addColumn<NoWindow>("handle");
    QTest::newRow("null handle") << NoWindow::Null;
    QTest::newRow("child widget") << NoWindow::Child;
    QTest::newRow("destroyed window") << NoWindow::Destroyed;
}

void TestCloseBox::qtNotAWindow()
{
    QFETCH(NoWindow, handle);
    QWidget parent;
    const WindowHandle handles[] = {0, QtCloseBox::HandleOf(new QWidget(&parent)),
                                    QtCloseBox::HandleOf(std::make_unique<QWidget>().get())};
    QtCloseBox closeBox;

    QCOMPARE(SetCloseButtonEnabled(handles[int(handle)], 0, closeBox), -1);
}

QTEST_MAIN(TestCloseBox)
#include "tst_closebox.moc"
