// The device report written by Save & Disconnect, and the channel masks on
// their way from the radio through the combined list and back.
#include "session.h"
#include "usb/pacing.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {


QList<bool> decode(const std::array<quint8, 11> &mask)
{
    QList<bool> flags;
    for (quint8 byte : mask)
        for (int bit = 0; bit < 8; ++bit)
            flags << bool((byte >> bit) & 1);
    return flags;
}

QByteArray withoutDate(const QByteArray &report)
{
    static const QRegularExpression date(QStringLiteral("Date: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d"));
    return QString::fromUtf8(report).replace(date, QStringLiteral("Date: <masked>")).toUtf8();
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Protocol waits skipped, discovery and monitoring a hundred times
        // quicker: the same steps in the same order, in milliseconds.
        Pacing::setInstant(true);
        Pacing::setTimerScale(100);
        TestLog::install();
    }

    void reportMatchesTheGoldenFile()
    {
        Session session(QStringLiteral("r9"));
        QVERIFY(session.connectAndRead());
        const QByteArray report = session.store();
        QVERIFY(QRegularExpression(QStringLiteral("\r\nDate: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\n"))
                    .match(QString::fromUtf8(report)).hasMatch());
        QFile golden(QStringLiteral(VELTRA_TEST_SOURCE_DIR "/fixtures/report_r9.txt"));
        // After a deliberate change of the report, VELTRA_WRITE_GOLDEN=1
        // rewrites the file; review its diff before committing it.
        if (qEnvironmentVariableIsSet("VELTRA_WRITE_GOLDEN") && golden.open(QIODevice::WriteOnly))
            golden.write(withoutDate(report)), golden.close();
        QVERIFY(golden.open(QIODevice::ReadOnly));
        QCOMPARE(withoutDate(report), golden.readAll());
        QCOMPARE(QFileInfo(session.configurator.reportFileName()).fileName(), QStringLiteral("trx_123456789a.txt"));
    }

    void reportLines_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("directionIndex"); // empty: as read
        QTest::addColumn<QString>("expectedLine");
        QTest::newRow("no 5.8 GHz band") << "p1" << "" << "5.8GHz Power:\t-\r\n5.8GHz Mask (Hex):\t-\r\n";
        QTest::newRow("direction not in the list") << "r9" << "-1" << "\r\nDirection:\t\r\n";
        QTest::newRow("label in UTF-8") << "r9,label=Bühne" << "" << "Device Label:\tB\xc3\xbchne\r\n";
        QTest::newRow("old dongle") << "r9,dongle=1.9.3" << ""
                                    << "HopTable (Hex):\tYou need a newer dongle version.\r\n";
    }

    void reportLines()
    {
        QFETCH(QString, profile);
        QFETCH(QString, directionIndex);
        QFETCH(QString, expectedLine);
        Session session(profile);
        QVERIFY(session.connectAndRead());
        if (!directionIndex.isEmpty())
            session.configurator.directionIndex = directionIndex.toInt();
        const QByteArray report = session.store();
        QVERIFY2(report.contains(expectedLine.toUtf8()), report.constData());
    }

    void unavailableSerialNamesTheFile()
    {
        Session session(QStringLiteral("r9,serial=ff"));
        QVERIFY(session.connectAndRead());
        QVERIFY(!session.store().isEmpty());
        QVERIFY(QFile::exists(session.folder.path() + QStringLiteral("/trx_Not available.txt")));
    }

    void secondStoreOverwritesTheReport()
    {
        Session session(QStringLiteral("r9"));
        QVERIFY(session.connectAndRead());
        session.store();
        QVERIFY(session.waitForDetach());
        QVERIFY(session.connectAndRead());
        session.configurator.on_deviceLabel_textChanged(QStringLiteral("Second"));
        const QByteArray report = session.store();
        QCOMPARE(report.count("Veltra Configurator TRX Data Dump"), 1);
        QVERIFY(report.contains("Device Label:\tSecond"));
        QCOMPARE(QDir(session.folder.path()).entryList(QDir::Files).size(), 1);
    }

    void hopTableGoesToTheClipboard()
    {
        Session session(QStringLiteral("r9"));
        QVERIFY(session.connectAndRead());
        QSignalSpy copied(&session.configurator, &Configurator::copyPressed);
        session.configurator.on_clipboard_copy_pressed();
        QCOMPARE(QGuiApplication::clipboard()->text(), session.configurator.isHopTable());
        QCOMPARE(copied.count(), 1);
    }

    void editedMasksReachTheRadioEachTime()
    {
        Session session(QStringLiteral("r9"));
        QVERIFY(session.connectAndRead());
        Configurator &c = session.configurator;

        // Mask channel 10 of 5.2 and of 5.8 GHz, as the masking view hands
        // over edits: each band's edit goes to that band.
        QList<bool> all = c.ismaskedChannels();
        all[88 + 9] = true;
        all[176 + 9] = true;
        c.currentMaskedChannels(all);
        c.maskingChanged(1);
        c.maskingChanged(2);
        c.on_storeAndDisconnect_clicked();
        QCOMPARE(decode(session.radio().stored.masks[1]).mid(0, 84), all.mid(88, 84));
        QCOMPARE(decode(session.radio().stored.masks[2]).mid(0, 84), all.mid(176, 84));

        // A new readout shows the edit; a further edit deploys the newer
        // flags, not those of the first deploy.
        QVERIFY(session.waitForDetach());
        QVERIFY(session.connectAndRead());
        QCOMPARE(c.ismaskedChannels().mid(176, 84), all.mid(176, 84));
        all[176 + 9] = false;
        all[176 + 20] = true;
        c.currentMaskedChannels(all);
        c.maskingChanged(2);
        c.on_storeAndDisconnect_clicked();
        QCOMPARE(decode(session.radio().stored.masks[2]).mid(0, 84), all.mid(176, 84));
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
