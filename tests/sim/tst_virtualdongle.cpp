// The virtual dongle and radio at the byte level: what a host sees on the
// serial line, with a clock the test moves by hand.

#include "sim/simdriver.h"
#include "sim/simprofile.h"
#include "sim/virtualdongle.h"

#include <QtTest>

namespace {

struct Bench
{
    qint64 nowUs = 0;
    VirtualDongle dongle;

    explicit Bench(const QString &profileText = QString())
        : dongle(profileFrom(profileText), [this] { return nowUs; })
    {
    }

    static SimProfile profileFrom(const QString &text)
    {
        SimProfile profile;
        SimProfile::parse(text, &profile);
        return profile;
    }

    // What has come back a millisecond after the host wrote these bytes.
    QByteArray send(const QByteArray &bytes)
    {
        dongle.hostWrite(bytes);
        nowUs += 1000;
        return dongle.hostRead(1024);
    }

    QByteArray request(quint8 code) { return send(QByteArray(1, '\0') + char(code) + QByteArray(6, '\0')); }
};

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
    void unplugMakesHandlesStale();
};

void TestVirtualDongle::badProfiles_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("complaint");

    QTest::newRow("version too big") << "dongle=256.0.0" << "dongle=256.0.0";
    QTest::newRow("unknown key") << "r9,colour=red" << "colour";
    QTest::newRow("name not first") << "dongle=3.2.1,r9" << "not a setting";
}

void TestVirtualDongle::badProfiles()
{
    QFETCH(QString, text);
    QFETCH(QString, complaint);

    SimProfile profile;
    QString error;
    QVERIFY(!SimProfile::parse(text, &profile, &error));
    QVERIFY2(error.contains(complaint), qPrintable(error));
}

void TestVirtualDongle::radioSeenOnlyWhileDmxRuns()
{
    Bench bench;
    const auto seen = [&bench] { return int(bench.request(0x13).at(1)); };
    QCOMPARE(seen(), 0);
    bench.request(0x14);
    QCOMPARE(seen(), 1);
    bench.dongle.setRadioConnected(false);
    QCOMPARE(seen(), 0);
    bench.dongle.setRadioConnected(true);
    QCOMPARE(seen(), 1);
    bench.request(0x11);
    QCOMPARE(seen(), 0);
    // Nor in updater mode, where the radio's bootloader has the line.
    bench.request(0x14);
    bench.request(0x19);
    QCOMPARE(seen(), 0);
}

void TestVirtualDongle::commandFrames_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray refused; // empty: the status frame comes instead of a reply
    // Code 50 means nothing to the radio's firmware: the bare echo. The
    // refused frames are wrong in one place each.
    const QByteArray command = QByteArray::fromHex("cc01067a3c3201bb");
    QTest::newRow("P1 command") << "p1" << command << command;
    QTest::newRow("bad check value") << "p1" << QByteArray::fromHex("cc01067a3c0a0192") << refused;
    QTest::newRow("other manufacturer") << "p1" << QByteArray::fromHex("cc01067b3c0a0194") << refused;
    QTest::newRow("length past the buffer") << "legacy" << QByteArray::fromHex("cc01ff7a3c04") << refused;
}

void TestVirtualDongle::commandFrames()
{
    QFETCH(QString, profile);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, reply);

    // The radio takes the dongle's whole transmitted buffer.
    Bench bench(profile);
    VirtualRadio &radio = bench.dongle.radio();
    QCOMPARE(radio.receiveFrame(sent.leftJustified(VirtualDongle::bufferSlots, '\0')), !reply.isEmpty());
    if (!reply.isEmpty())
        QCOMPARE(radio.transmitFrame(), reply);
    // A reply is sent once; the status frame follows.
    QCOMPARE(int(quint8(radio.transmitFrame().at(5))), 0);
}

void TestVirtualDongle::unplugMakesHandlesStale()
{
    // Put back, the dongle is a new device: a handle from before stays dead
    // although the dongle answers again.
    auto dongle = std::make_shared<VirtualDongle>();
    SimDriver driver(dongle);
    DongleDriver::Handle handle = DongleDriver::noHandle;
    DongleDriver::Handle other = DongleDriver::noHandle;
    QCOMPARE(driver.openByDescription("Veltra Dongle v3", &handle), 0);
    dongle->unplug();
    QCOMPARE(driver.openByDescription("Veltra Dongle v3", &other), int(DongleDriver::DeviceNotFound));

    dongle->replug();
    unsigned rx = 0;
    QVERIFY(driver.queueStatus(handle, &rx, nullptr, nullptr) != 0);
    QCOMPARE(driver.close(handle), 0);
    QCOMPARE(driver.openByDescription("Veltra Dongle v3", &other), 0);
    QCOMPARE(driver.queueStatus(other, &rx, nullptr, nullptr), 0);
}

QTEST_GUILESS_MAIN(TestVirtualDongle)
#include "tst_virtualdongle.moc"
