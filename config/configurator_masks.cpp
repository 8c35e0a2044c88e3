// Channel masks between the radio's bit masks, the combined flag list the
// scene edits and the bit masks a deploy sends.
#include "configurator.h"

#include "usb/protocol.h"

#include <QDebug>

namespace {
constexpr int flagsPerBand = Channels::flagsPerBand;

// A band the radio does not have still takes its places, so that every band
// sits at band * 88 in the combined list.
QList<bool> bandPlaces(const QList<bool> &band)
{
    QList<bool> places = band.mid(0, flagsPerBand);
    while (places.size() < flagsPerBand)
        places.append(false);
    return places;
}
} // namespace

void Configurator::bitMaskToList(quint8 *mask, int index)
{
    QList<bool> *readout = index == 0 ? &readoutMask24 : index == 1 ? &readoutMask52 : index == 2 ? &readoutMask58 : nullptr;
    if (readout)
        readout->clear();
    for (int j = 0; j < 11; ++j) {
        for (int b = 0; b < 8; ++b) {
            const bool bit = (mask[j] >> b) & 1;
            channelFlags[8 * j + b] = bit;
            if (readout)
                readout->append(bit);
        }
    }
    // An unknown band is decoded but stored nowhere.
    if (readout)
        setAllCurrentMaskedChannels(*readout, index);
}

void Configurator::setAllCurrentMaskedChannels(QList<bool> channel, int wifiBand)
{
    switch (wifiBand) {
    case 0: maskList24 = channel; break;
    case 1: maskList52 = channel; break;
    case 2: maskList58 = channel; break;
    default: return;
    }
    m_maskedChannels = bandPlaces(maskList24) + bandPlaces(maskList52) + bandPlaces(maskList58);
    emit maskListUI();
}

void Configurator::currentMaskedChannels(QList<bool> maskList)
{
    m_maskedChannels = maskList;
    emit MaskingDataChanged();
}

void Configurator::splitMaskList(int band)
{
    QList<bool> *deploy = band == 0 ? &deployMask24 : band == 1 ? &deployMask52 : band == 2 ? &deployMask58 : nullptr;
    if (!deploy)
        return;
    *deploy = m_maskedChannels.mid(band * flagsPerBand, flagsPerBand);
}

void Configurator::listToBitMask(int bandValue)
{
    const QList<bool> *deploy = bandValue == 0 ? &deployMask24
                                : bandValue == 1 ? &deployMask52
                                : bandValue == 2 ? &deployMask58
                                                 : nullptr;
    if (deploy) {
        // Channels the list does not reach are sent unmasked, never as the
        // flags of the band converted before. Channels 85 to 88 are not
        // shown, but go back as the radio reported them.
        for (int i = 0; i < flagsPerBand; ++i)
            channelFlags[i] = deploy->value(i) ? 1 : 0;
    }
    for (int j = 0; j < 16; ++j) {
        quint8 byte = 0;
        for (int b = 0; b < 8; ++b) {
            const int i = 8 * j + b;
            if (i < flagsPerBand && channelFlags[i])
                byte |= quint8(1u << b);
        }
        maskBytes[j] = byte;
    }
}

void Configurator::maskingChanged(int mode)
{
    if (offersBand(mode))
        m_bandEdits[mode].mask = true;
    switch (mode) {
    case Band::Band24: deployListAppend(DeployItem::Band24); break;
    case Band::Band52: deployListAppend(DeployItem::Band52); break;
    case Band::Band58: deployListAppend(DeployItem::Band58); break;
    default: break;
    }
}
