#include "config/dropdownmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

namespace {

QStringList keys(QAbstractItemModel *model)
{
    QStringList out;
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->index(row, 0).data().value<DropdownItem>().value;
    return out;
}

const QStringList allModes{"r7-compatibility", "r8-compatibility", "r8x-2.4",
                           "r8x-5.8", "r8x-2.4-repeater", "r8x-5.8-repeater"};

} // namespace

class TestDropdownModel : public QObject
{
    Q_OBJECT

private slots:
    void disableThenEnableRestoresSixModesInOrder()
    {
        DropdownModel model;
        QAbstractItemModelTester tester(model.model());
        QSignalSpy updated(&model, &DropdownModel::radioTransmitterModesUpdated);
        QCOMPARE(keys(model.model()), allModes);

        model.disable5gModes();
        QCOMPARE(keys(model.model()),
                 (QStringList{"r7-compatibility", "r8-compatibility", "r8x-2.4", "r8x-2.4-repeater"}));
        QCOMPARE(model.has5GEnabled(), QStringLiteral("Disabled"));
        QVERIFY(!model.buttonState());

        model.enable5gModes();
        QCOMPARE(keys(model.model()), allModes);
        QCOMPARE(model.has5GEnabled(), QStringLiteral("Enabled"));
        QCOMPARE(updated.count(), 2);
    }

    void addItemNeedsKeyAndText_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("display");
        QTest::addColumn<int>("rowsAdded");
        QTest::newRow("both") << "x" << "X" << 1;
        QTest::newRow("empty key") << "" << "X" << 0;
        QTest::newRow("empty text") << "x" << "" << 0;
    }

    void addItemNeedsKeyAndText()
    {
        QFETCH(QString, value);
        QFETCH(QString, display);
        QFETCH(int, rowsAdded);
        DropdownModel model;
        QAbstractItemModelTester tester(model.model());
        const int before = model.model()->rowCount();
        model.addItem(value, display);
        QCOMPARE(model.model()->rowCount(), before + rowsAdded);
        if (rowsAdded)
            QCOMPARE(model.model()->index(before, 0).data().value<DropdownItem>().value, value);
    }
};

QTEST_GUILESS_MAIN(TestDropdownModel)
#include "tst_dropdownmodel.moc"
