#include "config/frequencymaskingmodel.h"

#include <QtTest>

#include <climits>
#include <functional>

using Model = FrequencyMaskingModel;
using Edit = std::function<void(Model &)>;
using Channels = QList<int>;
Q_DECLARE_METATYPE(Edit)

namespace {

Channels span(int first, int last, int step = 1)
{
    Channels out;
    for (int c = first; c <= last; c += step)
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

// The columns of a row whose cells have role set, as the grid draws them.
Channels cellsWith(const Model &m, int role, int row = 0)
{
    Channels out;
    for (int c = 0; c < m.columnCount(); ++c)
        if (m.index(row, c).data(role).toBool())
            out << c;
    return out;
}

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
        QTest::newRow("2.4 last") << 0 << 13 << 2400 << 12 << 13 << span(62, 83);
        QTest::newRow("5.2 first") << 1 << 4 << 5157 << 0 << 32 << span(1, 13);
        QTest::newRow("5.8 second") << 2 << 4 << 5742 << 1 << 153 << span(14, 33);
        QTest::newRow("total strip") << 3 << 1 << 0 << 0 << -1 << span(0, 84);
        QTest::newRow("adaptive strip") << 4 << 1 << 0 << 0 << -1 << span(0, 84);
    }

    // A row covers the channels its Wi-Fi channel sits on, a strip is one row
    // of every channel; a band switch resets the grid and its frequency label.
    void geometry()
    {
        QFETCH(int, band);
        QFETCH(int, row);
        Model m;
        QAbstractItemModelTester tester(&m);
        // Views are told before and after: they drop what they cached.
        QSignalSpy resetting(&m, &Model::modelAboutToBeReset), reset(&m, &Model::modelReset),
            based(&m, &Model::updatedBaseFrequency);
        m.setupModel(band);
        QCOMPARE((QList<int>{resetting.count(), reset.count(), based.count()}), (QList<int>{1, 1, 1}));
        QTEST(m.rowCount(), "rows");
        QTEST(m.baseFrequency(), "baseFrequency");
        QTEST(m.index(row, 0).data(Model::ChannelRole).toInt(), "wifiChannel");
        QTEST(cellsWith(m, Model::AvailableRole, row), "covered");
        QVERIFY(!m.data(QModelIndex(), Model::AvailableRole).isValid()); // nothing off the grid
    }

    // An edit on a band's grid over the channels masked before: what the grid
    // shows, and whether it reaches the radio's bands (at the band's place).
    void edits_data()
    {
        QTest::addColumn<int>("band");
        QTest::addColumn<Channels>("before");
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<Channels>("shown");
        QTest::addColumn<bool>("reaches");
        auto preset = [](int option) { return Edit([option](Model &m) { m.setMaskOption(option); }); };
        QTest::newRow("row label") << 0 << Channels{} << Edit([](Model &m) { m.didSelectChannel(2); }) << span(7, 28) << true;
        QTest::newRow("row label on 5.2") << 1 << Channels{} << Edit([](Model &m) { m.didSelectChannel(4); }) << span(54, 73) << true;
        QTest::newRow("coarse") << 0 << Channels{} << Edit([](Model &m) { m.didSelectCellCoarse(3, 40); }) << span(17, 38) << true;
        // Wi-Fi 1 covers 2-23: its row is cleared, overlaps with Wi-Fi 2 included.
        QTest::newRow("coarse on a masked cell") << 0 << span(7, 28) + Channels{60}
            << Edit([](Model &m) { m.didSelectCellCoarse(0, 10); }) << span(24, 28) + Channels{60} << true;
        QTest::newRow("fine") << 0 << Channels{} << Edit([](Model &m) { m.didSelectCellFine(3, 40); }) << Channels{40} << true;
        QTest::newRow("drag") << 0 << Channels{} << Edit([](Model &m) { m.didHighlightCells(3, 40, true); }) << Channels{40} << true;
        QTest::newRow("outside the grid") << 0 << Channels{} << Edit([](Model &m) {
            m.didSelectCellFine(0, 85);
            m.didHighlightCells(13, 1, true);
            m.didSelectCellCoarse(-1, 1);
            m.didSelectCellCoarse(0, 85);
            for (int row : {0, 14, INT_MAX, INT_MIN})
                m.didSelectChannel(row);
            m.setData(m.index(0, 85), true, Model::MaskedRole);
        }) << Channels{} << false;
        QTest::newRow("Wi-Fi 1") << 0 << Channels{} << preset(Model::Channel1) << span(2, 23) << true;
        QTest::newRow("Wi-Fi 11") << 0 << Channels{} << preset(Model::Channel11) << span(52, 73) << true;
        QTest::newRow("Wi-Fi 1 on 5.2") << 1 << Channels{5} << preset(Model::Channel1) << Channels{5} << true;
        QTest::newRow("odd masks 83 not 84") << 1 << Channels{} << preset(Model::MaskOdd) << span(1, 83, 2) << true;
        QTest::newRow("even leaves 84 clear") << 2 << Channels{} << preset(Model::MaskEven) << span(2, 82, 2) << true;
        QTest::newRow("even leaves 84 masked") << 2 << Channels{84} << preset(Model::MaskEven) << span(2, 84, 2) << true;
        QTest::newRow("EU keeps 40") << 1 << Channels{40} << preset(Model::EUSettings) << Channels{1, 2, 40, 81, 82, 83, 84} << true;
        QTest::newRow("FCC on 2.4") << 0 << Channels{} << preset(Model::FCCSettings) << Channels{1, 2, 81, 82, 83, 84} << true;
        // The strips show what they are given; nothing on them is the radio's.
        QTest::newRow("EU and a row on a strip") << 3 << Channels{5} << Edit([](Model &m) {
            m.setMaskOption(Model::EUSettings);
            m.didSelectChannel(1);
        }) << Channels{5} << false;
        QTest::newRow("strip pushed") << 3 << Channels{} << Edit([](Model &m) { m.pushData(flagsFor({1, 84, 90}, 100)); })
                                      << Channels{1, 84} << false;
        // Loading the radio's bands is no edit of them. Each band has 88 flags
        // there, and those past the end of a short list read as clear.
        QTest::newRow("load all bands") << 1 << Channels{} << Edit([](Model &m) {
            m.setAllCurrentMaskedChannels(flagsFor({1, 89, 100, 177}, 264));
        }) << Channels{1, 12} << false;
        QTest::newRow("load a short list") << 2 << Channels{5}
            << Edit([](Model &m) { m.setAllCurrentMaskedChannels(flagsFor({1}, 100)); }) << Channels{} << false;
        // A band that does not exist: never set up, an empty grid; after a
        // known band, its geometry with edits of its own.
        QTest::newRow("unknown band") << -1 << Channels{} << Edit([](Model &m) { m.didSelectChannel(1); }) << Channels{} << false;
        QTest::newRow("unknown band after 5.2") << 1 << Channels{} << Edit([](Model &m) {
            m.setupModel(5);
            m.didSelectChannel(2);
            m.setMaskOption(Model::EUSettings);
        }) << span(14, 33) << false;
    }

    void edits()
    {
        QFETCH(int, band);
        QFETCH(Channels, before);
        QFETCH(Edit, edit);
        QFETCH(Channels, shown);
        QFETCH(bool, reaches);
        Model m;
        QAbstractItemModelTester tester(&m);
        m.setupModel(band);
        for (int c : before)
            m.didHighlightCells(0, c, true);
        QSignalSpy redraws(&m, &Model::dataChanged);
        edit(m);
        QCOMPARE(cellsWith(m, Model::MaskedRole), shown);
        // The strips and unknown bands hold none of the radio's channels.
        const bool radioBand = band >= Model::Band24 && band <= Model::Band58;
        Channels radio;
        for (int c : reaches ? shown : before)
            radio << band * 88 + c;
        QCOMPARE(maskedIn(m.allCurrentMaskedChannels()), radioBand ? radio : Channels{});
        // The band's own list, as its edits are handed over: 84 channels.
        if (radioBand)
            QCOMPARE(maskedIn(m.currentMaskedChannels()), shown);
        // A channel's column runs through every row: a change redraws them all.
        if (shown != before) {
            QVERIFY(!redraws.isEmpty());
            QCOMPARE(redraws.last().at(0).toModelIndex(), m.index(0, 0));
            QCOMPARE(redraws.last().at(1).toModelIndex(), m.index(m.rowCount() - 1, 84));
            QCOMPARE(redraws.last().at(2).value<QVector<int>>(), QVector<int>{Model::MaskedRole});
        }
    }
};

QTEST_GUILESS_MAIN(TestFrequencyMaskingModel)
#include "tst_frequencymaskingmodel.moc"
