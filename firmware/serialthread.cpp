#include "serialthread.h"

#include "usb/pacing.h"
#include "usb/protocol.h"

#include "usb/usbd.h"

#include <QDateTime>
#include <QDebug>

#include <cstring>

std::atomic<bool> SerialThread::stopRequested {false};

namespace {

// Bytes 2 and 3 of a version-1 handshake; the first byte is the update type.
constexpr quint8 handshakeTable[] = {0x02, 0x47, 0x11};
constexpr int handshakeTableSize = int(sizeof handshakeTable);

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

SerialThread::SerialThread(Usbd *usbd, QObject *parent)
    : QThread(parent)
    , vfp(std::make_unique<VFP>())
    , usbd(usbd)
{
}

SerialThread::~SerialThread()
{
    if (isRunning()) {
        stopProcess();
        wait();
    }
}

void SerialThread::startProcess(int type)
{
    if (isRunning()) {
        // Restarting the handshake under a running loop would change its
        // state from two threads at once.
        qDebug() << "SerialThread: startProcess: an upload is running, not started";
        return;
    }
    stopRequested = false;
    updateType = type;
    // Reset here and not when the run begins: a cancel that comes before the
    // new thread is scheduled has already written its status, and must not
    // be turned back into a success.
    uploadStatus = UploadStatus::Complete;
    startSync();
    qDebug() << "SerialThread: startProcess";
    start();
}

void SerialThread::stopProcess()
{
    qDebug() << "SerialThread: stopProcess";
    stopRequested = true;
}

void SerialThread::startSync()
{
    if (isRunning() && QThread::currentThread() != this) {
        qDebug() << "SerialThread: startSync: an upload is running, left alone";
        return;
    }
    uploadState = SYNC;
    syncIndex = 0;
    syncChecksum = 0;
    syncLength = 3;
    handshakeVersion = 1;
    waiting = false;
    if (updateType == 0)
        txByte = 0x02;
    else if (updateType == 1)
        txByte = 0x03;
    qDebug() << "SerialThread: startSync: CRC" << int(syncChecksum);
}

void SerialThread::restartSync()
{
    // An answer that came too late, or one more than expected, still waits
    // in the dongle; taken for the answer to the next byte it would throw
    // the two ends out of step for the rest of the upload.
    usbd->serialDataFlushInBuffer();
    startSync();
}

void SerialThread::idleIfNothingCame()
{
    // The dongle answers at once whether or not the bootloader has; asking
    // again straight away would keep a core busy for as long as the radio is
    // silent. A millisecond is far inside the handshake's 50 ms budget.
    if (rx == SerialInResult::NoByte)
        msleep(1);
}

void SerialThread::setOutBuffer(const QByteArray *buffer)
{
    outBuffer = buffer;
}

void SerialThread::run()
{
    qDebug() << "SerialThread:" << QThread::currentThread() << QThread::currentThreadId();
    qDebug() << "SerialThread: run: locking USB Port";
    usbd->usbLock->lock();
    qDebug() << "SerialThread: run: USB port locked";

    int mcuId = 2;
    restartsLeft = maxUploadRestarts;
    furthestFrame = -1;
    restarting = false;
    qDebug() << "SerialThread: run: Starting timer for the first time.";
    QElapsedTimer timer;
    timer.start();

    bool closingLine = true;
    while (!stopRequested) {
        if (uploadState == IDLE) {
            msleep(1);
            continue;
        }
        if (uploadState == SYNC) {
            syncPass(timer, mcuId);
            continue;
        }
        if (uploadState == FRAME) {
            const FrameEnd end = framePhase(timer, mcuId);
            if (end == FrameEnd::StartOver)
                continue;
            closingLine = end == FrameEnd::Ended;
            break;
        }
        // TERMINATE; a state the loop does not know ends the run the same way.
        qDebug() << "SerialThread: run: TERMINATE: terminate";
        uploadState = IDLE;
        qDebug() << "SerialThread: run: TERMINATE: Releasing usbLock";
        break;
    }

    usbd->usbLock->unlock();
    if (closingLine)
        qDebug() << "SerialThread: run: end: Releasing usbLock";
}

void SerialThread::syncPass(QElapsedTimer &timer, int &mcuId)
{
    if (syncIndex >= syncLength) {
        qDebug() << nowMs() << "SerialThread: run: SYNC : Complete, restarting timer.";
        uploadState = FRAME;
        waiting = false;
        return;
    }

    if (restarting && restartClock.elapsed() > Pacing::timeout(frameTimeoutMs)) {
        // The device answered the whole first upload but not a new
        // handshake: no more can be done from here.
        qDebug() << "SerialThread: run: SYNC: no handshake after starting over";
        uploadStatus = UploadStatus::Timeout;
        uploadState = TERMINATE;
        return;
    }

    if (timer.elapsed() > syncTimeoutMs) {
        qDebug() << "SerialThread: run: SYNC: Timed out, restarting timer.";
        timer.restart();
        restartSync();
    }

    if (!waiting) {
        qDebug() << "SerialThread: run: SYNC: Sending byte#" << syncIndex << "(" << int(txByte)
                 << ") CRC" << int(syncChecksum);
        char byte = char(txByte);
        usbd->serialDataOut(1, &byte);
        syncChecksum = quint8(syncChecksum + txByte);
        rx = -2;
        qDebug() << "SerialThread: run: SYNC: Sent byte, restarting sync timer. CRC" << int(syncChecksum);
        timer.restart();
        waiting = true;
    } else {
        rx = usbd->serialDataIn();
        idleIfNothingCame();
    }

    if (rx == SerialInResult::UsbFailure) {
        qDebug() << "SerialThread: run: SYNC: Invalid data received, USB error!";
        uploadStatus = UploadStatus::UsbError;
        uploadState = TERMINATE;
        return;
    }
    if (rx < 0)
        return;

    const auto acknowledgedV1 = [this] {
        syncLength = 3;
        handshakeVersion = 1;
        qDebug() << "SerialThread: run: SYNC: BLSS_ACK_V1 Received";
        waiting = false;
        ++syncIndex;
        // After the last acknowledge there is no next byte; the next pass
        // sees the handshake complete.
        if (syncIndex < handshakeTableSize)
            txByte = handshakeTable[syncIndex];
    };

    if (syncIndex == 0) {
        if (rx == BLSS_ACK_V1) {
            acknowledgedV1();
        } else if (rx == BLSS_ACK_V2) {
            syncChecksum = quint8(syncChecksum + BLSS_ACK_V2);
            syncLength = 4;
            handshakeVersion = 2;
            qDebug() << "SerialThread: run: SYNC: BLSS_ACK_V2 Received. CRC" << int(syncChecksum);
            waiting = false;
            ++syncIndex;
            txByte = syncChecksum;
        } else {
            qDebug() << "SerialThread: run: SYNC: Received wrong byte:" << rx;
            restartSync();
        }
        return;
    }

    if (handshakeVersion == 1) {
        if (rx == BLSS_ACK_V1) {
            acknowledgedV1();
        } else {
            qDebug() << "SerialThread: run: SYNC: Invalid ACK byte received, Restarting sequence.";
            restartSync();
        }
        return;
    }

    if (syncIndex == 1) {
        qDebug() << "SerialThread: run: SYNC: VERSION_2 Byte 1 received";
        syncIndex = 2;
    } else if (syncIndex == 2) {
        qDebug() << "SerialThread: run: SYNC: VERSION_2 Byte 2 received. MCUID:" << rx;
        mcuId = rx;
        syncIndex = 3;
    } else {
        qDebug() << "SerialThread: run: SYNC: Byte 3 Received";
        if (rx != syncChecksum) {
            qDebug() << "SerialThread: run: SYNC: Invalid Checksum received, Restarting sequence.";
            restartSync();
            return;
        }
        uploadState = FRAME;
    }
    syncChecksum = quint8(syncChecksum + rx);
    waiting = false;
    txByte = syncChecksum;
}



SerialThread::FrameEnd SerialThread::framePhase(QElapsedTimer &timer, int mcuId)
{
    restarting = false;
    outBuffer = vfp->selectBlock(mcuId);
    if (!outBuffer) {
        qDebug() << "No matching firmware in file!";
        uploadStatus = UploadStatus::FileError;
        emit fileError(true);
        return FrameEnd::EndedSilently;
    }

    const QByteArray &data = *outBuffer;
    const int size = data.size();
    if (size == 0) {
        // Nothing to write, and the radio has already left its application:
        // calling that a success would strand it in its bootloader.
        qDebug() << "SerialThread: run: FRAME: the block for MCU id" << mcuId << "holds no frames";
        uploadStatus = UploadStatus::FileError;
        emit fileError(true);
        return FrameEnd::EndedSilently;
    }
    qDebug() << "SerialThread::Run init progress bar";
    emit initUpdaterProgressBar(size);
    qDebug() << nowMs() << "SerialThread: run: FRAME: Initial start of timer.";
    timer.restart();

    int position = 0;
    int frameCount = 0;
    int crcErrors = 0;
    int length = 0;
    bool malformed = false;
    bool dongleGone = false;
    // Set when a reply may have carried the device's answer to the frame
    // being waited for and did not come whole, or the frame may not have
    // gone out: a time-out then need not mean the device has stopped.
    bool answerMayBeLost = false;
    char transmit[VFP::maxFrameBytes];

    while (!stopRequested && position < size && uploadState == FRAME) {
        if (timer.elapsed() > Pacing::timeout(frameTimeoutMs)) {
            qDebug() << nowMs() << "SerialThread: run: FRAME: #" << frameCount << "Timeout:"
                     << timer.elapsed();
            // An attempt that got further than the one before has earned
            // its restarts back: only attempts that stall at the same frame
            // or earlier use them up, so the run ends either way.
            if (frameCount > furthestFrame) {
                furthestFrame = frameCount;
                restartsLeft = maxUploadRestarts;
            }
            if (answerMayBeLost && restartsLeft > 0) {
                // Frames carry no number, so one the device has taken cannot
                // be sent again without writing it twice; a new handshake
                // starts the image over, which the device takes at any point.
                --restartsLeft;
                qDebug() << "SerialThread: run: FRAME: an answer may have been lost on the line;"
                         << "starting the upload over," << restartsLeft << "more times at most";
                restartSync();
                restarting = true;
                restartClock.start();
                timer.restart();
                return FrameEnd::StartOver;
            }
            uploadState = FrameTimeout;
            continue;
        }
        if (waiting) {
            rx = usbd->serialDataIn();
            if (rx == SerialInResult::ReplyLost)
                answerMayBeLost = true;
            idleIfNothingCame();
        } else {
            // The package check already refuses such blocks; this keeps any
            // buffer handed in through setOutBuffer from being read past.
            const int n = position + 2 <= size
                              ? (quint8(data.at(position)) << 8) | quint8(data.at(position + 1))
                              : -1;
            length = n + 2;
            if (n < 0 || length > VFP::maxFrameBytes || position + length > size) {
                qDebug() << "SerialThread: run: FRAME: #" << frameCount << "does not fit the block, not sent";
                malformed = true;
                break;
            }
            qDebug() << nowMs() << "SerialThread: run: FRAME: #" << frameCount << "Size:" << length;
            std::memcpy(transmit, data.constData() + position, size_t(length));
            answerMayBeLost = false;
            if (usbd->serialDataOut(length, transmit) != 0)
                answerMayBeLost = true; // the frame may or may not have gone
            rx = SerialInResult::NoByte;
            waiting = true;
            timer.restart();
        }

        if (rx == frameAccepted) {
            position += length;
            ++frameCount;
            timer.restart();
            waiting = false;
            emit setUpdaterProgressBar(position);
            crcErrors = 0;
        } else if (rx == frameCrcError) {
            qDebug() << "SerialThread: run: FRAME: CRC Error";
            ++crcErrors;
            if (crcErrors < maxFrameAttempts) {
                qDebug() << "SerialThread: run: FRAME: CRC: Trying again..." << crcErrors;
                waiting = false;
            } else {
                qDebug() << "SerialThread: run: FRAME: CRC: To many attempts...";
                qDebug() << "SerialThread: run: FRAME: CRC: Terminate";
                uploadState = CrcFailure;
            }
        } else if (rx == SerialInResult::UsbFailure) {
            // The dongle is gone: that is what the operator must hear, not
            // that the device answered something odd.
            qDebug() << "SerialThread: run: FRAME: USB error, the dongle is gone";
            dongleGone = true;
            break;
        } else if (rx >= 0) {
            uploadState = BadResponse;
        }
    }

    if (stopRequested)
        return FrameEnd::Ended; // the status stays as the canceller set it

    if (dongleGone) {
        uploadStatus = UploadStatus::UsbError;
    } else if (malformed) {
        uploadStatus = UploadStatus::FileError;
        emit fileError(true);
    } else if (uploadState == CrcFailure) {
        uploadStatus = UploadStatus::CrcError;
    } else if (uploadState == BadResponse) {
        uploadStatus = UploadStatus::UnknownResponse;
    } else if (uploadState == FrameTimeout) {
        uploadStatus = UploadStatus::Timeout;
    } else {
        uploadStatus = UploadStatus::Complete;
        qDebug() << "SerialThread: run: IDLE: Update Complete!";
    }
    uploadState = IDLE;
    qDebug() << "SerialThread: run: IDLE: Releasing usbLock";
    qDebug() << "SerialThread: run: IDLE: terminate";
    return FrameEnd::Ended;
}
