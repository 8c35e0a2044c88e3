#include "frequencymaskingmodel.h"

#include <iterator>

namespace {

// Column 0 carries the Wi-Fi channel label; columns 1-84 are radio channels.
constexpr int gridColumns = 85;
constexpr int shownChannels = 84;
// The radio reports four more flags per band than it lets anyone edit.
constexpr int flagsPerBand = 88;
constexpr int editableBands = 3;

struct BandGeometry
{
    int spanStart;
    int spanWidth;
    int rows;
    int spanStep;
    int baseFrequency;
    int firstWifiChannel;
    int wifiChannelStep;
};

// Indexed by FrequencyMaskingModel::Bands. A 20 MHz Wi-Fi channel in the
// 5 GHz bands starts a few MHz below the band's first radio channel, hence
// the negative start.
constexpr BandGeometry bandGeometry[] = {
    {1, 22, 13, 5, 2400, 1, 1},
    {-7, 20, 4, 20, 5157, 32, 4},
    {-7, 20, 4, 20, 5742, 149, 4},
    {0, 0, 1, 1, 0, 0, 1},
    {0, 0, 1, 1, 0, 0, 1},
};
constexpr int knownBands = int(std::size(bandGeometry));

bool isStrip(int band)
{
    return band == FrequencyMaskingModel::TotalMask || band == FrequencyMaskingModel::CurrentAdaptiveMask;
}

} // namespace

FrequencyMaskingModel::FrequencyMaskingModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int FrequencyMaskingModel::rowCount(const QModelIndex &parent) const
{
    // A table: cells never have children of their own.
    return parent.isValid() ? 0 : rows;
}

int FrequencyMaskingModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : gridColumns;
}

QVariant FrequencyMaskingModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !isGridCell(index.row(), index.column()))
        return QVariant();
    const int r = index.row();
    const int c = index.column();

    if (isStrip(m_activeBand)) {
        switch (role) {
        case AvailableRole: return true;
        case MaskedRole: return storedFlag(c);
        case ChannelRole: return -1;
        default: return QVariant();
        }
    }

    switch (role) {
    case AvailableRole: {
        if (c == 0)
            return false;
        const int first = spanStart + r * spanStep;
        return c - 1 >= first && c - 1 < first + spanWidth;
    }
    case MaskedRole:
        return c == 0 ? false : storedFlag(c);
    case ChannelRole:
        return c == 0 ? r * wifiChannelStep + firstWifiChannel : -1;
    default:
        return QVariant();
    }
}

bool FrequencyMaskingModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != MaskedRole || !index.isValid() || index.model() != this
        || !isGridCell(index.row(), index.column()))
        return false;
    const bool masked = value.toBool();
    if (data(index, MaskedRole).toBool() == masked)
        return false;
    channelStates[index.column()] = masked;
    emit dataChanged(index, index, {MaskedRole});
    refreshCurrentMaskedChannels(true);
    return true;
}

QHash<int, QByteArray> FrequencyMaskingModel::roleNames() const
{
    return {
        {AvailableRole, "available"},
        {MaskedRole, "masked"},
        {ChannelRole, "channel"},
    };
}

void FrequencyMaskingModel::setupModel(int band)
{
    // The row count and every cell change with the band, so views and proxies
    // must drop what they cached.
    beginResetModel();
    m_activeBand = band;
    if (band >= 0 && band < knownBands) {
        const BandGeometry &g = bandGeometry[band];
        spanStart = g.spanStart;
        spanWidth = g.spanWidth;
        rows = g.rows;
        spanStep = g.spanStep;
        m_baseFrequency = g.baseFrequency;
        firstWifiChannel = g.firstWifiChannel;
        wifiChannelStep = g.wifiChannelStep;
    }
    channelStates = bandChannelStates[m_activeBand];
    endResetModel();

    refreshCurrentMaskedChannels(true);
    emit updatedBaseFrequency();
}

void FrequencyMaskingModel::setMaskOption(int option)
{
    const bool editableBand = m_activeBand >= 0 && m_activeBand < editableBands;
    switch (option) {
    case Channel1:
    case Channel6:
    case Channel11: {
        // Wi-Fi channels 1, 6 and 11 only exist in the 2.4 GHz band.
        if (m_activeBand != Band24)
            return;
        const int wifiOffset = option == Channel1 ? 0 : option == Channel6 ? 5 : 10;
        setChannels(wifiOffset * spanStep + 2, spanWidth, true);
        break;
    }
    case MaskOdd:
        for (int channel = 1; channel <= shownChannels; channel += 2)
            channelStates[channel] = true;
        break;
    case MaskEven:
        // Stops at 82: channel 84 stays as the operator left it.
        for (int channel = 2; channel < shownChannels; channel += 2)
            channelStates[channel] = true;
        break;
    case EUSettings:
    case FCCSettings:
        if (editableBand) {
            for (int channel : {1, 2, 81, 82, 83, 84})
                channelStates[channel] = true;
        }
        break;
    default:
        break;
    }
    refreshGrid();
    refreshCurrentMaskedChannels(true);
    refreshAllMaskedChannels();
}

void FrequencyMaskingModel::pushData(QList<bool> data)
{
    for (int i = 0; i < data.size(); ++i)
        channelStates[i + 1] = data.at(i);
    refreshGrid();
}

void FrequencyMaskingModel::setAllCurrentMaskedChannels(QList<bool> channels)
{
    for (int band = 0; band < editableBands; ++band) {
        QHash<int, bool> &states = bandChannelStates[band];
        for (int i = 0; i < flagsPerBand; ++i) {
            const int at = band * flagsPerBand + i;
            states[i + 1] = at < channels.size() && channels.at(at);
        }
    }
    loadBandChannels(false);
    // The shown band may have changed under the grid.
    refreshGrid();
}

void FrequencyMaskingModel::clear()
{
    // Channels 85 to 88 are not shown, so not cleared: they go back as the
    // radio reported them.
    setChannels(1, shownChannels, false);
    refreshGrid();
    refreshCurrentMaskedChannels(true);
    refreshAllMaskedChannels();
}

void FrequencyMaskingModel::didSelectChannel(int channel, bool state)
{
    if (channel < 1 || channel > rows)
        return;
    setChannels(spanStart + (channel - 1) * spanStep + 1, spanWidth, state);
    refreshGrid();
    refreshCurrentMaskedChannels(true);
    refreshAllMaskedChannels();
}

void FrequencyMaskingModel::didSelectCellCoarse(int row, int column)
{
    if (!isGridCell(row, column))
        return;
    const bool state = !channelStates[column];
    didSelectChannel(row + 1, state);
    refreshAllMaskedChannels();
}

void FrequencyMaskingModel::didSelectCellFine(int row, int column)
{
    if (!isGridCell(row, column))
        return;
    const bool state = !channelStates[column];
    setData(index(row, column), state, MaskedRole);
    refreshGrid();
    refreshAllMaskedChannels();
}

void FrequencyMaskingModel::didHighlightCells(int row, int column, bool state)
{
    if (!isGridCell(row, column))
        return;
    setData(index(row, column), state, MaskedRole);
    refreshGrid();
    refreshAllMaskedChannels();
}

bool FrequencyMaskingModel::isGridCell(int row, int column) const
{
    return row >= 0 && row < rows && column >= 0 && column < gridColumns;
}

void FrequencyMaskingModel::setChannels(int first, int count, bool state)
{
    for (int channel = first; channel < first + count; ++channel)
        channelStates[channel] = state;
}

void FrequencyMaskingModel::refreshCurrentMaskedChannels(bool storeBand)
{
    if (storeBand)
        bandChannelStates[m_activeBand] = channelStates;
    QList<bool> list;
    list.reserve(shownChannels);
    for (int channel = 1; channel <= shownChannels; ++channel)
        list.append(channelStates[channel]);
    m_currentMaskedChannels = list;
    emit didUpdateMaskedChannels(list, m_activeBand);
}

void FrequencyMaskingModel::refreshAllMaskedChannels()
{
    QList<bool> list;
    list.reserve(editableBands * flagsPerBand);
    for (int band = 0; band < editableBands; ++band) {
        QHash<int, bool> &states = bandChannelStates[band];
        for (int channel = 1; channel <= flagsPerBand; ++channel)
            list.append(states[channel]);
    }
    m_allCurrentMaskedChannels = list;
    emit didUpdateMaskedChannelsAll(list);
}

void FrequencyMaskingModel::loadBandChannels(bool storeBand)
{
    channelStates = bandChannelStates[m_activeBand];
    refreshCurrentMaskedChannels(storeBand);
}

void FrequencyMaskingModel::refreshGrid()
{
    // Nothing to announce before a band has been chosen.
    if (rows <= 0)
        return;
    emit dataChanged(index(0, 0), index(rows - 1, gridColumns - 1), {MaskedRole});
}
