// Radio firmware uploads end to end: a generated package through the upload
// thread to the virtual radio's bootloader, the outcome to the operator.
#include "config/session.h"
#include "config/wholefile.h"
#include "firmware/vfpwriter.h"

#include <QtTest>

namespace {

// Eight frames of up to 256 payload bytes, told apart by their MCU id.
QByteArray imageFor(int mcuId)
{
    return VfpWriter::testImage(2000, quint32(mcuId));
}

// Each poll of the serial channel logs a request; a device silent for two
// seconds would pile up millions of lines.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.startsWith(QLatin1String("Usbd: usbS")) && !message.startsWith(QLatin1String("Usbd: NoReply"))
        && !message.startsWith(QLatin1String("Usbd: SerialDataIn")))
        TestLog::handler(type, context, message);
}

struct Update : Session
{
    explicit Update(const QString &profile = QString()) : Session(profile) { dongle->trace().setRecording(false); }

    // Shared with the upload thread: use under dongle->lock().
    RadioBootloader &boot() { return dongle->radioBootloader(); }

    // A negative id stands for a block of that id without frames.
    QString package(const QList<int> &mcuIds, bool closingFrame = false)
    {
        QList<VfpWriter::Block> blocks;
        for (int id : mcuIds) {
            blocks << VfpWriter::imageBlock(qAbs(id), id < 0 ? QByteArray() : imageFor(id), 256);
            if (closingFrame)
                blocks.last().data += VfpWriter::frame(QByteArray());
        }
        const QString path = folder.filePath(QStringLiteral("radio fw.vfp"));
        return VfpWriter::writeFile(path, blocks) ? path : QString();
    }

    bool linkResumed()
    {
        return QTest::qWaitFor([this] { return usbd->usbDongleType == 3 && !dongle->updaterMode() && linkFree(*usbd); }, 5000);
    }
};

enum Fault { NoFault, CrcErrors, Silence, UsbFailure, Cancel, LateStart, BadSums, Stall };

} // namespace

class TestUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Pacing::setInstant(true);
        Pacing::setTimerScale(100);
        qInstallMessageHandler(quietHandler);
    }

    // Files come from the scene as paths or as the file dialog's URLs.
    void pathFromTheScene_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("path");
        QTest::newRow("URL, escaped") << "FILE:///fw/a%20b.vfp" << "/fw/a b.vfp";
        QTest::newRow("URL with a drive") << "file:///C:/fw/a.vfp" << "C:/fw/a.vfp";
    }

    void pathFromTheScene()
    {
        QFETCH(QString, given);
        QTEST(Configurator::updaterFilePath(given), "path");
    }

    // A package the reader refuses, or one with no dongle to take it, ends
    // the update with its own reason before anything is sent.
    void refusedPackageEndsTheUpdate_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("plugged");
        QTest::addColumn<QString>("reason");
        const QByteArray sound = "[MCUID=2]\nDATA=" + VfpWriter::frame("abc").toHex() + "\n";
        QTest::newRow("no header") << QByteArray("DATA=0000\n") << true << "file_data_error";
        QTest::newRow("no frames") << QByteArray("[MCUID=2]\n") << true << "no_firmware_data";
        // "large" is grown past the reader's limit once written.
        QTest::newRow("past 16 MiB") << QByteArray("large") << true << "file_too_large";
        QTest::newRow("no dongle") << sound << false << "no_dongle";
    }

    void refusedPackageEndsTheUpdate()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, plugged);
        Update update;
        const QString path = update.folder.filePath(QStringLiteral("refused.vfp"));
        QVERIFY(WholeFile::write(path, content, nullptr) && (content != "large" || QFile::resize(path, VFP::maxFileBytes + 1)));
        if (!plugged) {
            update.dongle->unplug();
            QTRY_COMPARE(update.usbd->usbDongleType, 0);
        }
        update.configurator.firmwareUpdate(Configurator::radio_update, path);
        QTEST(update.configurator.updateReason(), "reason");
        QVERIFY(!update.dongle->updaterMode());
    }

    // A status no upload sets ends as a failure and leaves the status text as it was.
    void unknownStatusEndsAsFailed()
    {
        Update update;
        update.configurator.serialThread.uploadStatus = 7;
        update.configurator.serialThreadTerminated();
        QCOMPARE(update.configurator.updateReason(), QStringLiteral("unknown_response"));
        QCOMPARE(update.configurator.isUpdaterstatusMessage(), QString());
    }

    void outcomes_data()
    {
        QTest::addColumn<int>("version"); // of the handshake; a version 2 radio is MCU 7, a version 1 MCU 2
        QTest::addColumn<QList<int>>("blocks");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("status");      // 0: the radio's own block arrived
        QTest::addColumn<int>("frames");      // frames the bootloader saw
        QTest::addColumn<bool>("closing");    // the package ends its image

        QTest::newRow("v1 gets block 2") << 1 << QList<int>{7, 2} << 0 << 0 << 9 << true;
        // Every frame taken but the image never closed: stuck in its bootloader.
        QTest::newRow("no closing frame") << 1 << QList<int>{2} << 0 << 0 << 8 << false;
        QTest::newRow("no block for mcu 7") << 2 << QList<int>{2} << 0 << 2 << 0 << false;
        QTest::newRow("block for mcu 7 without frames") << 2 << QList<int>{2, -7} << 0 << 2 << 0 << false;
        QTest::newRow("nine crc errors") << 1 << QList<int>{2} << (CrcErrors | 9 << 8) << 0 << 18 << true;
        QTest::newRow("ten crc errors") << 1 << QList<int>{2} << (CrcErrors | 10 << 8) << 5 << 10 << false;
        QTest::newRow("silence") << 1 << QList<int>{2} << int(Silence) << 3 << 1 << false;
        // Deaf to the first handshake bytes, as a bootloader still starting:
        // the handshake is begun again every 50 ms until it answers.
        QTest::newRow("bootloader up late") << 1 << QList<int>{2} << int(LateStart) << 0 << 9 << true;
        // A handshake answered with a wrong sum is begun again from its start.
        QTest::newRow("two bad handshake sums") << 2 << QList<int>{7} << (BadSums | 2 << 8) << 0 << 9 << true;
        QTest::newRow("dongle pulled out in frames") << 1 << QList<int>{2} << int(UsbFailure) << 1 << 2 << false;
        // A frame's answer perhaps lost on the line starts the upload over; a device deaf from then on ends it.
        QTest::newRow("deaf after a lost answer") << 1 << QList<int>{2} << int(Stall) << 3 << 2 << false;
        QTest::newRow("cancel") << 1 << QList<int>{2} << int(Cancel) << 6 << 1 << false;
    }

    void outcomes()
    {
        QFETCH(int, version);
        QFETCH(QList<int>, blocks);
        QFETCH(int, fault);
        QFETCH(int, status);
        QFETCH(bool, closing);
        const char *const messages[] = {
            "Update Complete!", "USB Error! Please try again!", "File Error! No matching data found!",
            "Timeout! Please try again!", "Unknown response! Please try again!", "CRC Error! Please try again!",
            "Update canceled!",
        };

        Update update;
        VirtualDongle *dongle = update.dongle.get();
        {
            auto guard = dongle->lock();
            RadioBootloader &boot = update.boot();
            boot.setHandshakeVersion(version);
            boot.setMcuId(version == 1 ? 2 : 7);
            boot.injectCrcErrors((fault & 0xFF) == CrcErrors ? fault >> 8 : 0);
            boot.corruptChecksums((fault & 0xFF) == BadSums ? fault >> 8 : 0);
            boot.setSilentToFrames(fault == Silence || fault == Cancel);
            boot.setSilent(fault == LateStart);
            boot.frameObserver = [&update, fault](int frame) {
                if (frame == 1 && fault == UsbFailure)
                    update.dongle->unplug();
                if (frame == 1 && fault == Stall) {
                    update.boot().setSilent(true);
                    update.boot().setSilentToFrames(true);
                    update.driver->refusals = 1;
                }
            };
        }

        // The polls of a radio kept silent are counted against the time they took.
        dongle->trace().setRecording(fault == Silence);
        QElapsedTimer clock;
        clock.start();
        QSignalSpy started(&update.configurator, &Configurator::FirmwareUpdatesofSystem);
        // Cancelled, it is an add-on's: either type stops the same way, and the command line stops a radio's.
        const int type = fault == Cancel ? Configurator::addon_update : Configurator::radio_update;
        update.configurator.firmwareUpdate(type, update.package(blocks, closing));
        QCOMPARE(started.count(), 1);
        if (fault == LateStart)
            QTimer::singleShot(200, [&update, dongle] {
                auto guard = dongle->lock();
                update.boot().setSilent(false);
            });
        if (fault == Cancel) {
            // Kept in place by silence: the first frame waits out its time-out.
            QVERIFY(QTest::qWaitFor([&] {
                auto guard = dongle->lock();
                return update.boot().framesReceived() >= 1;
            }, 10000));
            update.configurator.cancelUpdate(type, QString());
            QVERIFY(!update.configurator.serialThread.isRunning());
            QVERIFY(linkFree(*update.usbd));
        }
        // The outcome is cleared when an update starts and set when it has ended.
        QVERIFY(QTest::qWaitFor([&] { return update.configurator.updateOutcome() != Configurator::UpdateNone; }, 15000));

        QCOMPARE(update.configurator.serialThread.uploadStatus.load(), status);
        // Waiting for an answer, the upload rests between polls rather than keep a core busy.
        const int polls = update.countSince(0, 0x18);
        QVERIFY2(polls <= 2 * clock.elapsed() + 100, qPrintable(QStringLiteral("%1 polls in %2 ms").arg(polls).arg(clock.elapsed())));
        const bool stranded = status == 0 && !closing;
        QCOMPARE(update.configurator.isUpdaterstatusMessage(),
                 stranded ? QStringLiteral("The radio did not restart: it waits in its bootloader. Please run the update again!")
                          : QString::fromLatin1(messages[status]));
        QCOMPARE(update.configurator.isfileErrorstate(), status == 2);
        const char *const reasons[] = {"", "usb_error", "no_matching_data", "timeout", "unknown_response", "crc_error", ""};
        QCOMPARE(update.configurator.updateReason(),
                 stranded ? QStringLiteral("radio_in_bootloader") : QString::fromLatin1(reasons[status]));
        if (status == 0)
            QCOMPARE(update.configurator.isProgress(), 100);
        {
            auto guard = dongle->lock();
            QCOMPARE(dongle->radioInBootloader(), !(status == 0 && closing));
            // Version 2 with MCU 7 and version byte 0x10: S1 = 2 + 7, S2 = 2 S1 + 0x10, S3 = 2 S2 + 7 (mod 256).
            // A handshake restarted on a stalled machine leaves bytes in front. An add-on's image goes under
            // its own type byte, 0x03.
            const bool addon = type == Configurator::addon_update;
            const QByteArray handshake = QByteArray::fromHex(version == 2 ? "0209224b" : addon ? "034711" : "024711");
            if (fault != Stall)
                QCOMPARE(update.boot().handshakeBytes().right(handshake.size()), handshake);
            QTEST(update.boot().framesReceived(), "frames");
            if (status == 0)
                QCOMPARE(update.boot().image(), imageFor(version == 1 ? 2 : 7));
        }
        if (fault == UsbFailure)
            dongle->replug();
        QVERIFY(update.linkResumed());
    }

    // While the written radio is awaited: given up (it restarts, but does not
    // tell its capabilities), the update ends cancelled, not complete; with
    // the dongle pulled out, it ends as a USB error when the wait runs out; a
    // first readout broken off is tried again, and the update completes.
    void radioAwaited_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("reason");
        QTest::newRow("cancelled") << "r9,silent=9" << int(Configurator::UpdateCanceled) << QString();
        QTest::newRow("dongle pulled out") << "r9,silent=9" << int(Configurator::UpdateFailed) << "usb_error";
        QTest::newRow("first readout broken off") << "r9,miss=12:1" << int(Configurator::UpdateComplete) << QString();
    }

    void radioAwaited()
    {
        QFETCH(QString, profile);
        Update update(profile);
        // Timers at their own pace, the wait for the radio 30 s, where that wait is given up.
        const bool cancel = QByteArray(QTest::currentDataTag()) == "cancelled";
        Pacing::setTimerScale(cancel ? 1 : 100);
        const auto restore = qScopeGuard([] { Pacing::setTimerScale(100); });
        QSignalSpy ended(&update.configurator, &Configurator::updateFinished);
        update.configurator.firmwareUpdate(Configurator::radio_update, update.package({2}, true));
        QVERIFY(QTest::qWaitFor([&] {
            return update.configurator.isUpdaterstatusMessage() == QLatin1String("Waiting for the radio to restart...");
        }, 15000));
        if (cancel)
            update.configurator.cancelUpdate(Configurator::radio_update, QString());
        else if (profile.contains("silent"))
            update.dongle->unplug();
        QVERIFY(ended.count() > 0 || ended.wait(15000));
        QTEST(update.configurator.updateOutcome(), "outcome");
        QTEST(update.configurator.updateReason(), "reason");
    }

    // An upload that breaks off leaves the radio in its bootloader, where it
    // answers no readout; the next update from the same view brings it back.
    void interruptedUpdateIsRecoverable()
    {
        Update update;
        VirtualDongle *dongle = update.dongle.get();
        QVERIFY(update.connectAndRead());
        const QString before = update.configurator.istrxVersion();
        {
            auto guard = dongle->lock();
            // The radio loses its power halfway: at frame 4 of eight.
            update.boot().frameObserver = [dongle](int index) {
                if (index == 4)
                    dongle->setRadioConnected(false);
            };
        }
        const QString package = update.package({2}, true);
        const int reboots = update.dongle->radioUnit().reboots;
        QSignalSpy ended(&update.configurator, &Configurator::updateFinished);
        update.configurator.firmwareUpdate(Configurator::radio_update, package);
        // The note on the reboot gives way once the upload is under way.
        QCOMPARE(update.configurator.isUpdaterstatusMessage(), QString());
        QVERIFY(ended.count() > 0 || ended.wait(10000));
        QVERIFY(update.configurator.updateOutcome() != Configurator::UpdateComplete);
        QCOMPARE(update.configurator.istrxVersion(), QString()); // the view is built anew
        dongle->setRadioConnected(true);
        QVERIFY(dongle->radioInBootloader());
        QVERIFY(update.linkResumed());

        {
            auto guard = dongle->lock();
            update.boot().frameObserver = nullptr;
        }
        ended.clear();
        update.configurator.firmwareUpdate(Configurator::radio_update, package);
        QVERIFY(ended.wait(15000));
        QCOMPARE(update.configurator.updateOutcome(), int(Configurator::UpdateComplete));
        // Once by command before the first upload, once by the bootloader after
        // the second; the radio in its bootloader hears no command.
        QCOMPARE(update.dongle->radioUnit().reboots, reboots + 2);
        QVERIFY(update.linkResumed());
        // Complete means the radio answered with its new firmware, read back.
        const QStringList parts = before.split(QLatin1Char('.'));
        const QString written = QStringLiteral("%1.%2.%3").arg(parts[0], parts[1]).arg(parts[2].toInt() + 1);
        QCOMPARE(update.configurator.istrxVersion(), written);

        // An add-on's update: the radio is not restarted by command first, and its own firmware stays.
        // Until the radio answers again, the view shows nothing of it.
        QString whileAwaited = written;
        connect(&update.configurator.serialThread, &QThread::finished, &update.configurator,
                [&] { whileAwaited = update.configurator.istrxVersion(); });
        ended.clear();
        update.configurator.firmwareUpdate(Configurator::addon_update, package);
        QVERIFY(ended.wait(15000));
        QCOMPARE(whileAwaited, QString());
        QCOMPARE(update.configurator.istrxVersion(), written);
        QCOMPARE(update.dongle->radioUnit().reboots, reboots + 3);
    }
};

QTEST_MAIN(TestUpload)
#include "tst_upload.moc"
