#include "platform/closebox_qt.h"
#include "util/modclosebtn.h"

#include <QCloseEvent>
#include <QWindow>
#include <QtTest>

using modCloseBtn::SetCloseButtonEnabled;

namespace {

// Failing names the call that fails ("id" or "state"); Calls lists the changes that each
// call to the routine made, then its status.
struct Row {
    uint32_t Id, State;
    QString Failing;
    QList<int16_t> Enables;
    QString Calls;
};

// One window's Close item, found only by its current id. Writes down every change.
struct RecordingCloseBox final : CloseBoxControl {
    explicit RecordingCloseBox(const Row &r) : Id(r.Id), State(r.State), Failing(r.Failing) {}

    bool IsWindow(WindowHandle) override { return true; }
    std::optional<uint32_t> CloseItemState(WindowHandle, uint32_t id) override
    {
        return id == Id ? std::optional(State) : std::nullopt;
    }
    bool SetCloseItemId(WindowHandle, uint32_t id, uint32_t to) override
    {
        return Set("id", id, Id, to);
    }
    bool SetCloseItemState(WindowHandle, uint32_t id, uint32_t to) override
    {
        return Set("state", id, State, to);
    }
    void RedrawFrame(WindowHandle) override { Calls << "redraw"; }
    bool Set(const QString &call, uint32_t id, uint32_t &field, uint32_t value)
    {
        Calls << call + ' ' + QString::number(value, 16);
        const bool done = id == Id && call != Failing;
        field = done ? value : field;
        return done;
    }

    uint32_t Id, State;
    QString Failing;
    QStringList Calls;
};

} // namespace

Q_DECLARE_METATYPE(Row)

class TestCloseBox : public QObject {
    Q_OBJECT
private slots:
    void routine_data()
    {
        QTest::addColumn<Row>("row");
        const auto add = [](const char *name, Row row) { QTest::newRow(name) << row; };
        const uint32_t on = 0xF060, off = 0xFFFFFFF6;
        add("enable when never disabled, disable twice, enable: only the grey bits change",
            {on, 0x1008, "", {-1, 0, 0, -1},
             "0|id fffffff6|state 100b|redraw|0|0|id f060|state 1008|redraw|0"});
        add("enable 5 clears a lone grey bit", {off, 0x81, "", {5}, "id f060|state 80|redraw|0"});
        add("id change fails", {on, 0, "id", {0}, "id fffffff6|-2"});
        add("state change fails: no redraw", {on, 0, "state", {0}, "id fffffff6|state 3|-3"});
    }

    void routine()
    {
        QFETCH(Row, row);
        RecordingCloseBox control(row);
        for (const int16_t &enable : row.Enables)
            control.Calls << QString::number(SetCloseButtonEnabled(0, enable, control));
        QCOMPARE(control.Calls.join('|'), row.Calls);
    }

    void qtCloseBox()
    {
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const Qt::WindowFlags shown = window.windowFlags();
        QtCloseBox closeBox;
        // The platform's close request goes to the QWindow, which hands the widget a
        // spontaneous close event: the same path, short of the window system's event queue.
        QCloseEvent request;

        QCOMPARE(SetCloseButtonEnabled(QtCloseBox::HandleOf(&window), 0, closeBox), 0);
        QCOMPARE(window.windowFlags() & ~Qt::CustomizeWindowHint,
                 shown & ~(Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint));
        QCoreApplication::sendEvent(window.windowHandle(), &request);
        QVERIFY(window.isVisible()); // neither the new flags nor the request closed it
        QVERIFY(window.close()); // the program's own close still works
        QCOMPARE(SetCloseButtonEnabled(QtCloseBox::HandleOf(&window), -1, closeBox), 0);
        QCOMPARE(window.windowFlags(), shown);
        window.show();
        QCoreApplication::sendEvent(window.windowHandle(), &request);
        QVERIFY(!window.isVisible());

        const WindowHandle child = QtCloseBox::HandleOf(new QWidget(&window));
        const WindowHandle destroyed = QtCloseBox::HandleOf(std::make_unique<QWidget>().get());
        for (const WindowHandle handle : {WindowHandle(0), child, destroyed})
            QCOMPARE(SetCloseButtonEnabled(handle, 0, closeBox), -1);
    }
};

QTEST_MAIN(TestCloseBox)
#include "tst_closebox.moc"
