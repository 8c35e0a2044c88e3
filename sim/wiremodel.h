#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>

class VirtualDongle;
struct SimProfile;

// The line between the host and the virtual dongle, given its real time.
//
// Bytes travel at the baud rate both ways (ten bits a byte: 174 us at
// 57600). The dongle starts answering a request a little after its last byte
// has arrived. What it sends lands in the USB chip's receive buffer, which
// reaches the host only when its latency timer runs out or the buffer is
// nearly full, as an FTDI chip does. A purge on the host empties the host's
// queue and the chip's buffer, never the bytes still on their way.
//
// Faults, each with a rate per reply: a reply that comes late (after the
// host's read window), a reply split across two deliveries, a lost byte,
// a garbage byte; and an unplug after a given number of host bytes.
//
// The wire keeps its own clock: the steady clock of the machine, never the
// product's pacing, so a missing or shortened wait on the host side shows.
// Thread-safe.
class WireModel
{
public:
    struct Settings
    {
        bool enabled = false;
        int latencyMs = 16;
        double lateRate = 0;
        double splitRate = 0;
        double dropRate = 0;
        double garbageRate = 0;
        quint32 seed = 1;
        // unplug=N: the dongle is pulled out after N bytes from the host.
        int unplugAfter = -1;
        // Parses one profile setting (wire=, latency=, fault=, seed=,
        // unplug=); false with `error` set when the value does not fit,
        // false with `error` untouched when the key is not the wire's.
        bool apply(const QString &key, const QString &value, QString *error);
    };

    static constexpr qint64 processingUs = 500;
    static constexpr qint64 lateUs = 150000;
    static constexpr int chipPacketBytes = 62;

    explicit WireModel(const Settings &settings);
    ~WireModel();

    // The virtual dongle a profile describes, behind a wire (returned in
    // `wire`, which is left as it was otherwise) when the profile asks for
    // the line's real time.
    static std::shared_ptr<VirtualDongle> makeDongle(const SimProfile &profile, std::shared_ptr<WireModel> *wire);

    // The clock the dongle at the far end must keep: the time of the byte
    // it is being handed, or now.
    std::function<qint64()> dongleClock();
    void attach(std::shared_ptr<VirtualDongle> dongle);

    static qint64 nowUs();
    static qint64 byteUs(unsigned baud);

    // Host side. write() returns when the last byte will have left the
    // host; the caller waits for that moment.
    qint64 write(const QByteArray &bytes);
    QByteArray read(int maxBytes);
    int pending();
    void purgeReceive();
    // When something next reaches the host (or -1 when nothing is on its
    // way): what a reader waits for.
    qint64 nextDeliveryUs();

    void unplugAfter(int hostBytes);
    const Settings &settings() const { return m_settings; }

    // Counts, for tests and benchmarks: bytes purged before the host read
    // them, bytes that crossed the line each way, replies a fault was laid on.
    int lostToPurge() const;
    int faultsMade() const;
    qint64 bytesToDongle() const;
    qint64 bytesToHost() const;

private:
    struct Timed
    {
        qint64 us;
        char byte;
    };

    void advance(qint64 now);
    void collectReply(qint64 atUs);
    qint64 byteTime() const;
    bool chance(double rate);

    Settings m_settings;
    std::shared_ptr<VirtualDongle> m_dongle;
    std::atomic<qint64> m_eventUs {-1};
    mutable std::recursive_mutex m_mutex;
    std::mt19937 m_random;

    std::deque<Timed> m_toDongle;
    std::deque<Timed> m_toChip;
    std::deque<char> m_chip;
    qint64 m_chipSinceUs = 0;
    std::deque<char> m_host;
    qint64 m_downFreeUs = 0;
    qint64 m_upFreeUs = 0;
    int m_unplugAfter = -1;
    int m_lostToPurge = 0;
    int m_faultsMade = 0;
    qint64 m_bytesToDongle = 0;
    qint64 m_bytesToHost = 0;
};
