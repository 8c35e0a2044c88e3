// The radio's replies decoded and its settings frame built, by tables: no
// session, no simulator.
#include "config/radioframes.h"

#include <QtTest>

namespace {

// A reply frame of `len` with every slot holding its own index, so a decoded
// field tells which slot it came from.
QByteArray frameOfLength(int len)
{
    QByteArray frame(RadioFrames::frameSlots, '\0');
    for (int i = 0; i < frame.size(); ++i)
        frame[i] = char(i);
    frame[RadioFrames::lengthSlot] = char(len);
    return frame;
}

const quint8 *bytes(const QByteArray &frame)
{
    return reinterpret_cast<const quint8 *>(frame.constData());
}

RadioFrames::SettingsPayload payload(const char *hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    RadioFrames::SettingsPayload p {};
    std::copy(raw.begin(), raw.end(), p.begin());
    return p;
}

} // namespace

Q_DECLARE_METATYPE(RadioFrames::SettingsPayload)
Q_DECLARE_METATYPE(RadioFrames::SettingsEdits)

class TestRadioFrames : public QObject
{
    Q_OBJECT

private slots:
    void replyEndsAtItsLength_data()
    {
        QTest::addColumn<int>("len");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("value");
        // With a check value the data ends before slot LEN, without it after LEN + 1.
        QTest::newRow("checked, last data slot") << 19 << 1 << 18 << 18;
        QTest::newRow("checked, check value slot") << 19 << 1 << 19 << 0;
        QTest::newRow("legacy, last data slot") << 22 << 0 << 23 << 23;
        QTest::newRow("legacy, past the frame") << 22 << 0 << 24 << 0;
        QTest::newRow("length past the buffer") << 250 << 2 << 133 << 133;
        QTest::newRow("slot past the buffer") << 250 << 2 << 134 << 0;
        QTest::newRow("negative slot") << 40 << 2 << -1 << 0;
    }

    void replyEndsAtItsLength()
    {
        QFETCH(int, len);
        QFETCH(int, level);
        QFETCH(int, slot);
        QFETCH(int, value);
        QCOMPARE(int(RadioFrames::replyByte(bytes(frameOfLength(len)), slot, level)), value);
    }

    void capabilitiesByLength_data()
    {
        QTest::addColumn<int>("len");
        QTest::addColumn<int>("repeater");
        QTest::addColumn<int>("r8Compatibility");
        QTest::addColumn<int>("band58Switch");
        QTest::newRow("13 bytes") << 19 << 18 << 0 << 0;
        QTest::newRow("14 bytes: the check value is no capability") << 20 << 18 << 0 << 1;
        QTest::newRow("15 bytes") << 21 << 18 << 20 << 1;
    }

    void capabilitiesByLength()
    {
        QFETCH(int, len);
        QFETCH(int, repeater);
        QFETCH(int, r8Compatibility);
        QFETCH(int, band58Switch);
        const RadioCapabilities caps = RadioFrames::decodeCapabilities(bytes(frameOfLength(len)), 2);
        QCOMPARE(caps.repeater, repeater);
        QCOMPARE(caps.r8Compatibility, r8Compatibility);
        QCOMPARE(caps.band58Switch, band58Switch);
    }

    void settingsFrame_data()
    {
        using Edits = RadioFrames::SettingsEdits;
        QTest::addColumn<RadioFrames::SettingsPayload>("read");
        QTest::addColumn<Edits>("edits");
        QTest::addColumn<int>("level");
        QTest::addColumn<RadioFrames::SettingsPayload>("sent");

        const auto read = payload("01aa09015a bb ff 00 03 cccccccc01");
        QTest::newRow("mode") << read << Edits {41, -1, -1, -1, -1} << 2
                              << payload("01aa29015a bb ff 00 03 cccccccc01");
        QTest::newRow("direction") << read << Edits {-1, 2, -1, -1, -1} << 2
                                   << payload("02aa09015a bb ff 00 03 cccccccc01");
        QTest::newRow("level 1: pin 10 keeps the direction byte")
            << read << Edits {-1, RadioFrames::pin10Direction, -1, -1, -1} << 1
            << payload("01aa09015a bb ff 01 03 cccccccc01");
        QTest::newRow("level 1: a direction releases pin 10")
            << payload("01aa09015a bb ff 01 03 cccccccc01") << Edits {-1, 0, -1, -1, -1} << 1
            << payload("00aa09015a bb ff 00 03 cccccccc01");
        QTest::newRow("adaptive, RDM") << read << Edits {-1, -1, 0, 1, -1} << 2
                                       << payload("01aa09005a bb 01 00 03 cccccccc01");
        QTest::newRow("switch reported with 2 added") << read << Edits {-1, -1, -1, -1, 0} << 2
                                                      << payload("01aa09015a bb ff 00 02 cccccccc01");
        QTest::newRow("switch reported plain") << payload("01aa09015a bb ff 00 01 cccccccc01")
                                               << Edits {-1, -1, -1, -1, 0} << 2
                                               << payload("01aa09015a bb ff 00 00 cccccccc01");
    }

    void settingsFrame()
    {
        QFETCH(RadioFrames::SettingsPayload, read);
        QFETCH(RadioFrames::SettingsEdits, edits);
        QFETCH(int, level);
        QFETCH(RadioFrames::SettingsPayload, sent);
        QCOMPARE(RadioFrames::settingsFrame(read, edits, level), sent);
    }

    // Lists whose shape the readout cannot assume: the entry in force is
    // found by its code wherever it sits.
    void modeListsPairByCode_data()
    {
        QTest::addColumn<int>("r8l");
        QTest::addColumn<int>("r8h");
        QTest::addColumn<int>("r8Compatibility");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("entry");
        QTest::newRow("R9 with R8 compatibility, code 8") << 1 << 4 << 1 << 2 << 8 << "R9 2.4GHz";
        QTest::newRow("R9 with R8 compatibility, code 5") << 1 << 4 << 1 << 2 << 5 << "R8X 5.8GHz";
        QTest::newRow("r8l 0, code 9") << 0 << 1 << 0 << 2 << 9 << "R9 5.8GHz";
        QTest::newRow("r8l 0, code 41") << 0 << 1 << 0 << 2 << 41 << "R9 5.2GHz";
        QTest::newRow("2 MBit, code 9") << 2 << 1 << 0 << 2 << 9 << "5GHz 2MBit ";
        QTest::newRow("level 1, code 1") << 1 << 1 << 1 << 1 << 1 << "R8 Compatibility Mode";
        QTest::newRow("level 1 knows three modes") << 1 << 1 << 0 << 1 << 0 << "R7 Compatibility Mode";
    }

    void modeListsPairByCode()
    {
        QFETCH(int, r8l);
        QFETCH(int, r8h);
        QFETCH(int, r8Compatibility);
        QFETCH(int, level);
        QFETCH(int, code);
        QFETCH(QString, entry);
        RadioCapabilities caps;
        caps.band24 = 1;
        caps.r8l = r8l;
        caps.r8h = r8h;
        caps.r8Compatibility = r8Compatibility;
        caps.band5Count = r8Compatibility ? r8h >> 1 : r8h * 2;
        const RadioChoices modes = RadioFrames::radioModes(caps, 16, level);
        QCOMPARE(modes.value(RadioFrames::indexOfCode(modes, code)).text, entry);
        if (level == 1)
            QCOMPARE(modes.size(), 3);
    }

    // An R9-class radio that repeats offers the three directions by the
    // codes the radio knows them by.
    void repeaterDirections()
    {
        RadioCapabilities caps;
        caps.band24 = 1;
        caps.band5Count = 2;
        caps.repeater = 1;
        const RadioChoices list = RadioFrames::directions(caps, RadioSettings(), 16, 2);
        QCOMPARE(list, (RadioChoices {{"Transmitter", 0}, {"Receiver", 1}, {"Repeater", 2}}));
    }
};

QTEST_APPLESS_MAIN(TestRadioFrames)
#include "tst_radioframes.moc"
