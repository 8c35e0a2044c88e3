// Radio and add-on firmware uploads end to end: the Configurator loads a
// generated package, the upload thread shakes hands with the virtual radio's
// bootloader through the virtual dongle and sends the frames; the outcome
// reaches the operator and the dongle link comes back.
#include "app/wiring.h"
#include "config/configurator.h"
#include "sim/radiobootloader.h"
#include "usb/pacing.h"
#include "usb/simrig.h"
#include "vfpwriter.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

namespace {

constexpr int imageBytes = 2000;
constexpr int payloadBytes = 256;
constexpr int framesPerImage = (imageBytes + payloadBytes - 1) / payloadBytes;

QByteArray imageFor(int mcuId)
{
    return VfpWriter::testImage(imageBytes, quint32(mcuId));
}

// Every poll of the serial channel is a dongle request with its log lines;
// a device kept silent for two seconds would pile up millions of them.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("Usbd: usbSimpleRequest"))
        || message.startsWith(QLatin1String("Usbd: NoReply"))
        || message.startsWith(QLatin1String("Usbd: SerialDataIn"))
        || message.startsWith(QLatin1String("Usbd: usbSerialOutRequest")))
        return;
    TestLog::handler(type, context, message);
}

struct Update
{
    explicit Update(const QString &profile = QStringLiteral("r9"))
        : rig(profile)
        , configurator(rig.usbd.get())
    {
        rig.dongle->trace().setRecording(false);
        connectSession(rig.usbd.get(), &configurator, nullptr);
    }

    // The bootloader is shared with the upload thread: reach it through this.
    template<typename F>
    auto boot(F f)
    {
        auto guard = rig.dongle->lock();
        return f(rig.dongle->radioBootloader());
    }

    // What the bootloader saw, copied out under the lock.
    struct Seen
    {
        QByteArray handshake;
        QByteArray answers;
        int handshakes;
        int frames;
        int images;
        QByteArray image;
    };
    Seen seen()
    {
        return boot([](RadioBootloader &b) {
            return Seen {b.handshakeBytes(), b.handshakeAnswers(), b.handshakesCompleted(),
                         b.framesReceived(), b.imagesCompleted(), b.image()};
        });
    }

    QString package(const QList<int> &mcuIds, bool closingFrame = false)
    {
        QList<VfpWriter::Block> blocks;
        for (int id : mcuIds) {
            blocks << VfpWriter::imageBlock(id, imageFor(id), payloadBytes);
            if (closingFrame)
                blocks.last().data += VfpWriter::frame(QByteArray());
        }
        const QString path = dir.filePath(QStringLiteral("radio fw.vfp"));
        return VfpWriter::writeFile(path, blocks) ? path : QString();
    }

    // The run is over once its message is in: it is cleared at the start.
    bool finished()
    {
        return QTest::qWaitFor([this] {
            return !configurator.serialThread.isRunning()
                   && !configurator.isUpdaterstatusMessage().isEmpty();
        }, 15000);
    }

    bool lockIsFree()
    {
        if (!rig.usbd->usbLock->tryLock())
            return false;
        rig.usbd->usbLock->unlock();
        return true;
    }

    // Found again, out of updater mode, nobody holding the lock.
    bool linkResumed()
    {
        return QTest::qWaitFor([this] {
            return rig.usbd->usbDongleType == 3 && !rig.dongle->updaterMode() && lockIsFree();
        }, 5000);
    }

    bool connectAndRead()
    {
        rig.usbd->liveDataEnabled = 0;
        configurator.on_connect_clicked();
        return QTest::qWaitFor([this] { return rig.usbd->liveDataEnabled == 1; }, 8000);
    }

    QTemporaryDir dir;
    SimRig rig;
    Configurator configurator;
};

enum Fault { NoFault, CrcErrors, SilentFrames, WrongAnswer, UnplugInFrames, UnplugBefore, BadChecksum };

} // namespace

class TestUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Pacing::setInstant(true);
        qInstallMessageHandler(quietHandler);
    }

    void outcomes_data();
    void outcomes();
    void cancel_data();
    void cancel();
    void updateTakesEffect();
    void packageRefused_data();
    void packageRefused();
    void progressInWholePercent();
    void scenePaths_data();
    void scenePaths();
};

void TestUpload::outcomes_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("deviceMcu");
    QTest::addColumn<QList<int>>("blocks");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("faultCount");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("handshake"); // host bytes, last handshake
    QTest::addColumn<QByteArray>("answers");   // the bootloader's replies to them
    QTest::addColumn<int>("uploadedMcu");      // whose image arrived, -1 none
    QTest::addColumn<int>("frames");           // frames the bootloader saw, -1 any

    const QString complete = QStringLiteral("Update Complete!");
    const QByteArray v1 = QByteArray::fromHex("024711");
    const QByteArray v1Acks = QByteArray::fromHex("060606");
    // MCU 7: S1 = 2 + 7, S2 = 2 * S1 + 0x10, S3 = 2 * S2 + 7, last reply 2 * S3.
    const QByteArray v2Mcu7 = QByteArray::fromHex("0209224b");
    const QByteArray v2Mcu7Replies = QByteArray::fromHex("07100796");

    QTest::newRow("v1 radio gets block 2") << 1 << 2 << QList<int>{7, 2} << 0 << int(NoFault) << 0
                                           << 0 << complete << v1 << v1Acks << 2 << framesPerImage;
    QTest::newRow("v1 add-on") << 1 << 2 << QList<int>{2} << 1 << int(NoFault) << 0 << 0 << complete
                               << QByteArray::fromHex("034711") << v1Acks << 2 << framesPerImage;
    QTest::newRow("v2 mcu 7 selects block 7") << 2 << 7 << QList<int>{2, 7} << 0 << int(NoFault) << 0
                                              << 0 << complete << v2Mcu7 << v2Mcu7Replies << 7 << framesPerImage;
    QTest::newRow("v2 worked example") << 2 << 5 << QList<int>{5} << 0 << int(NoFault) << 0 << 0 << complete
                                       << QByteArray::fromHex("02092249") << QByteArray::fromHex("07100592")
                                       << 5 << framesPerImage;
    QTest::newRow("v2 wrong checksum restarts") << 2 << 7 << QList<int>{7} << 0 << int(BadChecksum) << 1
                                                << 0 << complete << v2Mcu7 << v2Mcu7Replies << 7 << framesPerImage;
    QTest::newRow("no block for the mcu") << 2 << 7 << QList<int>{2} << 0 << int(NoFault) << 0 << 2
                                          << QStringLiteral("File Error! No matching data found!")
                                          << v2Mcu7 << v2Mcu7Replies << -1 << 0;
    QTest::newRow("nine crc errors, then taken") << 1 << 2 << QList<int>{2} << 0 << int(CrcErrors) << 9
                                                 << 0 << complete << v1 << v1Acks << 2 << framesPerImage + 9;
    QTest::newRow("ten crc errors") << 1 << 2 << QList<int>{2} << 0 << int(CrcErrors) << 10 << 5
                                    << QStringLiteral("CRC Error! Please try again!") << v1 << v1Acks << -1 << 10;
    QTest::newRow("silence") << 1 << 2 << QList<int>{2} << 0 << int(SilentFrames) << 0 << 3
                             << QStringLiteral("Timeout! Please try again!") << v1 << v1Acks << -1 << 1;
    QTest::newRow("wrong byte") << 1 << 2 << QList<int>{2} << 0 << int(WrongAnswer) << 1 << 4
                                << QStringLiteral("Unknown response! Please try again!") << v1 << v1Acks << -1 << 1;
    QTest::newRow("usb fails in the frames") << 1 << 2 << QList<int>{2} << 0 << int(UnplugInFrames) << 1 << 4
                                             << QStringLiteral("Unknown response! Please try again!")
                                             << v1 << v1Acks << -1 << 2;
    QTest::newRow("usb fails in the handshake") << 1 << 2 << QList<int>{2} << 0 << int(UnplugBefore) << 0 << 1
                                                << QStringLiteral("USB Error! Please try again!")
                                                << QByteArray() << QByteArray() << -1 << 0;
}

void TestUpload::outcomes()
{
    QFETCH(int, version);
    QFETCH(int, deviceMcu);
    QFETCH(QList<int>, blocks);
    QFETCH(int, type);
    QFETCH(int, fault);
    QFETCH(int, faultCount);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QByteArray, handshake);
    QFETCH(QByteArray, answers);
    QFETCH(int, uploadedMcu);
    QFETCH(int, frames);

    Update update;
    VirtualDongle *dongle = update.rig.dongle.get();
    update.boot([&](RadioBootloader &boot) {
        boot.setHandshakeVersion(version);
        boot.setMcuId(quint8(deviceMcu));
        switch (Fault(fault)) {
        case CrcErrors: boot.injectCrcErrors(faultCount); break;
        case SilentFrames: boot.setSilentToFrames(true); break;
        case WrongAnswer: boot.answerFramesWith(0x55, faultCount); break;
        case BadChecksum: boot.corruptChecksums(faultCount); break;
        case UnplugInFrames:
            boot.frameObserver = [dongle](int frame) {
                if (frame == 1)
                    dongle->unplug();
            };
            break;
        default: break;
        }
    });
    const QString path = update.package(blocks);
    if (fault == UnplugBefore)
        dongle->unplug();

    QSignalSpy started(&update.configurator, &Configurator::FirmwareUpdatesofSystem);
    update.configurator.firmwareUpdate(type, path);
    QCOMPARE(started.count(), 1);
    QVERIFY(update.finished());

    QCOMPARE(update.configurator.serialThread.uploadStatus.load(), status);
    QCOMPARE(update.configurator.isUpdaterstatusMessage(), message);
    QCOMPARE(update.configurator.isfileErrorstate(), status == 2);
    QVERIFY(update.lockIsFree());
    const Update::Seen seen = update.seen();
    // A handshake restarted by a stalled machine leaves its bytes in front;
    // the last handshake is the one that counts.
    QCOMPARE(seen.handshake.right(handshake.size()), handshake);
    QCOMPARE(seen.answers.right(answers.size()), answers);
    if (fault == BadChecksum)
        QVERIFY(seen.handshakes >= 2);
    QCOMPARE(seen.frames, frames);
    if (uploadedMcu >= 0)
        QCOMPARE(seen.image, imageFor(uploadedMcu));
    if (status == 0)
        QCOMPARE(update.configurator.isProgress(), 100);

    if (fault == UnplugInFrames || fault == UnplugBefore)
        dongle->replug();
    QVERIFY(update.linkResumed());
}

void TestUpload::cancel_data()
{
    QTest::addColumn<bool>("inFrames");
    QTest::newRow("during the handshake") << false;
    QTest::newRow("during the frames") << true;
}

void TestUpload::cancel()
{
    QFETCH(bool, inFrames);
    Update update;
    update.boot([&](RadioBootloader &boot) {
        if (inFrames)
            boot.setSilentToFrames(true);
        else
            boot.setSilent(true);
    });
    update.configurator.firmwareUpdate(Configurator::radio_update, update.package({2}));
    // A silent device keeps the run in place until it is cancelled: in the
    // handshake it starts over every 50 ms, in the frames it waits 2 s.
    QVERIFY(QTest::qWaitFor([&] {
        return update.boot([&](RadioBootloader &boot) {
            return inFrames ? boot.framesReceived() >= 1 : boot.handshakeBytes().size() >= 2;
        });
    }, 10000));

    update.configurator.cancelUpdate(Configurator::radio_update, QString());
    QVERIFY(!update.configurator.serialThread.isRunning());
    QVERIFY(update.lockIsFree());
    QVERIFY(update.finished());
    QCOMPARE(update.configurator.serialThread.uploadStatus.load(), 6);
    QCOMPARE(update.configurator.isUpdaterstatusMessage(), QStringLiteral("Update canceled!"));
    QVERIFY(update.linkResumed());
}

void TestUpload::updateTakesEffect()
{
    Update update;
    QVERIFY(update.connectAndRead());
    QVERIFY(update.configurator.radioCapabilities.autoReboot != 0);
    const QString before = update.configurator.istrxVersion();
    const int rebootsBefore = update.rig.dongle->radioUnit().reboots;
    update.boot([](RadioBootloader &boot) {
        boot.setHandshakeVersion(2);
        boot.setMcuId(7);
    });

    // As the file dialog hands it over: a URL, the space escaped.
    const QString url = QUrl::fromLocalFile(update.package({2, 7}, true)).toString(QUrl::FullyEncoded);
    QVERIFY(url.contains(QLatin1String("%20")));
    QSignalSpy detached(update.rig.usbd.get(), &Usbd::dmxDetached);
    update.configurator.firmwareUpdate(Configurator::radio_update, url);
    QVERIFY(update.finished());
    QCOMPARE(update.configurator.isUpdaterstatusMessage(), QStringLiteral("Update Complete!"));
    // Restarted by command before the upload, and by the bootloader after it.
    QCOMPARE(update.rig.dongle->radioUnit().reboots, rebootsBefore + 2);
    const Update::Seen seen = update.seen();
    QCOMPARE(seen.images, 1);
    QCOMPARE(seen.image, imageFor(7));

    QVERIFY(detached.count() > 0 || detached.wait(8000));
    QVERIFY(update.connectAndRead());
    const QStringList parts = before.split(QLatin1Char('.'));
    QCOMPARE(parts.size(), 3);
    QCOMPARE(update.configurator.istrxVersion(),
             QStringLiteral("%1.%2.%3").arg(parts[0], parts[1]).arg(parts[2].toInt() + 1));
}

void TestUpload::packageRefused_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QByteArray() << QStringLiteral("File not found!");
    QTest::newRow("no header") << QByteArray("MAJOR=1\nDATA=0002\n") << QStringLiteral("File data error!");
    QTest::newRow("bad crc") << VfpWriter::text({VfpWriter::Block {2, 1, 0, 0, VfpWriter::frames("abc", 3, {0}), true, {}}})
                             << QStringLiteral("File data error!");
}

void TestUpload::packageRefused()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    Update update;
    const QString path = update.dir.filePath(QStringLiteral("fw.vfp"));
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    update.configurator.firmwareUpdate(Configurator::addon_update, path);
    QCOMPARE(update.configurator.isUpdaterstatusMessage(), message);
    QVERIFY(!update.configurator.serialThread.isRunning());
    QVERIFY(!update.rig.dongle->updaterMode());
}

void TestUpload::progressInWholePercent()
{
    Usbd usbd(nullptr);
    Configurator configurator(&usbd);
    QSignalSpy changed(&configurator, &Configurator::ProgressChanged);
    configurator.initUpdaterProgressBar(4000);
    configurator.setUpdaterProgressBar(1999);
    configurator.setUpdaterProgressBar(1999);
    QCOMPARE(configurator.isProgress(), 49);
    QCOMPARE(changed.count(), 1);
}

void TestUpload::scenePaths_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("path");
    QTest::newRow("unix url") << "file:///home/u/fw.vfp" << "/home/u/fw.vfp";
    QTest::newRow("windows url") << "file:///C:/fw/radio.vfp" << "C:/fw/radio.vfp";
    QTest::newRow("escaped url") << "file:///tmp/my%20fw%23.vfp" << "/tmp/my fw#.vfp";
    QTest::newRow("plain path") << "/opt/fw/radio.vfp" << "/opt/fw/radio.vfp";
}

void TestUpload::scenePaths()
{
    QFETCH(QString, given);
    QFETCH(QString, path);
    QCOMPARE(Configurator::updaterFilePath(given), path);
}

QTEST_MAIN(TestUpload)
#include "tst_upload.moc"
