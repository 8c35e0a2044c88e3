// Setups: the session's settings as a RadioSetup, and a setup (from a file
// or from `set`) checked against what this radio offers and queued as the
// operator's choices.
#include "configurator.h"

#include "usb/protocol.h"

#include "app/logmessagehandler.h"

#include <QDebug>

#include <functional>

namespace {

using RadioFrames::cutAtNul;

// An option chosen by its text, or by its index where indices are taken;
// -1 when the list holds neither.
int optionIndex(const QStringList &options, const QString &value, bool byIndex)
{
    bool isNumber = false;
    const int index = value.toInt(&isNumber);
    if (isNumber && byIndex)
        return index >= 0 && index < options.size() ? index : -1;
    for (int i = 0; i < options.size(); ++i) {
        if (RadioSetup::sameName(options.at(i), value))
            return i;
    }
    return -1;
}

QString allowed(const QStringList &options)
{
    QStringList items;
    for (int i = 0; i < options.size(); ++i)
        items << QStringLiteral("%1 \"%2\"").arg(i).arg(options.at(i));
    return items.join(QStringLiteral(", "));
}

} // namespace

RadioSetup Configurator::currentSetup()
{
    RadioSetup setup;
    const RadioCapabilities &caps = radioCapabilities;
    const bool legacy = protocolLevel() == 0;
    auto put = [&setup](const char *key, const QString &value) { setup.set(QLatin1String(key), value); };

    if (!legacy) {
        if (caps.label)
            put("label", cutAtNul(m_deviceLabel));
        if (radioModeIndex >= 0 && radioModeIndex < m_listForRadioMode.size())
            put("mode", m_listForRadioMode.at(radioModeIndex));
        if (directionIndex >= 0 && directionIndex < m_listForDirection.size())
            put("direction", m_listForDirection.at(directionIndex));
        if (caps.adaptiveHopping && m_adaptiveState >= 0)
            put("adaptive", offOnTable.value(m_adaptiveState ? 1 : 0));
        if (m_rdmEnabledState >= 0)
            put("rdm", offOnTable.value(m_rdmEnabledState ? 1 : 0));
        if (m_highbandState >= 0)
            put("band58", offOnTable.value(m_highbandState % 2));
    }

    const struct
    {
        int band;
        bool offered;
        const QStringList &powers;
        int index;
        const char *power;
        const char *mask;
    } bands[] = {
        {Band::Band24, caps.band24 || legacy, powerList24, power24Index, "power24", "mask24"},
        {Band::Band52, !legacy && caps.band5Count == 2, powerList52, power52Index, "power52", "mask52"},
        {Band::Band58, !legacy && caps.r8h && powerList58 != dashTable, powerList58, power58Index, "power58", "mask58"},
    };
    for (const auto &b : bands) {
        if (!b.offered)
            continue;
        if (b.index >= 0 && b.index < b.powers.size())
            put(b.power, b.powers.at(b.index));
        QList<int> channels;
        for (int i = 0; i < Channels::perBand; ++i) {
            if (m_maskedChannels.value(b.band * Channels::flagsPerBand + i))
                channels << i + 1;
        }
        put(b.mask, RadioSetup::channelText(channels));
    }

    setup.model = m_trxModel;
    setup.serial = cutAtNul(m_trxSerial);
    setup.firmware = m_trxVersion;
    setup.exported = QDateTime::currentDateTimeUtc();
    return setup;
}

QList<Configurator::SetupRefusal> Configurator::applySetup(const RadioSetup &setup, SetupOptions options,
                                                           QStringList *skipped)
{
    const RadioCapabilities &caps = radioCapabilities;
    const bool legacy = protocolLevel() == 0;
    const bool byIndex = options.testFlag(IndicesAllowed);
    const bool skipMissing = options.testFlag(SkipMissing);

    // Everything is judged before anything is queued: a refused value must
    // not leave the radio half changed.
    QList<SetupRefusal> refusals;
    QList<std::function<void()>> changes;
    QList<bool> masks = m_maskedChannels;
    while (masks.size() < Channels::combined)
        masks.append(false);
    QList<int> maskBands;

    for (const auto &[key, value] : setup.settings) {
        auto refuse = [&, key = key](const QString &why, bool missing = false) {
            if (missing && skipMissing) {
                if (skipped)
                    *skipped << QStringLiteral("%1: %2").arg(key, why);
            } else {
                refusals << SetupRefusal {key, why, missing};
            }
        };
        auto choose = [&, value = value](const QStringList &options, std::function<void(int)> apply) {
            if (options.isEmpty())
                return refuse(QStringLiteral("not offered by this radio"), true);
            const int index = optionIndex(options, value, byIndex);
            if (index < 0)
                return refuse(QStringLiteral("\"%1\" is not offered; allowed: %2").arg(value, allowed(options)));
            changes << [apply, index] { apply(index); };
        };

        // A legacy radio takes one frame: its 2.4 GHz mask and power.
        if (legacy && key != QLatin1String("power24") && key != QLatin1String("mask24")) {
            refuse(QStringLiteral("a legacy radio takes only power24 and mask24"), true);
            continue;
        }

        if (key == QLatin1String("label")) {
            const QString problem = RadioSetup::labelProblem(value);
            if (!caps.label)
                refuse(QStringLiteral("not offered by this radio"), true);
            else if (!problem.isEmpty())
                refuse(problem);
            // The label shown is the radio's, its padding trimmed: sent again
            // it would go back padded with NULs, and a radio's own setup
            // applied to it would rewrite its label for nothing.
            else if (value != cutAtNul(m_deviceLabel))
                changes << [this, value = value] { on_deviceLabel_textChanged(value); };
        } else if (key == QLatin1String("mode")) {
            choose(m_listForRadioMode, [this](int i) {
                on_radioMode_currentIndexChanged(i);
                m_presentRadioMode = m_listForRadioMode.value(i);
            });
        } else if (key == QLatin1String("direction")) {
            choose(m_listForDirection, [this](int i) {
                on_direction_currentIndexChanged(i);
                m_presentTransmitterMode = m_listForDirection.value(i);
            });
        } else if (key == QLatin1String("adaptive")) {
            choose(caps.adaptiveHopping ? adaptiveOptions : QStringList(),
                   [this](int i) { on_adaptiveHopping_currentIndexChanged(i); });
        } else if (key == QLatin1String("rdm")) {
            choose(m_rdmEnabledState >= 0 ? rdmOptions : QStringList(),
                   [this](int i) { on_enableRDM_currentIndexChanged(i); });
        } else if (key == QLatin1String("band58")) {
            choose(m_highbandState >= 0 ? offOnTable : QStringList(),
                   [this](int i) { on_enable58_currentIndexChanged(i); });
        } else {
            // power and mask keys; RadioSetup knows no others.
            const QString band = key.right(2);
            int number = -1;
            QStringList *powers = nullptr;
            QString *present = nullptr;
            if (band == QLatin1String("24") && (caps.band24 || legacy)) {
                number = Band::Band24;
                powers = &powerList24;
                present = &presentPower24;
            } else if (band == QLatin1String("52") && caps.band5Count == 2) {
                number = Band::Band52;
                powers = &powerList52;
                present = &presentPower52;
            } else if (band == QLatin1String("58") && caps.r8h) {
                number = Band::Band58;
                powers = &powerList58;
                present = &presentPower58;
            }
            if (number < 0 || *powers == dashTable) {
                refuse(QStringLiteral("this radio has no such band"), true);
            } else if (key.startsWith(QLatin1String("power"))) {
                choose(*powers, [this, number, powers, present](int i) {
                    powerList(number);
                    writePowerSettings(i);
                    *present = powers->value(i);
                });
            } else {
                QList<int> channels;
                if (!RadioSetup::parseChannels(value, &channels)) {
                    refuse(QStringLiteral("\"%1\" is not a channel list of 1 to 84, such as 1-10,20").arg(value));
                } else {
                    for (int i = 0; i < Channels::perBand; ++i)
                        masks[number * Channels::flagsPerBand + i] = channels.contains(i + 1);
                    maskBands << number;
                }
            }
        }
    }
    if (!refusals.isEmpty())
        return refusals;

    // The band the view shows stays the one it showed.
    const int shownBand = m_operatingBand;
    for (const auto &change : changes)
        change();
    if (m_operatingBand != shownBand)
        powerList(shownBand);
    if (!maskBands.isEmpty()) {
        currentMaskedChannels(masks);
        for (int band : maskBands)
            maskingChanged(band);
    }
    qDebug().noquote() << "Configurator: setup queued:" << logList(deployList);
    return refusals;
}

QString Configurator::exportSetup(const QString &file)
{
    const QString path = updaterFilePath(file);
    QString error;
    if (!currentSetup().writeFile(path, &error))
        return error;
    qDebug() << "Configurator: setup exported to" << path;
    return QString();
}

QVariantMap Configurator::applySetupFile(const QString &file)
{
    // A value the radio offers differently is refused, and then nothing is
    // taken, as on the command line.
    RadioSetup setup;
    QString error;
    if (!setup.readFile(updaterFilePath(file), &error))
        return {{"taken", false}, {"lines", QStringList {error}}};
    QStringList lines;
    const QList<SetupRefusal> refusals = applySetup(setup, SkipMissing, &lines);
    if (!refusals.isEmpty()) {
        lines.clear();
        for (const SetupRefusal &refusal : refusals)
            lines << refusal.key + QStringLiteral(": ") + refusal.reason;
    }
    return {{"taken", refusals.isEmpty()}, {"lines", lines}};
}
