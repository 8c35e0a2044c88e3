#include "dropdownmodel.h"

#include "app/logmessagehandler.h"

#include <QDebug>
#include <QStandardItemModel>

namespace {

struct TransmitterMode
{
    const char *value;
    const char *display;
    bool needs5g;
};

// The display texts are the product's own, "5.8Ghz" spelling included.
const TransmitterMode transmitterModes[] = {
    {"r7-compatibility", "R7 Compatibility", false},
    {"r8-compatibility", "R8 Compatibility", false},
    {"r8x-2.4", "R8X 2.4GHz", false},
    {"r8x-5.8", "R8X 5.8Ghz", true},
    {"r8x-2.4-repeater", "R8X 2.4GHz Repeater", false},
    {"r8x-5.8-repeater", "R8X 5.8Ghz Repeater", true},
};

} // namespace

DropdownModel::DropdownModel(QObject *parent)
    : QObject(parent)
    , m_model(new QStandardItemModel(0, 1, this))
{
    // Views that ask the display role for text get the option's text.
    static const bool converterRegistered =
        QMetaType::registerConverter<DropdownItem, QString>([](const DropdownItem &item) { return item.display; });
    Q_UNUSED(converterRegistered)
    m_transmitterMode = QStringLiteral("r7-compatibility");
    enable5gModes();
    m_listModel = QStringList{QStringLiteral("Item 1"), QStringLiteral("Item 2"), QStringLiteral("Item 3")};
    const QList<bool> initialFlags{true, false, true};
    m_maskedChannelData.firstMask = initialFlags;
    m_maskedChannelData.secondMask = initialFlags;
    m_maskedChannelData.thirdMask = initialFlags;
    emit maskedChannelDataUpdated();
}

QAbstractItemModel *DropdownModel::model() const
{
    return m_model;
}

FrequencyMaskingData DropdownModel::maskedChannelData() const
{
    qDebug().noquote() << logList(m_maskedChannelData.firstMask);
    return m_maskedChannelData;
}

void DropdownModel::enable5gModes()
{
    rebuildModes(true);
}

void DropdownModel::disable5gModes()
{
    rebuildModes(false);
}

void DropdownModel::rebuildModes(bool with5g)
{
    m_has5GEnabled = with5g ? QStringLiteral("Enabled") : QStringLiteral("Disabled");
    m_buttonState = with5g;
    m_model->removeRows(0, m_model->rowCount());
    for (const TransmitterMode &mode : transmitterModes) {
        if (mode.needs5g && !with5g)
            continue;
        addItem(QString::fromLatin1(mode.value), QString::fromLatin1(mode.display));
    }
    emit radioTransmitterModesUpdated();
}

void DropdownModel::setTransmitterMode(QString key)
{
    // Stored as given: the gallery page may try keys the list does not hold.
    m_transmitterMode = key;
    emit transmitterModeUpdated();
}

void DropdownModel::setMaskedChannels(QList<bool> maskedChannels)
{
    m_maskedChannels = maskedChannels;
}

void DropdownModel::addItem(QString value, QString display)
{
    if (value.isEmpty() || display.isEmpty())
        return;
    const int row = m_model->rowCount();
    m_model->insertRow(row);
    m_model->setData(m_model->index(row, 0), QVariant::fromValue(DropdownItem{value, display}), Qt::DisplayRole);
}
