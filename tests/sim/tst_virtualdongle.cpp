// The virtual dongle and radio at the byte level: what a host sees on the
// serial line, with a clock the test moves by hand.

#include "sim/simdriver.h"
#include "sim/simprofile.h"
#include "sim/virtualdongle.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Bench
{
    qint64 nowUs = 0;
    VirtualDongle dongle;

    explicit Bench(const QString &profileText = QString())
        : dongle(profileFrom(profileText), [this] { return nowUs; })
    {
        dongle.trace().setRecording(true);
    }

    static SimProfile profileFrom(const QString &text)
    {
        SimProfile profile;
        SimProfile::parse(text, &profile);
        return profile;
    }

    void advanceMs(qint64 ms) { nowUs += ms * 1000; }

    QByteArray request(quint8 code, int dataA = 0, int dataB = 0)
    {
        QByteArray frame(8, '\0');
        frame[1] = char(code);
        frame[2] = char(dataA & 0xFF);
        frame[3] = char((dataA >> 8) & 0xFF);
        frame[4] = char(dataB & 0xFF);
        frame[5] = char((dataB >> 7) & 0xFF);
        dongle.hostWrite(frame);
        advanceMs(1);
        return dongle.hostRead(1024);
    }

    // Writes a frame into the output slots and transmits it.
    void transmit(const QByteArray &frame)
    {
        for (int i = 0; i < frame.size(); ++i)
            request(0x01, quint8(frame.at(i)), i);
        request(0x03);
    }

    // The radio's next frame, as the host would fetch it.
    QByteArray fetchFrame()
    {
        request(0x05);
        if (request(0x16).at(2) == 0)
            return QByteArray();
        const int length = quint8(request(0x02, 0, 2).at(2));
        QByteArray frame;
        for (int first = 0; first < length + 2; first += 7)
            frame += request(0x1E, 0, first).mid(1, 7);
        return frame.left(length + 2);
    }

    QByteArray boot(const QByteArray &bytes)
    {
        dongle.hostWrite(bytes);
        advanceMs(1);
        return dongle.hostRead(1024);
    }
};

QByteArray p1Frame(quint8 code, const QByteArray &data = QByteArray())
{
    QByteArray frame = QByteArray::fromHex("cc01007a3c") + char(code) + data;
    frame[2] = char(frame.size());
    quint16 sum = 0;
    for (char c : frame)
        sum = quint16(sum + quint8(c));
    return frame + char(sum >> 8) + char(sum & 0xFF);
}

} // namespace

class TestVirtualDongle : public QObject
{
    Q_OBJECT

private slots:
    void badProfiles_data();
    void badProfiles();
    void radioSeenOnlyWhileDmxRuns();
    void commandFrames_data();
    void commandFrames();
    void bootloader();
    void interruptedRequestIsDropped();
    void unplugMakesHandlesStale();
    void traceFile();
};

void TestVirtualDongle::badProfiles_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("complaint");

    QTest::newRow("unknown name") << "r12" << "unknown simulator profile";
    QTest::newRow("short version") << "r9,dongle=3.2" << "dongle=3.2";
    QTest::newRow("version too big") << "dongle=256.0.0" << "dongle=256.0.0";
    QTest::newRow("radio maybe") << "radio=maybe" << "radio=maybe";
    QTest::newRow("unknown key") << "r9,colour=red" << "colour";
    QTest::newRow("name not first") << "dongle=3.2.1,r9" << "not a setting";
    QTest::newRow("empty item") << "r9,,radio=off" << "empty item";
    QTest::newRow("trace without file") << "trace=" << "trace";
}

void TestVirtualDongle::badProfiles()
{
    QFETCH(QString, text);
    QFETCH(QString, complaint);

    SimProfile profile;
    profile.name = QStringLiteral("untouched");
    QString error;
    QVERIFY(!SimProfile::parse(text, &profile, &error));
    QVERIFY2(error.contains(complaint), qPrintable(error));
    QCOMPARE(profile.name, QStringLiteral("untouched"));
}

void TestVirtualDongle::radioSeenOnlyWhileDmxRuns()
{
    Bench bench;
    const auto radio = [&bench] { return int(bench.request(0x13).at(1)); };
    QCOMPARE(radio(), 0);
    bench.request(0x14);
    QCOMPARE(radio(), 1);
    bench.request(0x11);
    QCOMPARE(radio(), 0);
    bench.request(0x14);
    bench.dongle.setRadioConnected(false);
    QCOMPARE(radio(), 0);
    bench.dongle.setRadioConnected(true);
    QCOMPARE(radio(), 1);
    bench.request(0x19);
    QCOMPARE(radio(), 0);

    Bench noRadio(QStringLiteral("radio=off"));
    noRadio.request(0x14);
    QCOMPARE(int(noRadio.request(0x13).at(1)), 0);
    QVERIFY(noRadio.fetchFrame().isEmpty());
}

void TestVirtualDongle::commandFrames_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray status; // empty: the status frame came instead of a reply
    QByteArray badCheck = p1Frame(10);
    badCheck[7] = char(badCheck.at(7) ^ 1);
    QByteArray otherMaker = p1Frame(10);
    otherMaker[3] = 0x7B;

    // Code 50 means nothing to the radio's firmware: the bare echo.
    QTest::newRow("P1 command") << "p1" << p1Frame(50) << p1Frame(50);
    QTest::newRow("P1 command with data") << "r9" << p1Frame(13, "abc") << p1Frame(13);
    QTest::newRow("bad check value") << "p1" << badCheck << status;
    QTest::newRow("other manufacturer") << "p1" << otherMaker << status;
    QTest::newRow("P0 frame to a P1 radio") << "p1" << QByteArray::fromHex("cc01047a3c0a") << status;
    // A legacy radio knows only its own two commands.
    QTest::newRow("P0 code a legacy radio does not know") << "legacy" << QByteArray::fromHex("cc01047a3c32") << status;
    QTest::newRow("length past the buffer") << "legacy" << QByteArray::fromHex("cc01ff7a3c04") << status;
}

void TestVirtualDongle::commandFrames()
{
    QFETCH(QString, profile);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, reply);

    Bench bench(profile);
    bench.request(0x14);
    bench.transmit(sent);
    const QByteArray frame = bench.fetchFrame();
    if (reply.isEmpty())
        QCOMPARE(int(quint8(frame.at(5))), 0);
    else
        QCOMPARE(frame, reply);
    // A reply is sent once; the status frame follows.
    QCOMPARE(int(quint8(bench.fetchFrame().at(5))), 0);
}

void TestVirtualDongle::bootloader()
{
    Bench bench(QStringLiteral("dongle=boot"));
    QCOMPARE(bench.dongle.mode(), VirtualDongle::Mode::Bootloader);
    QCOMPARE(bench.boot(QByteArray::fromHex("3120")), QByteArray("\x14" "AVR STK" "\x10"));
    QCOMPARE(bench.boot(QByteArray::fromHex("3020")), QByteArray::fromHex("1410"));
    QCOMPARE(bench.boot(QByteArray::fromHex("3021")), QByteArray::fromHex("15"));
    QCOMPARE(bench.boot(QByteArray::fromHex("7520")), QByteArray::fromHex("141e950810"));

    // A page written and read back at word address 0x40 (byte 0x80).
    QCOMPARE(bench.boot(QByteArray::fromHex("55400020")), QByteArray::fromHex("1410"));
    QCOMPARE(bench.boot(QByteArray::fromHex("64000446deadbeef20")), QByteArray::fromHex("1410"));
    QCOMPARE(bench.boot(QByteArray::fromHex("7400044620")), QByteArray::fromHex("14deadbeef10"));
    QCOMPARE(bench.dongle.bootloader().flash().mid(0x80, 4), QByteArray::fromHex("deadbeef"));

    // Leaving programming mode starts the application.
    QCOMPARE(bench.boot(QByteArray::fromHex("5120")), QByteArray::fromHex("1410"));
    QCOMPARE(bench.dongle.mode(), VirtualDongle::Mode::Application);
    QCOMPARE(bench.request(0x10).left(3), QByteArray::fromHex("100302"));
}

void TestVirtualDongle::interruptedRequestIsDropped()
{
    Bench bench;
    // The bootloader probe means nothing to the application ...
    QCOMPARE(bench.boot(QByteArray::fromHex("3120")), QByteArray());
    // ... and after a pause its two bytes do not spoil the next request.
    bench.advanceMs(100);
    QCOMPARE(bench.request(0x10).left(2), QByteArray::fromHex("1003"));

    // A request split over two writes close together is one request.
    bench.dongle.hostWrite(QByteArray::fromHex("00100000"));
    bench.advanceMs(2);
    bench.dongle.hostWrite(QByteArray::fromHex("00000000"));
    QCOMPARE(bench.dongle.hostRead(64).left(2), QByteArray::fromHex("1003"));
}

void TestVirtualDongle::unplugMakesHandlesStale()
{
    auto dongle = std::make_shared<VirtualDongle>();
    SimDriver driver(dongle);
    DongleDriver::Handle handle = DongleDriver::noHandle;
    QCOMPARE(driver.openByDescription("Veltra Dongle v2", &handle), int(DongleDriver::DeviceNotFound));
    QCOMPARE(driver.openByDescription("Veltra Dongle v3", &handle), 0);
    unsigned rx = 0;
    QCOMPARE(driver.queueStatus(handle, &rx, nullptr, nullptr), 0);

    dongle->unplug();
    QVERIFY(driver.queueStatus(handle, &rx, nullptr, nullptr) != 0);
    unsigned written = 0;
    QVERIFY(driver.write(handle, "12345678", 8, &written) != 0);
    DongleDriver::Handle other = DongleDriver::noHandle;
    driver.close(handle);
    QCOMPARE(driver.openByDescription("Veltra Dongle v3", &other), int(DongleDriver::DeviceNotFound));

    dongle->replug();
    QVERIFY(driver.queueStatus(handle, &rx, nullptr, nullptr) != 0);
    QCOMPARE(driver.openByDescription("Veltra Dongle v3", &other), 0);
    QCOMPARE(driver.queueStatus(other, &rx, nullptr, nullptr), 0);
}

void TestVirtualDongle::traceFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trace.txt"));
    {
        Bench bench(QStringLiteral("trace=") + path);
        bench.request(0x10);
        bench.dongle.unplug();
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QRegularExpression request(QStringLiteral("^ +\\d+\\.\\d{3} >  00 10 00 00 00 00 00 00$"));
    const QRegularExpression reply(QStringLiteral("^ +\\d+\\.\\d{3} <  10 03 02 00 07 00 00 00$"));
    QCOMPARE(lines.filter(request).size(), 1);
    QCOMPARE(lines.filter(reply).size(), 1);
    QVERIFY(lines.last().endsWith(QLatin1String("# dongle unplugged")));
}

QTEST_GUILESS_MAIN(TestVirtualDongle)
#include "tst_virtualdongle.moc"
