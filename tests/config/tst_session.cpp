// The device session end to end, wired as the application wires it: the readout,
// the changes travelling back to the radio, and the report Save & Disconnect writes.
#include "session.h"

#include <QtTest>

#include <functional>

using Step = std::function<void(Session &)>;
Q_DECLARE_METATYPE(Step)

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

// The commands of an R9's readout, in the order it sends them.
const QList<int> r9Readout {10, 9, 24, 14, 16, 26, 22, 12, 20, 18, 30};

const Step connectAndRead = [](Session &s) { QVERIFY(s.connectAndRead()); };

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Session::quicken(); }

    // What the window shows once a step is done: a readout, a version read
    // of the dongle link, the radio leaving.
    void shown_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<Step>("step");
        QTest::addColumn<QStringList>("expected"); // property=value
        // The rest of what an R9 shows is in the golden report below.
        QTest::newRow("r9") << "r9" << connectAndRead
                            << QStringList{"isStatusVELTRA=Veltra R9 TRX", "isr8Box=false", "isHighbandstate=1"};
        QTest::newRow("r8x") << "r8x" << connectAndRead
                             << QStringList{"istrxHWVersion=12", "istrxModel=Veltra R8X", "isAddonVersion=-",
                                            "ispresentRadioMode=R8X 5.8GHz", "ispresentTransmitterMode=Receiver",
                                            "isr8Box=true", "isRDMEnabledstate=-1", "isDeviceLabel=Truss 2"};
        QTest::newRow("p1") << "p1" << connectAndRead
                            << QStringList{"isStatusVELTRA=Veltra R8Update available!",
                                           "ispresentRadioMode=R7 Compatibility Mode",
                                           "ispresentTransmitterMode=Receiver", "isHighbandstate=0"};
        // A legacy radio's class is all it tells of itself, and it stays shown.
        QTest::newRow("legacy") << "legacy" << connectAndRead
                                << QStringList{"istrxModel=R7/R8", "isStatusVELTRA=Veltra: R7/R8 [Update available]"};
        QTest::newRow("serial not available") << "r9,serial=ff" << connectAndRead << QStringList{"istrxSerial=Not available"};
        QTest::newRow("model cut at 18 characters") << "r9,model=Veltra R9 Tandem Node Extra Long" << connectAndRead
                                                    << QStringList{"istrxModel=Veltra R9 Tandem N"};
        QTest::newRow("old dongle has no hop table") << "r9,dongle=1.9.3" << connectAndRead
                                                     << QStringList{"isHopTable=You need a newer dongle version."};
        const Step versionRead = [](Session &s) { s.configurator.showDongleVersion(); };
        QTest::newRow("dongle 2.21 needs an upgrade")
            << "r9,dongle=2.21.4,hardware=1" << versionRead
            << QStringList{"isDongleVersion=2.21.4", "isUpdaterstatusMessage=Dongle Upgrade Required", "isDongleHWVersion=A"};
        QTest::newRow("dongle in its bootloader")
            << "r9,dongle=boot" << versionRead
            << QStringList{"isDongleVersion=3.-1.-1", "isUpdaterstatusMessage=Dongle Upgrade Required", "isDongleHWVersion=-"};
        QTest::newRow("radio leaving") << "r9" << Step([](Session &s) {
            QVERIFY(s.connectAndRead());
            QTRY_VERIFY_WITH_TIMEOUT(s.configurator.isDongleState(), 4000);
            s.dongle->setRadioConnected(false);
            QTRY_VERIFY_WITH_TIMEOUT(!s.configurator.isDongleState(), 8000);
        }) << QStringList{"isStatusVELTRA=Veltra: Disconnected", "isupdaterAutorebootLabel="};
        // A readout cut short at its first command shows nothing of the radio read before.
        QTest::newRow("next readout cut short") << "r8x" << Step([](Session &s) {
            QVERIFY(s.connectAndRead());
            s.radio().missedCommands[10] = 100; // the identity
            s.configurator.loadVELTRA();
            for (int band : {0, 1, 2}) {
                s.configurator.powerList(band);
                QCOMPARE(s.configurator.ispresentPower(), QString());
            }
        }) << QStringList{"istrxModel=", "isr8Box=false"};
    }

    void shown()
    {
        QFETCH(QString, profile);
        QFETCH(Step, step);
        QFETCH(QStringList, expected);
        Session session(profile);
        step(session);
        if (QTest::currentTestFailed())
            return;
        for (const QString &pair : expected) {
            const QByteArray name = pair.section(QLatin1Char('='), 0, 0).toLatin1();
            QCOMPARE(session.configurator.property(name).toString(), pair.section(QLatin1Char('='), 1));
        }
        QVERIFY(session.configurator.deployList.isEmpty());
    }

    // The readout cut short (the radio silent to one command, replies never passing their check
    // or Disconnect once the identity is in, while the next command is under way) ends there
    // with DMX off and sends nothing after it.
    void readoutCutShort_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<Step>("onIdentity");
        QTest::addColumn<QList<int>>("commands"); // those the radio took
        QTest::addColumn<bool>("failed"); // ended as a failed command, not on an unexpected answer
        // The command that closes the readout is sent, its answer not looked at.
        for (int i = 0; i + 1 < r9Readout.size(); ++i)
            QTest::addRow("silent to command %d", r9Readout.at(i)) << QStringLiteral("r9,silent=%1").arg(r9Readout.at(i))
                                                                  << Step() << r9Readout.mid(0, i) << false;
        // The capabilities are asked for again and again, then given up.
        QTest::newRow("broken replies") << "r9" << Step([](Session &s) { s.dongle->corruptCheckValues(1000); })
                                        << QList<int>{10, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9} << true;
        QTest::newRow("disconnect") << "r9" << Step([](Session &s) {
            QTimer::singleShot(0, &s.configurator, &Configurator::on_disconnect_clicked);
        }) << QList<int>{10, 9} << true;
    }

    void readoutCutShort()
    {
        QFETCH(QString, profile);
        QFETCH(Step, onIdentity);
        QFETCH(QList<int>, commands);
        QFETCH(bool, failed);
        Session session(profile);
        connect(&session.configurator, &Configurator::VeltraStatusChanged, this, [&session, onIdentity] {
            if (onIdentity && session.configurator.isStatusVELTRA() == QLatin1String("Veltra R9 TRX"))
                onIdentity(session);
        });
        const int mark = session.radio().commands.size(), wire = session.mark();
        TestLog::clear();
        session.configurator.on_connect_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(!session.dongle->dmxRunning(), 20000);
        QTest::qWait(150);
        QCOMPARE(session.radio().commands.mid(mark), commands);
        QCOMPARE(session.slotWritesAfterDmxOff(wire), 0);
        QCOMPARE(session.usbd->liveDataEnabled, 0);
        QVERIFY(!failed || TestLog::lines.filter(QStringLiteral("Configurator: runCommand: reply")).isEmpty());
        // The label shows once its reply is in.
        QCOMPARE(session.configurator.isDeviceLabel().isEmpty(), !commands.contains(24));
    }

    // What Save & Disconnect sends after the readout (and an edit), and what
    // the radio and the report folder are left with.
    void store_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<Step>("edit");
        QTest::addColumn<QList<int>>("sent"); // the commands the radio took, in order
        QTest::addColumn<QByteArray>("label"); // the label frame sent; empty: none
        QTest::addColumn<QByteArray>("inReport"); // a line of the report written; empty: none written
        QTest::addColumn<QString>("error");
        const Step none = [](Session &) {};
        const QByteArray stageLeft = "Device Label:\tStage Left\r\n";
        auto label = [](const QString &text) { return Step([text](Session &s) { s.configurator.on_deviceLabel_textChanged(text); }); };
        // Nothing pending still stores; the report follows the radio's
        // confirmation of the store, and a radio silent to it gets none.
        QTest::newRow("silent to the store") << "r9,silent=40" << none << QList<int>{} << QByteArray()
                                             << QByteArray() << "the radio did not confirm the store";
        QTest::newRow("no 5.8 GHz band") << "p1" << none << QList<int>{40} << QByteArray()
                                         << QByteArray("5.8GHz Power:\t-\r\n5.8GHz Mask (Hex):\t-\r\n") << QString();
        QTest::newRow("label in UTF-8") << "r9,label=Bühne" << none << QList<int>{40} << QByteArray()
                                        << QByteArray("Device Label:\tB\xc3\xbchne\r\n") << QString();
        // "Truss" as a store leaves it: the radio pads a label with NULs.
        QTest::newRow("label padded with NULs") << "r9,labelhex=5472757373" + QString(54, QLatin1Char('0')) << none
                                                << QList<int>{40} << QByteArray()
                                                << QByteArray("Device Label:\tTruss\r\n") << QString();
        // A label the radio cannot keep as typed is not sent at all, not even
        // with a NUL for a character it has no byte for.
        QTest::newRow("label of 3 characters") << "r9" << label("Abc") << QList<int>{25, 24, 40}
                                               << QByteArray("Abc") + QByteArray(29, '\0')
                                               << QByteArray("Device Label:\tAbc\r\n") << QString();
        QTest::newRow("label beyond Latin-1") << "r9" << label(QString::fromUtf8("A\u20ACB")) << QList<int>{40} << QByteArray()
                                              << stageLeft << QString();
        // Lists emptied under the view (no entry chosen), or an index just
        // past a list, leave the radio's settings as they were.
        const QString settings = "r9,settings=0100090100000000000000000000";
        QTest::newRow("no entry chosen") << settings << Step([](Session &s) {
            s.configurator.on_direction_currentIndexChanged(-1);
            s.configurator.on_radioMode_currentIndexChanged(-1);
        }) << QList<int>{13, 12, 40} << QByteArray() << stageLeft << QString();
        QTest::newRow("just past the list") << settings << Step([](Session &s) {
            Configurator &c = s.configurator;
            c.on_direction_currentIndexChanged(int(c.isListforRadio_direction().size()));
            c.on_radioMode_currentIndexChanged(int(c.isListforRadioMode().size()));
        }) << QList<int>{13, 12, 40} << QByteArray() << stageLeft << QString();
        // A frame that cannot reach the dongle stops the store there: the
        // radio is neither read back nor asked to keep a half-written set.
        QTest::newRow("frame not sent") << "r9" << Step([](Session &s) {
            s.configurator.on_radioMode_currentIndexChanged(2);
            s.dongle->unplug();
        }) << QList<int>{} << QByteArray() << QByteArray() << "a settings frame did not reach the dongle";
        QTest::newRow("silent to the read-back") << "r9" << Step([](Session &s) {
            s.configurator.on_radioMode_currentIndexChanged(2);
            s.radio().missedCommands[12] = 99;
        }) << QList<int>{13} << QByteArray() << QByteArray() << "the radio did not take its settings (not read back)";
        // A legacy radio gets its one frame, unchecked, and keeps it without
        // being asked to store; it gets no report.
        QTest::newRow("legacy") << "legacy" << Step([](Session &s) {
            s.configurator.powerList(0);
            s.configurator.writePowerSettings(3);
        }) << QList<int>{1} << QByteArray() << QByteArray() << QString();
    }

    void store()
    {
        QFETCH(QString, profile);
        QFETCH(Step, edit);
        QFETCH(QByteArray, inReport);
        QFETCH(QString, error);
        Session session(profile);
        QVERIFY(session.connectAndRead());
        const int mark = session.radio().commands.size();
        const auto before = session.radio().stored.frame;
        QSignalSpy stored(&session.configurator, &Configurator::storeAndDisconectClicked);
        edit(session);
        const QByteArray report = session.store();
        QTEST(session.radio().commands.mid(mark), "sent");
        QTEST(session.radio().lastData.value(25), "label");
        QVERIFY(session.radio().stored.frame == before);
        QCOMPARE(stored.count(), error.isEmpty() ? 1 : 0);
        QCOMPARE(QDir(session.folder.path()).entryList(QDir::Files).size(), inReport.isEmpty() ? 0 : 1);
        QVERIFY2(report.contains(inReport), report.constData());
        QCOMPARE(session.configurator.storeError(), error);
        // DMX ends off, on a dongle still there to take the word.
        QVERIFY(!session.dongle->isPlugged() || !session.dongle->dmxRunning());
        if (profile == QLatin1String("legacy")) {
            // Its readout asks for the hop table only.
            QCOMPARE(session.radio().commands.mid(0, mark), QList<int>{4});
            // LEN 21, no check value: mask bytes then the power in slot 22, the last.
            QCOMPARE(session.radio().lastData.value(1).mid(16), QByteArray(1, 3));
        }
    }

    // Flex takes the first direction, pin 10 the third; a radio in a 5.8
    // GHz mode gets that band's power too.
    void factoryDefaultsSendWhatIsShown_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("direction"); // 2: pin 10's defaults, else Flex's
        QTest::addColumn<int>("fiveGHz"); // the band's power frame that goes too, by its command; 0: none
        QTest::newRow("flex") << "r9" << 0 << 0;
        QTest::newRow("pin 10") << "r9" << 2 << 0;
        QTest::newRow("flex, in a 5.8 GHz mode") << "r9,settings=00000b015a000100010000000000" << 0 << 17;
        QTest::newRow("flex, in a 5.2 GHz mode") << "r9,settings=00002b015a000100010000000000" << 0 << 27;
    }

    void factoryDefaultsSendWhatIsShown()
    {
        QFETCH(QString, profile);
        QFETCH(int, direction);
        QFETCH(int, fiveGHz);
        Session session(profile);
        QVERIFY(session.connectAndRead());
        Configurator &c = session.configurator;
        const QString shown = c.isListforRadio_direction().value(direction);
        const size_t mark = session.traceMark();
        direction == 2 ? c.on_deployDefaultPin10_clicked() : c.on_deployDefaultFlexButton_clicked();
        // The radio is given half a second to take each frame.
        QVERIFY(session.closestWritesUs(mark) >= 500000);
        // A settings frame of LEN 20: the direction, entry 1 (R8X 2.4GHz) and two switches on.
        const QByteArray settings = session.radio().lastData.value(13);
        QCOMPARE(settings.size(), 14);
        QCOMPARE((QList<int>{settings.at(0), settings.at(2), settings.at(3), settings.at(6)}), (QList<int>{direction, 4, 1, 1}));
        QCOMPARE(int(quint8(session.radio().lastData.value(15).at(16))), 1);
        for (int code : {17, 27})
            QCOMPARE(session.radio().lastData.contains(code), code == fiveGHz);
        if (fiveGHz)
            QCOMPARE(int(quint8(session.radio().lastData.value(fiveGHz).at(16))), 1);
        // What the view shows is what was sent: entry 1 of the lists.
        QCOMPARE((QStringList{c.ispresentTransmitterMode(), c.ispresentRadioMode(), c.presentPower24}),
                 (QStringList{shown, "R8X 2.4GHz", c.powerList24.value(1)}));
        QCOMPARE(session.radio().lastData.value(25).left(7), QByteArray("Skylane"));
        QVERIFY(c.deployList.isEmpty());
    }

    void reportMatchesTheGoldenFile()
    {
        Session session(QStringLiteral("r9"));
        QVERIFY(session.connectAndRead());
        const QByteArray report = session.store();
        // The whole readout, in order, then the store.
        QCOMPARE(session.radio().commands, r9Readout + QList<int>{40});
        QFile golden(QStringLiteral(VELTRA_TEST_SOURCE_DIR "/fixtures/report_r9.txt"));
        // After a deliberate change of the report, VELTRA_WRITE_GOLDEN=1
        // rewrites the file; review its diff before committing it.
        if (qEnvironmentVariableIsSet("VELTRA_WRITE_GOLDEN") && golden.open(QIODevice::WriteOnly))
            golden.write(withoutDate(report)), golden.close();
        QVERIFY(golden.open(QIODevice::ReadOnly));
        QCOMPARE(withoutDate(report), golden.readAll());
        QCOMPARE(QFileInfo(session.configurator.reportFileName()).fileName(), QStringLiteral("trx_123456789a.txt"));
    }

    // The window's one 5 GHz power and mask of an R9 belong to the band the radio works on: a mode
    // moving it to the other 5 GHz band takes the edit along; the band it leaves keeps what it had.
    void fiveGHzEditFollowsTheMode_data()
    {
        QTest::addColumn<int>("from"); // the mode code as read
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("power"); // chosen; the radio holds another
        QTest::newRow("5.8 to 5.2 GHz") << 9 << "R9 5.2GHz" << 3;
        QTest::newRow("5.2 to 5.8 GHz") << 0x29 << "R9 5.8GHz" << 3;
        QTest::newRow("first power of the list") << 9 << "R9 5.2GHz" << 0;
        QTest::newRow("tandem, 5.8 to 5.2 GHz") << 11 << "R9 Tandem 5.2GHz" << 2;
    }

    void fiveGHzEditFollowsTheMode()
    {
        QFETCH(int, from);
        QFETCH(QString, to);
        QFETCH(int, power);
        const QString held = power ? "0:0:0" : "3:3:3";
        // Channels 85 to 88, which no view shows, are masked on 5.8 GHz alone.
        Session session("r9,mask58=00000000000000000000ff,power=" + held + ",settings=0100" + QByteArray(1, char(from)).toHex()
                        + "0000000000000000000000");
        QVERIFY(session.connectAndRead());
        Configurator &c = session.configurator;
        const size_t fromBand = from < 41 ? 2 : 1, toBand = 3 - fromBand;
        const RadioUnit::Settings before = session.radio().stored;
        c.powerList(int(fromBand));
        c.writePowerSettings(power);
        QList<bool> all = c.ismaskedChannels();
        all[int(fromBand) * 88 + 9] = !all.at(int(fromBand) * 88 + 9);
        c.currentMaskedChannels(all);
        c.maskingChanged(int(fromBand));
        c.on_radioMode_currentIndexChanged(int(c.isListforRadioMode().indexOf(to)));
        c.on_storeAndDisconnect_clicked();
        const RadioUnit::Settings &after = session.radio().stored;
        QCOMPARE(int(after.powerIndex[toBand]), power);
        QCOMPARE(after.powerIndex[fromBand], before.powerIndex[fromBand]);
        QCOMPARE(decode(after.masks[toBand]).mid(0, 84), all.mid(int(fromBand) * 88, 84));
        QCOMPARE(decode(after.masks[toBand]).mid(84), decode(before.masks[toBand]).mid(84));
        QCOMPARE(after.masks[fromBand], before.masks[fromBand]);
    }
};

QTEST_MAIN(TestSession)
#include "tst_session.moc"
