#pragma once

#include "vfp.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <memory>

class Usbd;

// Uploads one block of a firmware package to the bootloader of the radio or
// of its add-on board, byte by byte through the dongle's serial channel, on a
// thread of its own.
//
// A run first shakes hands (SYNC): the type byte, then either the fixed bytes
// 0x47 and 0x11 (version-1 bootloader) or a running sum that lets a version-2
// bootloader announce its MCU id. It then sends the frames of the package
// block for that MCU id one at a time (FRAME), each answered 0x11 (taken) or
// 0x22 (CRC error, sent again). The dongle's lock is held from the first byte
// to the last, so nothing else talks to the dongle meanwhile, and it is
// released on every way out.
//
// The object lives on the main thread; its slots run there. The signals are
// emitted from the upload thread, so receivers on the main thread get them
// queued. The owner reads `uploadStatus` once QThread::finished has arrived.
class SerialThread : public QThread
{
    Q_OBJECT

public:
    // uploadState
    enum State {
        IDLE = 0,
        SYNC = 1,
        FRAME = 2,
        TERMINATE = 3,
        FrameTimeout = 4,
        CrcFailure = 5,
        BadResponse = 6,
    };

    // Handshake and frame answers of the bootloader.
    static constexpr quint8 BLSS_ACK_V1 = 0x06;
    static constexpr quint8 BLSS_ACK_V2 = 0x07;
    static constexpr quint8 frameAccepted = 0x11;
    static constexpr quint8 frameCrcError = 0x22;

    static constexpr int syncTimeoutMs = 50;
    static constexpr int frameTimeoutMs = 2000;
    static constexpr int maxFrameAttempts = 10;
    // How often one run starts the image over after a frame whose answer
    // may have been lost on the line, without getting further than before.
    // With one reply in fifty losing a byte, more than half the passes of a
    // 40-frame image lose an answer somewhere; twelve keep the chance that
    // every pass does below one in a thousand.
    static constexpr int maxUploadRestarts = 12;

    explicit SerialThread(Usbd *usbd, QObject *parent = nullptr);
    // Stops a running upload and waits for it: the thread may hold the
    // dongle's lock, and killing it there would leave the lock taken forever.
    ~SerialThread() override;

    // The package; loaded by the owner before startProcess, read-only while
    // a run is under way.
    const std::unique_ptr<VFP> vfp;

    // 0 complete, 1 USB failure in the handshake, 2 no block for the MCU id,
    // 3 frame timeout, 4 unexpected answer, 5 ten CRC errors, 6 cancelled (set
    // by the owner).
    std::atomic<int> uploadStatus {0};
    int uploadState = IDLE;
    int syncIndex = 0;
    quint8 syncChecksum = 0;
    int syncLength = 3;
    int handshakeVersion = 1;

    // Set by stopProcess, cleared by startProcess, read by the loop once per
    // pass. One flag for the process, as there is one upload at a time.
    static std::atomic<bool> stopRequested;

public slots:
    void startProcess(int type);
    void stopProcess();
    void startSync();
    void setOutBuffer(const QByteArray *buffer);

signals:
    void initUpdaterProgressBar(int range);
    void setUpdaterProgressBar(int value);
    void fileError(bool value);
    void updateHandler(int mode, int status);

protected:
    void run() override;

private:
    void syncPass(QElapsedTimer &timer, int &mcuId);
    void idleIfNothingCame();
    // A handshake restart from inside the run.
    void restartSync();
    enum class FrameEnd { Ended, EndedSilently, StartOver };
    // EndedSilently: the run ends without its closing log line; StartOver:
    // the handshake runs again and the frames follow from the first.
    FrameEnd framePhase(QElapsedTimer &timer, int mcuId);

    Usbd *usbd;
    quint8 txByte = 0x02;
    int updateType = 0;
    bool waiting = false;
    int rx = -2;
    const QByteArray *outBuffer = nullptr;
    int restartsLeft = 0;
    // The frame the furthest attempt of this run timed out at.
    int furthestFrame = -1;
    // A handshake after starting over, timed by restartClock: a device
    // that took the whole first upload may not answer one any more.
    bool restarting = false;
    QElapsedTimer restartClock;
};
