#include "wiremodel.h"

#include "simprofile.h"
#include "virtualdongle.h"

#include <QStringList>

#include <algorithm>
#include <chrono>

bool WireModel::Settings::apply(const QString &key, const QString &value, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (key == QLatin1String("wire")) {
        if (value == QLatin1String("real"))
            enabled = true;
        else if (value == QLatin1String("instant"))
            enabled = false;
        else
            return fail(QStringLiteral("wire=%1: expected real or instant").arg(value));
    } else if (key == QLatin1String("latency")) {
        bool ok = false;
        const int ms = value.toInt(&ok);
        if (!ok || ms < 1 || ms > 255)
            return fail(QStringLiteral("latency=%1: expected 1 to 255 ms").arg(value));
        latencyMs = ms;
    } else if (key == QLatin1String("fault")) {
        const QStringList parts = value.split(QLatin1Char(':'));
        bool ok = true;
        const double rate = parts.size() == 2 ? parts.at(1).toDouble(&ok) : 1.0;
        if (parts.size() > 2 || !ok || rate < 0 || rate > 1)
            return fail(QStringLiteral("fault=%1: expected KIND or KIND:RATE with a rate from 0 to 1").arg(value));
        const QString kind = parts.at(0);
        if (kind == QLatin1String("late"))
            lateRate = rate;
        else if (kind == QLatin1String("split"))
            splitRate = rate;
        else if (kind == QLatin1String("drop"))
            dropRate = rate;
        else if (kind == QLatin1String("garbage"))
            garbageRate = rate;
        else
            return fail(QStringLiteral("fault=%1: kinds are late, split, drop, garbage").arg(value));
    } else if (key == QLatin1String("unplug")) {
        bool ok = false;
        const int bytes = value.toInt(&ok);
        if (!ok || bytes < 1)
            return fail(QStringLiteral("unplug=%1: expected a number of host bytes").arg(value));
        unplugAfter = bytes;
    } else if (key == QLatin1String("seed")) {
        bool ok = false;
        const uint s = value.toUInt(&ok);
        if (!ok)
            return fail(QStringLiteral("seed=%1: expected a number").arg(value));
        seed = s;
    } else {
        return false;
    }
    return true;
}

WireModel::WireModel(const Settings &settings)
    : m_settings(settings)
    , m_random(settings.seed)
    , m_unplugAfter(settings.unplugAfter)
{
}

WireModel::~WireModel() = default;

std::shared_ptr<VirtualDongle> WireModel::makeDongle(const SimProfile &profile, std::shared_ptr<WireModel> *wire)
{
    if (!profile.wire.enabled)
        return std::make_shared<VirtualDongle>(profile);
    auto line = std::make_shared<WireModel>(profile.wire);
    auto dongle = std::make_shared<VirtualDongle>(profile, line->dongleClock());
    dongle->setDmxTiming(true);
    line->attach(dongle);
    if (wire)
        *wire = line;
    return dongle;
}

qint64 WireModel::nowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

qint64 WireModel::byteUs(unsigned baud)
{
    // Start bit, eight data bits, stop bit. The line always has a speed:
    // byteTime() stands in 57600 for a dongle never set to one.
    return (10 * 1000000 + baud / 2) / baud;
}

std::function<qint64()> WireModel::dongleClock()
{
    return [this] {
        const qint64 event = m_eventUs.load();
        return event >= 0 ? event : nowUs();
    };
}

void WireModel::attach(std::shared_ptr<VirtualDongle> dongle)
{
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    m_dongle = std::move(dongle);
}

qint64 WireModel::byteTime() const
{
    return byteUs(m_dongle && m_dongle->lineSpeed() ? m_dongle->lineSpeed() : 57600);
}

bool WireModel::chance(double rate)
{
    if (rate <= 0)
        return false;
    const bool hit = std::uniform_real_distribution<double>(0, 1)(m_random) < rate;
    m_faultsMade += hit ? 1 : 0;
    return hit;
}

qint64 WireModel::write(const QByteArray &bytes)
{
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    const qint64 now = nowUs();
    advance(now);
    const qint64 step = byteTime();
    qint64 t = std::max(now, m_downFreeUs);
    for (char byte : bytes) {
        t += step;
        m_toDongle.push_back({t, byte});
    }
    m_downFreeUs = t;
    return t;
}

void WireModel::collectReply(qint64 atUs)
{
    const QByteArray reply = m_dongle->hostRead(m_dongle->hostPending());
    if (reply.isEmpty())
        return;
    QByteArray bytes = reply;
    qint64 start = std::max(atUs + processingUs, m_upFreeUs);
    if (chance(m_settings.lateRate))
        start += lateUs;
    if (chance(m_settings.garbageRate))
        bytes.prepend(char(std::uniform_int_distribution<int>(0, 255)(m_random)));
    if (chance(m_settings.dropRate) && !bytes.isEmpty())
        bytes.remove(std::uniform_int_distribution<int>(0, bytes.size() - 1)(m_random), 1);
    int splitAt = -1;
    if (bytes.size() > 1 && chance(m_settings.splitRate))
        splitAt = std::uniform_int_distribution<int>(1, bytes.size() - 1)(m_random);
    const qint64 step = byteTime();
    qint64 t = start;
    for (int i = 0; i < bytes.size(); ++i) {
        // A split reply pauses on the line for longer than the chip waits.
        if (i == splitAt)
            t += (m_settings.latencyMs + 5) * 1000;
        t += step;
        m_toChip.push_back({t, bytes.at(i)});
    }
    m_upFreeUs = t;
}

void WireModel::advance(qint64 now)
{
    if (!m_dongle)
        return;
    const qint64 latencyUs = qint64(m_settings.latencyMs) * 1000;
    for (;;) {
        // The earliest of: a byte reaching the dongle, a byte reaching the
        // chip, the chip's latency timer.
        qint64 next = now + 1;
        int which = -1;
        if (!m_toDongle.empty() && m_toDongle.front().us <= now && m_toDongle.front().us < next) {
            next = m_toDongle.front().us;
            which = 0;
        }
        if (!m_toChip.empty() && m_toChip.front().us <= now && m_toChip.front().us < next) {
            next = m_toChip.front().us;
            which = 1;
        }
        if (!m_chip.empty() && m_chipSinceUs + latencyUs <= now && m_chipSinceUs + latencyUs < next) {
            next = m_chipSinceUs + latencyUs;
            which = 2;
        }
        if (which < 0)
            return;
        if (which == 0) {
            const Timed t = m_toDongle.front();
            m_toDongle.pop_front();
            ++m_bytesToDongle;
            m_eventUs = t.us;
            m_dongle->hostWrite(QByteArray(1, t.byte));
            collectReply(t.us);
            m_eventUs = -1;
            if (m_unplugAfter > 0 && --m_unplugAfter == 0) {
                m_dongle->unplug();
                m_toDongle.clear();
                m_toChip.clear();
                m_chip.clear();
                m_host.clear();
            }
        } else if (which == 1) {
            const Timed t = m_toChip.front();
            m_toChip.pop_front();
            ++m_bytesToHost;
            if (m_chip.empty())
                m_chipSinceUs = t.us;
            m_chip.push_back(t.byte);
            if (int(m_chip.size()) >= chipPacketBytes) {
                m_host.insert(m_host.end(), m_chip.begin(), m_chip.end());
                m_chip.clear();
            }
        } else {
            m_host.insert(m_host.end(), m_chip.begin(), m_chip.end());
            m_chip.clear();
        }
    }
}

QByteArray WireModel::read(int maxBytes)
{
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    advance(nowUs());
    QByteArray bytes;
    while (maxBytes-- > 0 && !m_host.empty()) {
        bytes.append(m_host.front());
        m_host.pop_front();
    }
    return bytes;
}

int WireModel::pending()
{
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    advance(nowUs());
    return int(m_host.size());
}

void WireModel::purgeReceive()
{
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    advance(nowUs());
    m_lostToPurge += int(m_host.size() + m_chip.size());
    m_host.clear();
    m_chip.clear();
}

qint64 WireModel::nextDeliveryUs()
{
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    const qint64 now = nowUs();
    advance(now);
    if (!m_host.empty())
        return now;
    qint64 next = -1;
    auto consider = [&next](qint64 t) {
        if (next < 0 || t < next)
            next = t;
    };
    const qint64 latencyUs = qint64(m_settings.latencyMs) * 1000;
    if (!m_chip.empty())
        consider(m_chipSinceUs + latencyUs);
    if (!m_toChip.empty())
        consider(m_toChip.front().us);
    // A byte still on its way to the dongle may make it answer.
    if (!m_toDongle.empty())
        consider(m_toDongle.front().us);
    return next;
}

void WireModel::unplugAfter(int hostBytes)
{
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    m_unplugAfter = hostBytes;
}

int WireModel::lostToPurge() const
{
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    return m_lostToPurge;
}

int WireModel::faultsMade() const
{
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    return m_faultsMade;
}

qint64 WireModel::bytesToDongle() const
{
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    return m_bytesToDongle;
}

qint64 WireModel::bytesToHost() const
{
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    return m_bytesToHost;
}
