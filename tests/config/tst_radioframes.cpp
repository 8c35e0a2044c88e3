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
        QTEST(int(RadioFrames::replyByte(bytes(frameOfLength(len)), slot, level)), "value");
    }

    void capabilitiesByLength_data()
    {
        QTest::addColumn<int>("len");
        // repeater, R8 compatibility, 5.8 GHz switch, 5 GHz band count; the
        // fields before them stand at their slots in every length
        QTest::addColumn<QList<int>>("decoded");
        QTest::newRow("13 bytes") << 19 << QList<int>{18, 0, 0, 18};
        QTest::newRow("14 bytes: the check value is no capability") << 20 << QList<int>{18, 0, 1, 18};
        QTest::newRow("15 bytes") << 21 << QList<int>{18, 20, 1, 4};
    }

    void capabilitiesByLength()
    {
        QFETCH(int, len);
        QFETCH(QList<int>, decoded);
        const RadioCapabilities caps = RadioFrames::decodeCapabilities(bytes(frameOfLength(len)), 2);
        QCOMPARE((QList<int>{caps.band24, caps.r8l, caps.r8h, caps.rdm, caps.hopTable, caps.adaptiveHopping, caps.radioId,
                             caps.label, caps.autoReboot, caps.addon, caps.repeater, caps.r8Compatibility,
                             caps.band58Switch, caps.band5Count}),
                 (QList<int>{6, 8, 9, 10, 11, 12, 13, 14, 15, 16} + decoded));
    }

    void settingsFrame_data()
    {
        using Edits = RadioFrames::SettingsEdits;
        QTest::addColumn<RadioFrames::SettingsPayload>("read");
        QTest::addColumn<Edits>("edits");
        QTest::addColumn<int>("level");
        QTest::addColumn<RadioFrames::SettingsPayload>("sent");

        const auto read = payload("01aa09015a bb ff 00 03 cccccccc01");
        QTest::newRow("mode") << read << Edits {41, -1, -1, -1, -1} << 2 << payload("01aa29015a bb ff 00 03 cccccccc01");
        QTest::newRow("direction") << read << Edits {-1, 2, -1, -1, -1} << 2 << payload("02aa09015a bb ff 00 03 cccccccc01");
        QTest::newRow("level 1: pin 10 keeps the direction byte")
            << read << Edits {-1, RadioFrames::pin10Direction, -1, -1, -1} << 1
            << payload("01aa09015a bb ff 01 03 cccccccc01");
        QTest::newRow("level 1: a direction releases pin 10")
            << payload("01aa09015a bb ff 01 03 cccccccc01") << Edits {-1, 0, -1, -1, -1} << 1
            << payload("00aa09015a bb ff 00 03 cccccccc01");
        QTest::newRow("adaptive, RDM") << read << Edits {-1, -1, 0, 1, -1} << 2 << payload("01aa09005a bb 01 00 03 cccccccc01");
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
        QTEST(RadioFrames::settingsFrame(read, edits, level), "sent");
    }

    // Firmware age and the bootloader's version from the identity reply.
    void identity_data()
    {
        QTest::addColumn<QByteArray>("versions"); // slots 19 to 26
        QTest::addColumn<QStringList>("decoded"); // version, whether an update is available, bootloader
        QTest::newRow("1.x") << QByteArray::fromHex("0109ffff01000000") << QStringList{"1.9.65535", "update", "1.0.0"};
        QTest::newRow("2.1.701") << QByteArray::fromHex("020102bd00000001") << QStringList{"2.1.701", "update", "0.0.1"};
        QTest::newRow("2.1.702") << QByteArray::fromHex("020102be00000100") << QStringList{"2.1.702", "current", "0.0.256"};
        QTest::newRow("2.2.0") << QByteArray::fromHex("0202000000010000") << QStringList{"2.2.0", "current", "0.1.0"};
        QTest::newRow("3.0.0, no bootloader") << QByteArray::fromHex("0300000000000000")
                                              << QStringList{"3.0.0", "current", "Unknown"};
    }

    void identity()
    {
        QFETCH(QByteArray, versions);
        QByteArray frame = frameOfLength(70);
        frame.replace(19, versions.size(), versions);
        const RadioIdentity id = RadioFrames::decodeIdentity(bytes(frame), 2);
        QTEST((QStringList{id.version, id.updateAvailable ? "update" : "current", id.bootloader}), "decoded");
    }

    // The whole mode and direction lists a radio is offered, in order, with each entry's code: the entry
    // in force is found by its code wherever it sits; an R9-class radio that repeats is told the codes it knows.
    void offers_data()
    {
        // r8l, r8h, R8 compatibility, repeater, 5 GHz bands, hardware number, level[, direction under pin 10]
        QTest::addColumn<QList<int>>("radio");
        QTest::addColumn<QString>("modes"); // empty: told by another row
        QTest::addColumn<QString>("directions");
        const QString oldDirections = "0 Transmitter|1 Receiver|2 Set by Pin 10";
        QTest::newRow("R8X with repeaters") << QList<int>{1, 1, 1, 0, 0, 8, 2}
                                           << "0 R7 Compatibility Mode|2 R8 Compatibility Mode|4 R8X 2.4GHz|5 R8X 5.8GHz|"
                                              "6 R8X 2.4GHz Repeater|7 R8X 5.8GHz Repeater" << oldDirections;
        QTest::newRow("R8X at level 1: no repeaters, three codes")
            << QList<int>{1, 1, 1, 0, 0, 8, 1} << "0 R7 Compatibility Mode|1 R8 Compatibility Mode|2 R8X 2.4GHz"
            << QString("0 Transmitter|1 Receiver|%1 Set by Pin 10").arg(RadioFrames::pin10Direction);
        // Old hardware at level 2, yet no repeaters: those are the R8X's.
        QTest::newRow("MBit") << QList<int>{2, 1, 0, 0, 2, 8, 2}
                              << "0 R7 Compatibility Mode|4 2.4GHz 1MBit|8 2.4GHz 2MBit|5 5GHz 1MBit|9 5GHz 2MBit " << oldDirections;
        QTest::newRow("R9 repeating, with R8 compatibility")
            << QList<int>{1, 4, 1, 1, 2, 16, 2}
            << "0 R7 Compatibility Mode|2 R8 Compatibility Mode|4 R8X 2.4GHz|5 R8X 5.8GHz|8 R9 2.4GHz|9 R9 5.8GHz|"
               "41 R9 5.2GHz|10 R9 Tandem 2.4GHz|11 R9 Tandem 5.8GHz|43 R9 Tandem 5.2GHz"
            << "0 Transmitter|1 Receiver|2 Repeater";
        // Pin 10 in charge: the one entry stands for the code the radio reports.
        QTest::newRow("R9 under pin 10") << QList<int>{1, 4, 0, 0, 2, 16, 2, 3} << "" << "3 Set by Pin 10";
        QTest::newRow("R9 under pin 10, direction 1") << QList<int>{1, 4, 0, 0, 2, 16, 2, 1} << "" << "0 Transmitter|1 Receiver";
        QTest::newRow("2.4 GHz only") << QList<int>{0, 0, 0, 0, 0, 16, 2} << "0 R7 Compatibility Mode|4 R8X 2.4GHz"
                                      << oldDirections;
    }

    void offers()
    {
        QFETCH(QList<int>, radio);
        RadioCapabilities caps;
        caps.band24 = 1;
        caps.r8l = radio[0];
        caps.r8h = radio[1];
        caps.r8Compatibility = radio[2];
        caps.repeater = radio[3];
        caps.band5Count = radio[4];
        const auto entries = [](const RadioChoices &choices) {
            QStringList out;
            for (const RadioChoice &choice : choices)
                out << QString::number(choice.code) + QLatin1Char(' ') + choice.text;
            return out.join(QLatin1Char('|'));
        };
        QFETCH(QString, modes);
        if (!modes.isEmpty())
            QCOMPARE(entries(RadioFrames::radioModes(caps, radio[5], radio[6])), modes);
        RadioSettings settings;
        settings.pin10Option = radio.value(7);
        settings.direction = radio.value(7);
        QTEST(entries(RadioFrames::directions(caps, settings, radio[5], radio[6])), "directions");
    }
};

QTEST_APPLESS_MAIN(TestRadioFrames)
#include "tst_radioframes.moc"
