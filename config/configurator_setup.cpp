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
    // Whatever this radio lets `apply` write, and nothing else.
    auto put = [this, &setup](const char *key, const QString &value) {
        if (offersSetting(QLatin1String(key)))
            setup.set(QLatin1String(key), value);
    };
    auto onOff = [](int state) { return offOnTable.value(state != 0 ? 1 : 0); };

    put("label", cutAtNul(m_deviceLabel));
    if (radioModeIndex >= 0 && radioModeIndex < m_listForRadioMode.size())
        put("mode", m_listForRadioMode.at(radioModeIndex));
    if (directionIndex >= 0 && directionIndex < m_listForDirection.size())
        put("direction", m_listForDirection.at(directionIndex));
    put("adaptive", onOff(m_adaptiveState));
    put("rdm", onOff(m_rdmEnabledState));
    put("band58", onOff(m_highbandState % 2));

    const struct
    {
        int band;
        const QStringList &powers;
        int index;
        const char *power;
        const char *mask;
    } bands[] = {
        {Band::Band24, powerList24, power24Index, "power24", "mask24"},
        {Band::Band52, powerList52, power52Index, "power52", "mask52"},
        {Band::Band58, powerList58, power58Index, "power58", "mask58"},
    };
    for (const auto &b : bands) {
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
    setup.exported = QDateTime::currentDateTime();
    return setup;
}

int Configurator::bandOfKey(const QString &key)
{
    return key.endsWith(QLatin1String("24"))   ? int(Band::Band24)
           : key.endsWith(QLatin1String("52")) ? int(Band::Band52)
           : key.endsWith(QLatin1String("58")) ? int(Band::Band58)
                                               : -1;
}

bool Configurator::offersSetting(const QString &key) const
{
    const RadioCapabilities &caps = radioCapabilities;
    if (key.startsWith(QLatin1String("mask")))
        return offersBand(bandOfKey(key));
    if (key.startsWith(QLatin1String("power"))) {
        const int band = bandOfKey(key);
        const QStringList &powers = band == Band::Band24 ? powerList24 : band == Band::Band52 ? powerList52 : powerList58;
        return offersBand(band) && !powers.isEmpty() && powers != dashTable;
    }
    if (protocolLevel() == 0)
        return false;
    if (key == QLatin1String("label"))
        return offersLabel();
    if (key == QLatin1String("mode"))
        return !m_listForRadioMode.isEmpty();
    if (key == QLatin1String("direction"))
        return !m_listForDirection.isEmpty();
    if (key == QLatin1String("adaptive"))
        return caps.adaptiveHopping && m_adaptiveState >= 0;
    if (key == QLatin1String("rdm"))
        return caps.rdm && m_rdmEnabledState >= 0;
    if (key == QLatin1String("band58"))
        return caps.band58Switch == 1 && m_highbandState >= 0;
    return false;
}

QList<Configurator::SetupRefusal> Configurator::applySetup(const RadioSetup &setup, SetupOptions options,
                                                           QStringList *skipped)
{
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
        // A value that means what is shown already changes nothing: the
        // radio keeps its bytes as it reported them.
        auto choose = [&, value = value](const QStringList &options, int shown, std::function<void(int)> apply) {
            if (options.isEmpty())
                return refuse(QStringLiteral("not offered by this radio"), true);
            const int index = optionIndex(options, value, byIndex);
            if (index < 0)
                return refuse(QStringLiteral("\"%1\" is not offered; allowed: %2").arg(value, allowed(options)));
            if (index != shown)
                changes << [apply, index] { apply(index); };
        };
        // Only a switch the radio reports is offered, so the state is 0 or more.
        auto onOff = [](int state) { return state != 0 ? 1 : 0; };

        // A legacy radio takes one frame: its 2.4 GHz mask and power.
        if (!offersSetting(key)) {
            const bool band = key.startsWith(QLatin1String("power")) || key.startsWith(QLatin1String("mask"));
            refuse(legacy ? QStringLiteral("a legacy radio takes only power24 and mask24")
                   : band && !offersBand(bandOfKey(key)) ? QStringLiteral("this radio has no such band")
                                                         : QStringLiteral("not offered by this radio"),
                   true);
            continue;
        }

        if (key == QLatin1String("label")) {
            // The label shown is the radio's, its padding trimmed: sent again
            // it would go back padded with NULs, and a radio's own setup
            // applied to it would rewrite its label for nothing. Whatever the
            // radio holds may come back unchanged, even where a new label
            // would be refused.
            const QString problem = labelProblem(value);
            if (value == cutAtNul(m_deviceLabel))
                continue;
            else if (!problem.isEmpty())
                refuse(problem);
            else
                changes << [this, value = value] { on_deviceLabel_textChanged(value); };
        } else if (key == QLatin1String("mode")) {
            choose(m_listForRadioMode, radioModeIndex, [this](int i) {
                on_radioMode_currentIndexChanged(i);
                m_presentRadioMode = m_listForRadioMode.value(i);
            });
        } else if (key == QLatin1String("direction")) {
            choose(m_listForDirection, directionIndex, [this](int i) {
                on_direction_currentIndexChanged(i);
                m_presentTransmitterMode = m_listForDirection.value(i);
            });
        } else if (key == QLatin1String("adaptive")) {
            choose(adaptiveOptions, onOff(m_adaptiveState),
                   [this](int i) { on_adaptiveHopping_currentIndexChanged(i); });
        } else if (key == QLatin1String("rdm")) {
            choose(rdmOptions, onOff(m_rdmEnabledState),
                   [this](int i) { on_enableRDM_currentIndexChanged(i); });
        } else if (key == QLatin1String("band58")) {
            choose(offOnTable, m_highbandState % 2,
                   [this](int i) { on_enable58_currentIndexChanged(i); });
        } else {
            // power and mask keys; RadioSetup knows no others.
            const int number = bandOfKey(key);
            QStringList *powers = number == Band::Band24 ? &powerList24
                                  : number == Band::Band52 ? &powerList52
                                                           : &powerList58;
            QString *present = number == Band::Band24 ? &presentPower24
                               : number == Band::Band52 ? &presentPower52
                                                        : &presentPower58;
            const int shownPower = number == Band::Band24 ? power24Index
                                   : number == Band::Band52 ? power52Index
                                                            : power58Index;
            if (key.startsWith(QLatin1String("power"))) {
                choose(*powers, shownPower, [this, number, powers, present](int i) {
                    powerList(number);
                    writePowerSettings(i);
                    *present = powers->value(i);
                    m_bandEdits[number].pinned = true;
                });
            } else {
                QList<int> channels;
                if (!RadioSetup::parseChannels(value, &channels)) {
                    refuse(QStringLiteral("\"%1\" is not a channel list of 1 to 84, such as 1-10,20").arg(value));
                } else {
                    bool changed = false;
                    for (int i = 0; i < Channels::perBand; ++i) {
                        bool &flag = masks[number * Channels::flagsPerBand + i];
                        changed = changed || flag != channels.contains(i + 1);
                        flag = channels.contains(i + 1);
                    }
                    if (changed)
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
        for (int band : maskBands) {
            maskingChanged(band);
            m_bandEdits[band].pinned = true;
        }
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
