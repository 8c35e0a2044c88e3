#pragma once

#include "usb/dongledriver.h"

#include <memory>

class VirtualDongle;
class WireModel;
struct SimProfile;

// The dongle link's driver for the in-process simulator: D2XX calls turned
// into bytes for a VirtualDongle. Without a wire model, reads return at once
// with what the dongle has answered (it answers as soon as a request is
// complete), so a test with instant pacing runs at the speed of the code.
// With one, a write returns when its bytes have left, and a read waits up to
// its time-out for what the chip delivers, as D2XX does. A handle opened before an
// unplug stays stale after a replug, as a real one does.
class SimDriver : public DongleDriver
{
public:
    explicit SimDriver(std::shared_ptr<VirtualDongle> dongle, long comPortNumber = 9,
                       std::shared_ptr<WireModel> wire = {});

    // The dongle a profile describes, behind the wire model when the profile
    // asks for the line's real time.
    static std::unique_ptr<SimDriver> forProfile(const SimProfile &profile,
                                                 std::shared_ptr<VirtualDongle> *dongle = nullptr);
    WireModel *wire() const { return m_wire.get(); }

    VirtualDongle &dongle() const { return *m_dongle; }

    QList<Found> find(const QByteArray &description) override;
    int openByDescription(const QByteArray &description, Handle *handle) override;
    int comPortNumber(Handle handle, long *port) override;
    int resetDevice(Handle handle) override;
    int setBaudRate(Handle handle, unsigned baud) override;
    int purge(Handle handle, unsigned mask) override;
    int setTimeouts(Handle handle, unsigned readMs, unsigned writeMs) override;
    int write(Handle handle, const char *data, unsigned count, unsigned *written) override;
    int read(Handle handle, char *data, unsigned count, unsigned *received) override;
    int queueStatus(Handle handle, unsigned *rxBytes, unsigned *txBytes,
                    unsigned *events) override;
    int close(Handle handle) override;
    QString portName(Handle handle) const override;

private:
    int check(Handle handle) const;

    std::shared_ptr<VirtualDongle> m_dongle;
    std::shared_ptr<WireModel> m_wire;
    unsigned m_readTimeoutMs = 100;
    unsigned m_writeTimeoutMs = 100;
    long m_comPort;
    Handle m_open = noHandle;
    quint64 m_generation = 0;
    Handle m_nextHandle = 1;
};
