#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QObject>

// One band's radio channels laid out as a grid: a row per Wi-Fi channel, a
// column per radio channel (column 0 holds the row label), so that a single
// click can mask everything a Wi-Fi network sits on. The same class also
// drives the one-row strips of the total mask and the adaptive mask.
class FrequencyMaskingModel : public QAbstractTableModel
{
    Q_OBJECT
    Q_PROPERTY(QList<bool> currentMaskedChannels READ currentMaskedChannels)
    Q_PROPERTY(QList<bool> allCurrentMaskedChannels READ allCurrentMaskedChannels WRITE setAllCurrentMaskedChannels)
    Q_PROPERTY(QList<bool> channelsMasked READ currentMaskedChannels WRITE pushData)
    Q_PROPERTY(int activeBand READ activeBand WRITE setupModel)
    Q_PROPERTY(int baseFrequency READ baseFrequency NOTIFY updatedBaseFrequency)

public:
    enum Bands {
        Band24 = 0,
        Band52 = 1,
        Band58 = 2,
        TotalMask = 3,
        CurrentAdaptiveMask = 4,
    };
    Q_ENUM(Bands)

    enum MaskOptions {
        Channel1 = 0,
        Channel6 = 1,
        Channel11 = 2,
        MaskOdd = 3,
        MaskEven = 4,
        EUSettings = 5,
        FCCSettings = 6,
    };
    Q_ENUM(MaskOptions)

    enum Roles {
        AvailableRole = 0,
        MaskedRole = 1,
        ChannelRole = 2,
    };

    explicit FrequencyMaskingModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    QHash<int, QByteArray> roleNames() const override;

    QList<bool> currentMaskedChannels() const { return m_currentMaskedChannels; }
    QList<bool> allCurrentMaskedChannels() const { return m_allCurrentMaskedChannels; }
    int activeBand() const { return m_activeBand; }
    int baseFrequency() const { return m_baseFrequency; }

signals:
    void didUpdateMaskedChannels(QList<bool> maskedChannels, int band);
    void didUpdateMaskedChannelsAll(QList<bool> maskedChannels);
    void updatedBaseFrequency();

public slots:
    void setupModel(int band);
    void setMaskOption(int option);
    void pushData(QList<bool> data);
    void setAllCurrentMaskedChannels(QList<bool> channels);
    void clear();
    void didSelectChannel(int channel, bool state = true);
    void didSelectCellCoarse(int row, int column);
    void didSelectCellFine(int row, int column);
    void didHighlightCells(int row, int column, bool state);

private:
    bool isGridCell(int row, int column) const;
    bool storedFlag(int channel) const { return channelStates.value(channel, false); }
    void setChannels(int first, int count, bool state);
    void refreshCurrentMaskedChannels(bool storeBand);
    void refreshAllMaskedChannels();
    void loadBandChannels(bool storeBand);
    void refreshGrid();

    // Zero until setupModel picks a band, so a model nobody set up is empty
    // rather than sized by whatever happened to be in memory.
    int m_activeBand = 0;
    int spanStart = 0;
    int spanWidth = 0;
    int rows = 0;
    int spanStep = 0;
    int m_baseFrequency = 0;
    int firstWifiChannel = 0;
    int wifiChannelStep = 0;

    QHash<int, bool> channelStates;
    QHash<int, QHash<int, bool>> bandChannelStates;
    QList<bool> m_currentMaskedChannels;
    QList<bool> m_allCurrentMaskedChannels;
};
