#include "config/frequencymaskingmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <climits>
#include <functional>

using Model = FrequencyMaskingModel;
using Edit = std::function<void(Model &)>;
using Channels = QList<int>;
Q_DECLARE_METATYPE(Edit)

namespace {

Channels span(int first, int last)
{
    Channels out;
    for (int c = first; c <= last; ++c)
        out << c;
    return out;
}

Channels maskedIn(const QList<bool> &flags)
{
    Channels out;
    for (int i = 0; i < flags.size(); ++i)
        if (flags.at(i))
            out << i + 1;
    return out;
}

QList<bool> flagsFor(const Channels &channels, int size)
{
    QList<bool> out;
    for (int c = 1; c <= size; ++c)
        out << channels.contains(c);
    return out;
}

// Every notification the model sends, in the order sent.
struct Recorder
{
    QStringList seen;
    explicit Recorder(Model &m)
    {
        QObject::connect(&m, &Model::modelAboutToBeReset, [this] { seen << "aboutToReset"; });
        QObject::connect(&m, &Model::modelReset, [this] { seen << "reset"; });
        QObject::connect(&m, &Model::dataChanged, [this](QModelIndex a, QModelIndex b, QVector<int> roles) {
            seen << QString("data %1,%2-%3,%4%5").arg(a.row()).arg(a.column()).arg(b.row()).arg(b.column())
                        .arg(roles == QVector<int>{1} ? "" : " wrong roles");
        });
        QObject::connect(&m, &Model::didUpdateMaskedChannels, [this](QList<bool>, int band) { seen << QString("current %1").arg(band); });
        QObject::connect(&m, &Model::didUpdateMaskedChannelsAll, [this] { seen << "all"; });
        QObject::connect(&m, &Model::updatedBaseFrequency, [this] { seen << "baseFrequency"; });
    }
};

} // namespace

class TestFrequencyMaskingModel : public QObject
{
    Q_OBJECT

private slots:
    void geometry_data()
    {
        QTest::addColumn<int>("band");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("baseFrequency");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("wifiChannel");
        QTest::addColumn<Channels>("covered");
        QTest::newRow("2.4 first") << 0 << 13 << 2400 << 0 << 1 << span(2, 23);
        QTest::newRow("2.4 last") << 0 << 13 << 2400 << 12 << 13 << span(62, 83);
        QTest::newRow("5.2 first") << 1 << 4 << 5157 << 0 << 32 << span(1, 13);
        QTest::newRow("5.2 last") << 1 << 4 << 5157 << 3 << 44 << span(54, 73);
        QTest::newRow("5.8 second") << 2 << 4 << 5742 << 1 << 153 << span(14, 33);
    }

    void geometry()
    {
        QFETCH(int, band);
        QFETCH(int, rows);
        QFETCH(int, baseFrequency);
        QFETCH(int, row);
        QFETCH(int, wifiChannel);
        QFETCH(Channels, covered);
        Model m;
        QAbstractItemModelTester tester(&m);
        m.setupModel(band);
        QCOMPARE(m.rowCount(), rows);
        QCOMPARE(m.columnCount(), 85);
        QCOMPARE(m.baseFrequency(), baseFrequency);
        QCOMPARE(m.index(row, 0).data(2).toInt(), wifiChannel);
        QCOMPARE(m.index(row, 1).data(2).toInt(), -1);
        Channels available;
        for (int c = 0; c < 85; ++c)
            if (m.index(row, c).data(0).toBool())
                available << c;
        QCOMPARE(available, covered);
        m.didSelectChannel(row + 1);
        QCOMPARE(maskedIn(m.currentMaskedChannels()), covered);
        QCOMPARE(m.roleNames(), (QHash<int, QByteArray>{{0, "available"}, {1, "masked"}, {2, "channel"}}));
    }

    void stripShowsPushedFlagsFromColumnZero()
    {
        Model m;
        QAbstractItemModelTester tester(&m);
        m.setupModel(Model::TotalMask);
        m.pushData(flagsFor({1, 84, 90}, 100));
        QCOMPARE(m.rowCount(), 1);
        QVERIFY(m.index(0, 0).data(0).toBool());
        QVERIFY(m.index(0, 1).data(1).toBool() && m.index(0, 84).data(1).toBool());
        QVERIFY(!m.index(0, 0).data(1).toBool() && !m.index(0, 2).data(1).toBool());
    }

    void presets_data()
    {
        QTest::addColumn<int>("band");
        QTest::addColumn<Channels>("before");
        QTest::addColumn<int>("option");
        QTest::addColumn<Channels>("after");
        QTest::addColumn<bool>("refreshes");
        Channels odd, even;
        for (int c = 1; c <= 84; ++c)
            (c % 2 ? odd : even) << c;
        even.removeLast();
        QTest::newRow("Wi-Fi 1") << 0 << Channels{} << int(Model::Channel1) << span(2, 23) << true;
        QTest::newRow("Wi-Fi 6") << 0 << Channels{} << int(Model::Channel6) << span(27, 48) << true;
        QTest::newRow("Wi-Fi 11") << 0 << Channels{} << int(Model::Channel11) << span(52, 73) << true;
        QTest::newRow("Wi-Fi 1 on 5.2") << 1 << Channels{5} << int(Model::Channel1) << Channels{5} << false;
        QTest::newRow("Wi-Fi 11 on a strip") << 4 << Channels{5} << int(Model::Channel11) << Channels{5} << false;
        QTest::newRow("odd masks 83 not 84") << 1 << Channels{} << int(Model::MaskOdd) << odd << true;
        QTest::newRow("even leaves 84 clear") << 2 << Channels{} << int(Model::MaskEven) << even << true;
        QTest::newRow("even leaves 84 masked") << 2 << Channels{84} << int(Model::MaskEven) << even + Channels{84} << true;
        QTest::newRow("EU keeps 40") << 1 << Channels{40} << int(Model::EUSettings) << Channels{1, 2, 40, 81, 82, 83, 84} << true;
        QTest::newRow("FCC") << 2 << Channels{} << int(Model::FCCSettings) << Channels{1, 2, 81, 82, 83, 84} << true;
        QTest::newRow("EU on a strip") << 3 << Channels{5} << int(Model::EUSettings) << Channels{5} << true;
        QTest::newRow("unknown option") << 0 << Channels{5} << 7 << Channels{5} << true;
    }

    void presets()
    {
        QFETCH(int, band);
        QFETCH(Channels, before);
        QFETCH(int, option);
        QFETCH(Channels, after);
        QFETCH(bool, refreshes);
        Model m;
        QAbstractItemModelTester tester(&m);
        m.setupModel(band);
        for (int c : before)
            m.didHighlightCells(0, c, true);
        Recorder rec(m);
        m.setMaskOption(option);
        QCOMPARE(maskedIn(m.currentMaskedChannels()), after);
        Channels shown;
        for (int c = 0; c < 85; ++c)
            if (m.index(0, c).data(1).toBool())
                shown << c;
        QCOMPARE(shown, maskedIn(m.currentMaskedChannels()));
        const QStringList refresh{QString("data 0,0-%1,84").arg(m.rowCount() - 1), QString("current %1").arg(band), "all"};
        QCOMPARE(rec.seen, refreshes ? refresh : QStringList{});
    }

    void coarseClickOnMaskedCellClearsWholeRowAndOverlaps()
    {
        Model m;
        QAbstractItemModelTester tester(&m);
        m.setupModel(Model::Band24);
        m.didSelectCellCoarse(1, 40);   // Wi-Fi 2 covers 7-28; the clicked cell lies outside
        m.didSelectCellFine(5, 60);
        m.didSelectCellCoarse(0, 2);    // Wi-Fi 1 covers 2-23
        QCOMPARE(maskedIn(m.currentMaskedChannels()), span(2, 28) + Channels{60});
        m.didSelectCellCoarse(0, 10);
        QCOMPARE(maskedIn(m.currentMaskedChannels()), span(24, 28) + Channels{60});
    }

    void switchingBandsKeepsEachBandsEdits()
    {
        Model m;
        QAbstractItemModelTester tester(&m);
        m.setupModel(Model::Band24);
        m.didSelectChannel(1);
        m.setupModel(Model::Band52);
        QCOMPARE(maskedIn(m.currentMaskedChannels()), Channels{});
        m.didSelectCellFine(2, 5);
        m.setupModel(Model::Band58);
        m.setMaskOption(Model::EUSettings);
        m.setupModel(Model::TotalMask);
        m.setupModel(Model::Band24);
        QCOMPARE(maskedIn(m.currentMaskedChannels()), span(2, 23));
        QVERIFY(m.index(0, 2).data(1).toBool());
        m.setupModel(Model::Band52);
        QSignalSpy all(&m, &Model::didUpdateMaskedChannelsAll);
        m.didHighlightCells(0, 6, true);
        const Channels expected = span(2, 23) + Channels{93, 94, 177, 178, 257, 258, 259, 260};
        QCOMPARE(all.count(), 1);
        QCOMPARE(all.at(0).at(0).value<QList<bool>>().size(), 264);
        QCOMPARE(maskedIn(all.at(0).at(0).value<QList<bool>>()), expected);
        QCOMPARE(maskedIn(m.allCurrentMaskedChannels()), expected);
    }

    void signalOrder_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QStringList>("expected");
        const QString grid = "data 0,0-12,84", cell = "data 3,40-3,40";
        QTest::newRow("band switch") << Edit([](Model &m) { m.setupModel(1); }) << QStringList{"aboutToReset", "reset", "current 1", "baseFrequency"};
        QTest::newRow("row label") << Edit([](Model &m) { m.didSelectChannel(2); }) << QStringList{grid, "current 0", "all"};
        QTest::newRow("coarse") << Edit([](Model &m) { m.didSelectCellCoarse(3, 40); }) << QStringList{grid, "current 0", "all", "all"};
        QTest::newRow("fine") << Edit([](Model &m) { m.didSelectCellFine(3, 40); }) << QStringList{cell, "current 0", grid, "all"};
        QTest::newRow("drag, changed") << Edit([](Model &m) { m.didHighlightCells(3, 40, true); }) << QStringList{cell, "current 0", grid, "all"};
        QTest::newRow("drag, unchanged") << Edit([](Model &m) { m.didHighlightCells(3, 40, false); }) << QStringList{grid, "all"};
        QTest::newRow("clear") << Edit([](Model &m) { m.clear(); }) << QStringList{grid, "current 0", "all"};
        QTest::newRow("pushData") << Edit([](Model &m) { m.pushData({true}); }) << QStringList{grid};
        QTest::newRow("load all bands") << Edit([](Model &m) { m.setAllCurrentMaskedChannels({true}); }) << QStringList{"current 0", grid};
        QTest::newRow("outside the grid") << Edit([](Model &m) {
            m.didSelectCellFine(0, 85);
            m.didHighlightCells(13, 1, true);
            m.didSelectCellCoarse(-1, 1);
            m.didSelectChannel(0);
            m.didSelectChannel(INT_MAX);
            m.didSelectChannel(INT_MIN);
            m.setData(m.index(0, 85), true, 1);
        }) << QStringList{};
    }

    void signalOrder()
    {
        QFETCH(Edit, edit);
        QFETCH(QStringList, expected);
        Model m;
        QAbstractItemModelTester tester(&m);
        m.setupModel(Model::Band24);
        Recorder rec(m);
        edit(m);
        QCOMPARE(rec.seen, expected);
    }

    void loadAllBandsFromAnyLength_data()
    {
        QTest::addColumn<int>("length");
        for (int length : {0, 100, 300})
            QTest::addRow("%d flags", length) << length;
    }

    void loadAllBandsFromAnyLength()
    {
        QFETCH(int, length);
        QList<bool> combined;
        for (int i = 0; i < length; ++i)
            combined << (i % 3 == 0);
        Model m;
        QAbstractItemModelTester tester(&m);
        m.setupModel(Model::Band58);
        m.setMaskOption(Model::MaskOdd);   // flags past a short list must read as clear
        m.setAllCurrentMaskedChannels(combined);
        for (int band : {0, 1, 2}) {
            m.setupModel(band);
            QList<bool> expected = combined.mid(band * 88, 84);
            while (expected.size() < 84)
                expected << false;
            QCOMPARE(m.currentMaskedChannels(), expected);
            QCOMPARE(m.index(0, 1).data(1).toBool(), expected.at(0));
        }
    }

    void unknownBandsStaySafe_data()
    {
        QTest::addColumn<int>("band");
        for (int band : {-1, 5, INT_MAX, INT_MIN})
            QTest::addRow("band %d", band) << band;
    }

    void unknownBandsStaySafe()
    {
        QFETCH(int, band);
        Model m;
        QAbstractItemModelTester tester(&m);
        m.setupModel(band);   // never set up before: an empty grid
        QCOMPARE(m.rowCount(), 0);
        m.setupModel(Model::Band52);
        m.setupModel(band);   // keeps the previous geometry
        QCOMPARE(m.rowCount(), 4);
        for (int option = -1; option <= 7; ++option)
            m.setMaskOption(option);
        m.didSelectChannel(2);
        m.pushData(flagsFor(span(1, 200), 200));
        QCOMPARE(m.currentMaskedChannels().size(), 84);
        // Edits to a band that does not exist never reach the radio's bands.
        QCOMPARE(m.allCurrentMaskedChannels(), flagsFor({}, 264));
    }
};

QTEST_GUILESS_MAIN(TestFrequencyMaskingModel)
#include "tst_frequencymaskingmodel.moc"
