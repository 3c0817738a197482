#include "inspection/brokerservicescan.h"
#include "tests/support/inmemoryservicesource.h"
#include "tests/support/recordingmessageboxes.h"

#include <QtTest>

namespace {

struct Fields final : ScanFields {
    std::string BrokerServer() override { return Server; }
    int SendMailValue() override { return SendMail; }
    std::string ReportText() override { return Report; }
    void SetReportText(const std::string &text) override
    {
        Report = text;
        ++Writes;
    }

    std::string Server = "broker01";
    int SendMail = 1;
    std::string Report = "previous report\r\n";
    int Writes = 0;
};

// "Name|pid|State" rows; the type is always "simple".
std::vector<BrokerService> Services(const QStringList &rows)
{
    std::vector<BrokerService> services;
    for (const QString &row : rows) {
        const QStringList parts = row.split('|');
        services.push_back({parts[0].toStdString(), parts[1].toUInt(), "simple", parts[2].toStdString()});
    }
    return services;
}

QStringList ReportedNames(const std::string &report)
{
    QStringList names;
    for (const QString &line : QString::fromStdString(report).split("\r\n"))
        if (line.startsWith("Service Name: "))
            names << line.mid(14);
    return names;
}

QString Requests(const QStringList &names)
{
    QString body;
    for (const QString &name : names)
        body += "Please restart Tarvik Broker process " + name + "\r\n";
    return body;
}

struct Rig {
    InMemoryServiceSource Source;
    RecordingMessageBoxes Boxes;
    BrokerServiceScan Scan{Source, Boxes};
    Fields Window;
    std::string MailBody;
};

} // namespace

class BrokerScanTest : public QObject {
    Q_OBJECT
private slots:
    void reportIsExactToTheCharacter();
    void scanPicksBrokersAndCollectsRestartRequests_data();
    void scanPicksBrokersAndCollectsRestartRequests();
    void notifiedPidCarriesAcrossScans_data();
    void notifiedPidCarriesAcrossScans();
    void failureKeepsWhatWasWritten_data();
    void failureKeepsWhatWasWritten();
};

void BrokerScanTest::reportIsExactToTheCharacter()
{
    Rig rig;
    rig.Source.Services = Services({"SampleBroker|0|Stopped", "OtherBroker|4242|Running"});
    rig.Scan.ScanBrokerServices(rig.Window, rig.MailBody);

    const std::string rule42(42, '='), rule57(57, '=');
    QCOMPARE(rig.Window.Report, rule42 + "\r\nTarvik Broker Service Information for broker01\r\n" + rule42 +
                                    "\r\nService Name: SampleBroker\r\nPID: 0\r\nType of Service: simple\r\n"
                                    "Service State: Stopped\r\n" + rule57 +
                                    "\r\nService Name: OtherBroker\r\nPID: 4242\r\nType of Service: simple\r\n"
                                    "Service State: Running\r\n" + rule57 + "\r\n");
    QCOMPARE(rig.Window.Writes, 13); // one whole-text write per line
    QCOMPARE(rig.Source.LastMoniker, "winmgmts:{impersonationLevel=impersonate}!//broker01");
    QCOMPARE(rig.Source.LastClass, "Win32_Service");
}

void BrokerScanTest::scanPicksBrokersAndCollectsRestartRequests_data()
{
    QTest::addColumn<QStringList>("services");
    QTest::addColumn<int>("sendMail");
    QTest::addColumn<QStringList>("reported");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QString>("notifiedPid");

    QTest::newRow("name test ignores letter case, loggers skipped")
        << QStringList{"tarvik-broker|0|Stopped", "BrokerLogger|0|Stopped", "cron|0|Stopped", "xBROKERx|7|Running",
                       "brokerlog|0|Stopped", "Catalog-Broker|0|Stopped"}
        << 1 << QStringList{"tarvik-broker", "xBROKERx"} << QStringList{"tarvik-broker"} << "";
    QTest::newRow("no broker: previous report stays") << QStringList{"cron|0|Stopped"} << 1 << QStringList{}
                                                      << QStringList{} << "old";
    QTest::newRow("mailing off: report only") << QStringList{"A-Broker|0|Stopped"} << 0 << QStringList{"A-Broker"}
                                              << QStringList{} << "old";
    QTest::newRow("mailing greyed counts as off") << QStringList{"A-Broker|0|Stopped"} << 2
                                                  << QStringList{"A-Broker"} << QStringList{} << "old";
    QTest::newRow("two stopped with pid 0: only the first") << QStringList{"A-Broker|0|Stopped", "B-Broker|0|Stopped"}
                                                           << 1 << QStringList{"A-Broker", "B-Broker"}
                                                           << QStringList{"A-Broker"} << "0";
    QTest::newRow("a running broker between them lets both through")
        << QStringList{"A-Broker|0|Stopped", "R-Broker|9|Running", "B-Broker|0|Stopped"} << 1
        << QStringList{"A-Broker", "R-Broker", "B-Broker"} << QStringList{"A-Broker", "B-Broker"} << "0";
    QTest::newRow("pending state neither requests nor clears")
        << QStringList{"P-Broker|5|Start Pending"} << 1 << QStringList{"P-Broker"} << QStringList{} << "old";
    QTest::newRow("state test is case-sensitive") << QStringList{"S-Broker|0|stopped"} << 1 << QStringList{"S-Broker"}
                                                  << QStringList{} << "old";
}

void BrokerScanTest::scanPicksBrokersAndCollectsRestartRequests()
{
    QFETCH(QStringList, services);
    QFETCH(int, sendMail);
    QFETCH(QStringList, reported);
    QFETCH(QStringList, requests);
    QFETCH(QString, notifiedPid);

    Rig rig;
    rig.Source.Services = Services(services);
    rig.Window.SendMail = sendMail;
    rig.Scan.NotifiedPid = "old";
    rig.Scan.ScanBrokerServices(rig.Window, rig.MailBody);

    if (reported.isEmpty())
        QCOMPARE(rig.Window.Report, "previous report\r\n");
    QCOMPARE(ReportedNames(rig.Window.Report), reported);
    QCOMPARE(QString::fromStdString(rig.MailBody), Requests(requests));
    QCOMPARE(QString::fromStdString(rig.Scan.NotifiedPid), notifiedPid);
    QCOMPARE(rig.Boxes.Boxes.size(), std::size_t(0));
}

void BrokerScanTest::notifiedPidCarriesAcrossScans_data()
{
    QTest::addColumn<QList<QStringList>>("scans"); // the services each scan sees
    QTest::addColumn<QStringList>("requestsPerScan");

    QTest::newRow("stopped service asked for once")
        << QList<QStringList>{{"A-Broker|0|Stopped"}, {"A-Broker|0|Stopped"}, {"A-Broker|0|Stopped"}}
        << QStringList{"A-Broker", "", ""};
    QTest::newRow("asked again after it ran and stopped")
        << QList<QStringList>{{"A-Broker|0|Stopped"}, {"A-Broker|31|Running"}, {"A-Broker|0|Stopped"}}
        << QStringList{"A-Broker", "", "A-Broker"};
    QTest::newRow("one running, one stopped: asked every scan")
        << QList<QStringList>{{"R-Broker|8|Running", "S-Broker|0|Stopped"}, {"R-Broker|8|Running", "S-Broker|0|Stopped"}}
        << QStringList{"S-Broker", "S-Broker"};
}

void BrokerScanTest::notifiedPidCarriesAcrossScans()
{
    QFETCH(QList<QStringList>, scans);
    QFETCH(QStringList, requestsPerScan);

    Rig rig;
    for (qsizetype i = 0; i < scans.size(); ++i) {
        rig.Source.Services = Services(scans[i]);
        rig.MailBody.clear();
        rig.Scan.ScanBrokerServices(rig.Window, rig.MailBody);
        QCOMPARE(QString::fromStdString(rig.MailBody),
                 requestsPerScan[i].isEmpty() ? QString() : Requests({requestsPerScan[i]}));
    }
}

void BrokerScanTest::failureKeepsWhatWasWritten_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("listingFails");
    QTest::addColumn<int>("failingRead");
    QTest::addColumn<QStringList>("reported");
    QTest::addColumn<QString>("message");

    QTest::newRow("empty server") << "" << false << -1 << QStringList{} << "Fill in the name to the server to monitor";
    QTest::newRow("server unreachable") << "broker01" << true << -1 << QStringList{}
                                        << "SWbemLocator-->The RPC server is unavailable.";
    QTest::newRow("read fails mid-scan") << "broker01" << false << 1 << QStringList{"A-Broker", "B-Broker"}
                                         << "SWbemObject-->Access denied";
}

void BrokerScanTest::failureKeepsWhatWasWritten()
{
    QFETCH(QString, server);
    QFETCH(bool, listingFails);
    QFETCH(int, failingRead);
    QFETCH(QStringList, reported);
    QFETCH(QString, message);

    Rig rig;
    rig.Window.Server = server.toStdString();
    rig.Source.Services = Services({"A-Broker|0|Stopped", "B-Broker|0|Stopped", "C-Broker|0|Stopped"});
    if (listingFails)
        rig.Source.ListingFailure = SourceFailure{"SWbemLocator", "The RPC server is unavailable."};
    if (failingRead >= 0)
        rig.Source.FailingRead = std::size_t(failingRead);
    rig.Scan.ScanBrokerServices(rig.Window, rig.MailBody);

    QCOMPARE(rig.Boxes.Texts(), std::vector<std::string>{message.toStdString()});
    QCOMPARE(ReportedNames(rig.Window.Report), reported);
    QCOMPARE(QString::fromStdString(rig.MailBody), Requests(reported.mid(0, failingRead >= 0 ? 1 : 0)));
    QCOMPARE(rig.Source.ListedAt.size(), server.isEmpty() ? 0u : 1u);
}

QTEST_GUILESS_MAIN(BrokerScanTest)
#include "tst_brokerscan.moc"
