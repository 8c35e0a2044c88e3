#pragma once

#include "dongledriver.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QRecursiveMutex>
#include <QString>

class QTimer;

#include <atomic>
#include <limits>
#include <memory>

// The one object that owns the USB dongle: it finds and opens it, tells its
// application firmware from its bootloader, watches for it being unplugged,
// polls it for the radio behind it, speaks the dongle's 8-byte request
// protocol and carries command frames to the radio through the DMX slot
// buffers.
//
// It is driven by single-shot timers on the thread it lives on: a discovery
// attempt every 250 ms while no dongle is open, a monitoring tick every
// 300 ms once one is. Every exchange with the dongle holds `usbLock`.
//
// Usbd is given the driver it talks through and owns it for its lifetime.
class Usbd : public QObject
{
    Q_OBJECT

public:
    struct Version
    {
        int major;
        int minor;
        int build;

        bool is(int ma, int mi, int bu) const { return major == ma && minor == mi && build == bu; }
    };

    static constexpr int bufferSize = 134;
    static constexpr int maxFrameLength = bufferSize - 2;

    // `driver` may be null; the link then never finds a dongle.
    explicit Usbd(std::unique_ptr<DongleDriver> driver, QObject *parent = nullptr);

    // Past this point every exchange with the dongle fails at once, so a
    // readout or a command in its retries ends within moments instead of
    // running out every wait it has. A command line with a time limit sets
    // it; QDeadlineTimer::Forever (the default) lifts it. Any thread.
    void setDeadline(QDeadlineTimer deadline);
    bool pastDeadline() const;
    // The dongle's port no longer answers even a queue query: it was pulled
    // out (or closed), which no retry will mend.
    bool deviceGone();
    ~Usbd() override;

    // Public state, read (and `liveDataEnabled` written) by the device session
    // and the firmware update without accessors.
    QRecursiveMutex *usbLock;
    quint8 dmxInBuffer[bufferSize];
    quint8 dmxOutBuffer[bufferSize];
    int usbDongleType;
    int liveDataEnabled;
    quint16 checkValue;
    long comPort;
    // The port's name for external programmers (avrdude): "/dev/ttyUSB0", a
    // pseudo-terminal path or "COM5"; empty while no dongle is open.
    QString comPortName;
    Version dongleVersion;
    Version bootloaderVersion;
    int hardwareVersion;
    int protocolVersion;
    bool radioAttached;
    DongleDriver::Handle ftHandle;
    int ftStatus;

    bool isUsbAttached();
    bool isDmxAttached();
    void SetProtocolVersion(int version);
    void updateDongleInfo();

    DongleDriver *driver() const { return m_driver.get(); }

public slots:
    // Discovery and monitoring
    void scanUSB();
    void checkUSBDevice();
    void closeUSBDevice();
    void getVeltraInfo();
    void handleDeviceEvent(QString device, QString event);
    void handleErrorEvent(QString errorId, QString errorMsg);

    // Request protocol
    int usbSimpleRequest(int request, char *buffer, int timeout, int dataA = 0, int dataB = 0);
    int usbSerialOutRequest(int size, char *buffer, int timeout);
    int checkDongle3Boot();
    void getDongleVersion();
    void getDongleBootloaderVersion();
    int getDongleHardwareVersion();
    void enterDongleBootloader();
    void rebootDongle();
    int enterUpdaterMode();
    // -1 (and nothing sent) without a dongle running its application.
    int serialDataOut(int bytesToSend, char *data);
    // The next byte from the device (0 to 255), or a SerialInResult: the
    // dongle gone, no byte yet, or a reply that did not come whole.
    int serialDataIn();
    void serialDataFlushOutBuffer();
    void serialDataFlushInBuffer();

    // DMX slot buffers and command channel
    void setDmxSlot(int slot, int value);
    void getDmxSlot(int slot);
    void swapDmxOutBuffer();
    void swapDmxInBuffer();
    void swapDmxOutBufferAndWait();
    int swapDmxInBufferAndWait(int timeout = 3000);
    int direct_dmxInBufferReady();
    int direct_getDmxSlot(int slot);
    void direct_getDmxSlotBulk(int slot, quint8 *buffer);
    int getDmxInBuffer();
    int getDongleBufferSlot(int buffer, int slot);
    void defaultBufferToDmx();
    void restoreDefaultBuffer();
    void initDongleDMX();
    void dmxOff();
    // Both return 0 when every slot went out, -1 when a slot write failed or
    // the frame does not fit the buffer (nothing is sent then).
    int sendPacketWithCRC();
    int sendPacket();
    int checkIntegrity();
    int runDmxCommand(int command);
    void CRC16C_reset();
    void CRC16C_addByte(signed char byte);

signals:
    void deviceEvent(QString device, QString event);
    void dmxEvent(QString event);
    void slotInformation(int slot, int value);
    void errorEvent(QString errorId, QString errorMsg);
    void veltraInfo(bool connected, QString interfaceVersion);
    void usbAttached();
    void usbDetached();
    void dmxAttached();
    void dmxDetached();
    void shutdownApplication();
    void updateLiveData();
    void showDongleVersion();
    void showProtocolVersion(int version);
    void VELTRAOK();

private:
    void evaluateStatusReply(const quint8 *reply);
    void closeHandle();
    int frameLengthOf(const quint8 *buffer, const char *caller);
    int sendRequest(int request, char *buffer, int timeout, int dataA, int dataB, bool awaitLate);
    int exchange(const char *request, const char *payload, int payloadSize, char *reply, const char *caller,
                 bool awaitLate = false);
    // A request that only reads, tried again when its reply does not come
    // whole; 0 or -1 as usbSimpleRequest.
    int readRequest(int request, char *reply, int dataA = 0, int dataB = 0);
    // Seven input slots from `slot` on; false, and `buffer` untouched, when
    // they could not be read.
    bool readChunk(int slot, quint8 *buffer);
    // The protocol level a radio's first frame tells, or -1 when no frame
    // came whole and sound.
    int readFirstFrameLevel();
    void dropLateReplies();
    int writeSlot(int slot, int value);
    int sendSlots(int length, const char *caller);
    bool firmwareAtLeast(int major, int minor) const;

    void armTimer(int ms, void (Usbd::*next)());

    std::unique_ptr<DongleDriver> m_driver;
    // Reply bytes of earlier requests that did not come within their read
    // window and may still be on their way.
    int m_owedReplyBytes = 0;
    std::atomic<qint64> m_deadlineNs {std::numeric_limits<qint64>::max()};
    QTimer *m_tick;
    void (Usbd::*m_next)() = &Usbd::scanUSB;
    // Monitoring counters; they outlive any one dongle on purpose.
    int statusPollCounter = 0;
    int radioMissCounter = 0;
};
