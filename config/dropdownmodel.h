#pragma once

#include "dropdownitem.h"
#include "frequencymaskingdata.h"

#include <QAbstractItemModel>
#include <QList>
#include <QObject>
#include <QStringList>

class QStandardItemModel;

// Option lists for the component gallery page: the transmitter modes (with or
// without the 5 GHz ones), a plain list and two sets of channel flags.
class DropdownModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QAbstractItemModel *model READ model NOTIFY radioTransmitterModesUpdated)
    Q_PROPERTY(QStringList listModel READ listModel NOTIFY radioTransmitterModesUpdated)
    Q_PROPERTY(QString has5GEnabled READ has5GEnabled NOTIFY radioTransmitterModesUpdated)
    Q_PROPERTY(QString transmitterMode READ transmitterMode NOTIFY transmitterModeUpdated)
    Q_PROPERTY(bool buttonState READ buttonState NOTIFY radioTransmitterModesUpdated)
    Q_PROPERTY(QList<bool> maskedChannels READ maskedChannels WRITE setMaskedChannels NOTIFY maskedChannelsUpdated)
    Q_PROPERTY(FrequencyMaskingData maskedChannelData READ maskedChannelData NOTIFY maskedChannelDataUpdated)

public:
    explicit DropdownModel(QObject *parent = nullptr);

    QAbstractItemModel *model() const;
    QStringList listModel() const { return m_listModel; }
    QString has5GEnabled() const { return m_has5GEnabled; }
    QString transmitterMode() const { return m_transmitterMode; }
    bool buttonState() const { return m_buttonState; }
    QList<bool> maskedChannels() const { return m_maskedChannels; }
    FrequencyMaskingData maskedChannelData() const;

signals:
    void radioTransmitterModesUpdated();
    void transmitterModeUpdated();
    void maskedChannelsUpdated();
    void maskedChannelDataUpdated();

public slots:
    void enable5gModes();
    void disable5gModes();
    void setTransmitterMode(QString key);
    void setMaskedChannels(QList<bool> maskedChannels);
    void addItem(QString value, QString display);

private:
    void rebuildModes(bool with5g);

    QStandardItemModel *m_model;
    QStringList m_listModel;
    QString m_has5GEnabled;
    QString m_transmitterMode;
    bool m_buttonState = true;
    QList<bool> m_maskedChannels;
    FrequencyMaskingData m_maskedChannelData;
};
