// The Qt platform where the operator meets it: message boxes and the window's close box.
#include "platform/closebox_qt.h"
#include "platform/messagebox_qt.h"
#include "tests/support/messageboxdismisser.h"
#include "util/modclosebtn.h"

#include <QCloseEvent>
#include <QWindow>
#include <QtTest>

using modCloseBtn::SetCloseButtonEnabled;

class QtPlatformTest : public QObject {
    Q_OBJECT
private slots:
    void messageBoxShowsTextStyleAndTitle()
    {
        QApplication::setApplicationName("Tarvik Broker ServiceCheck");
        MessageBoxDismisser operatorAtTheScreen;
        QtMessageBox().MessageBox("<b>550</b> &amp;", MessageBoxStyle::OkOnly, std::nullopt);
        QtMessageBox().MessageBox(std::string(1 << 20, 'x'), MessageBoxStyle::OkInformation, "");

        QCOMPARE(operatorAtTheScreen.Shown.size(), 2);
        const MessageBoxDismisser::Box &markup = operatorAtTheScreen.Shown[0], &huge = operatorAtTheScreen.Shown[1];
        // A relay's reply is shown as it came, under the application's title when there is none.
        QCOMPARE(markup.Text, "<b>550</b> &amp;");
        QCOMPARE(markup.Format, Qt::PlainText);
        QCOMPARE(markup.Icon, QMessageBox::NoIcon);
        QCOMPARE(markup.Caption, "Tarvik Broker ServiceCheck");
        // A long text is cut short in the box and kept whole behind its details.
        QCOMPARE(huge.Text, QString(2000, 'x') + "...");
        QCOMPARE(huge.Details, QString(1 << 20, 'x'));
        QCOMPARE(huge.Icon, QMessageBox::Information);
        QCOMPARE(huge.Caption.trimmed(), "");
    }

    void closeBoxGoesOffAndOnAgain()
    {
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const Qt::WindowFlags shown = window.windowFlags();
        const WindowHandle handle = QtCloseBox::HandleOf(&window);
        QtCloseBox closeBox;
        // The platform's close request goes to the QWindow, which hands the widget a
        // spontaneous close event: the same path, short of the window system's event queue.
        QCloseEvent request;
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(SetCloseButtonEnabled(handle, 0, closeBox), 0);
            QCOMPARE(SetCloseButtonEnabled(handle, 0, closeBox), 0); // finds nothing to change
            QVERIFY(!window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
            QCoreApplication::sendEvent(window.windowHandle(), &request);
            QVERIFY(window.isVisible()); // neither the new flags nor the request closed it
            QVERIFY(window.close());     // the program's own close still works
            QCOMPARE(SetCloseButtonEnabled(handle, -1, closeBox), 0);
            QCOMPARE(window.windowFlags(), shown);
            window.show();
            QCoreApplication::sendEvent(window.windowHandle(), &request);
            QVERIFY(!window.isVisible());
            window.show();
        }
        const WindowHandle destroyed = QtCloseBox::HandleOf(std::make_unique<QWidget>().get());
        for (const WindowHandle invalid : {WindowHandle(0), QtCloseBox::HandleOf(new QWidget(&window)), destroyed})
            QCOMPARE(SetCloseButtonEnabled(invalid, 0, closeBox), -1);
    }
};

QTEST_MAIN(QtPlatformTest)
#include "tst_qtplatform.moc"
