#include "platform/messagebox_qt.h"
#include "platform/numberformat_qt.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QtTest>

class QtPlatformTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void messageBoxShowsStyleAndTitle_data();
    void messageBoxShowsStyleAndTitle();
    void numberFromTextFollowsRegionalFormat_data();
    void numberFromTextFollowsRegionalFormat();
};

void QtPlatformTest::initTestCase()
{
    QApplication::setApplicationName("Tarvik Broker ServiceCheck");
}

void QtPlatformTest::messageBoxShowsStyleAndTitle_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<std::optional<std::string>>("title");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");

    QTest::newRow("no title: the application's") << 0 << std::optional<std::string>() << int(QMessageBox::NoIcon)
                                                 << "Tarvik Broker ServiceCheck" << "Fill in the name";
    QTest::newRow("given title") << 0 << std::optional<std::string>("Error") << int(QMessageBox::NoIcon) << "Error"
                                 << "Fill in the name";
    QTest::newRow("information, empty title, megabyte text")
        << 64 << std::optional<std::string>("") << int(QMessageBox::Information) << "" << QString(1 << 20, 'x');
}

void QtPlatformTest::messageBoxShowsStyleAndTitle()
{
    QFETCH(int, style);
    QFETCH(std::optional<std::string>, title);
    QFETCH(int, icon);
    QFETCH(QString, caption);
    QFETCH(QString, text);

    QMessageBox *shown = nullptr;
    QString shownText, shownCaption;
    int shownIcon = -1;
    QTimer dismisser;
    connect(&dismisser, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box;
            shownText = box->text() + box->detailedText();
            shownCaption = box->windowTitle();
            shownIcon = box->icon();
            box->button(QMessageBox::Ok)->click();
        }
    });
    dismisser.start(10);

    QtMessageBox().MessageBox(text.toStdString(), style, title);

    // A long text is cut short in the box and kept whole behind its details.
    QVERIFY(shown);
    QCOMPARE(shownText, text.size() > 2000 ? text.left(2000) + "..." + text : text);
    QCOMPARE(shownIcon, icon);
    QCOMPARE(shownCaption.trimmed(), caption);
}

void QtPlatformTest::numberFromTextFollowsRegionalFormat_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<double>>("number");

    QTest::newRow("whole minutes") << "en_US" << "1" << std::optional(1.0);
    QTest::newRow("decimal point") << "en_US" << "0.5" << std::optional(0.5);
    QTest::newRow("decimal comma") << "de_DE" << "0,5" << std::optional(0.5);
    QTest::newRow("negative") << "de_DE" << "-2" << std::optional(-2.0);
    QTest::newRow("blanks around") << "en_US" << " 3 " << std::optional(3.0);
    QTest::newRow("no number") << "en_US" << "abc" << std::optional<double>();
    QTest::newRow("empty") << "en_US" << "" << std::optional<double>();
    QTest::newRow("point is no decimal separator in German") << "de_DE" << "0.5x" << std::optional<double>();
}

void QtPlatformTest::numberFromTextFollowsRegionalFormat()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(std::optional<double>, number);

    QCOMPARE(QtNumberFormat(QLocale(locale)).NumberFromText(text.toStdString()), number);
}

QTEST_MAIN(QtPlatformTest)
#include "tst_qtplatform.moc"
