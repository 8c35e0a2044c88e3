#pragma once

#include "simprofile.h"
#include "simtrace.h"
#include "stk500bootloader.h"
#include "radioapplication.h"
#include "radiobootloader.h"
#include "virtualradio.h"

#include <QByteArray>

#include <array>
#include <deque>
#include <functional>
#include <mutex>

// The USB dongle, modelled at the byte level of its serial line.
//
// Its application firmware takes 8-byte requests (byte 1 the code, dataA in
// bytes 2-3, dataB in bytes 4-5 with byte 5 holding bits 7-14) and answers
// each with 8 bytes; the serial-out request 0x20 is followed by its payload.
// It keeps the DMX output buffer being written, the one transmitted and the
// input buffer latched from the radio with its ready flag, runs or stops DMX
// output (only then is the radio seen), forwards the serial channel to the
// radio in updater mode (where the radio's bootloader answers), and reboots
// or enters its STK500 bootloader on request. Replies are produced as soon
// as a request is complete: nothing here sleeps, so the host's own pauses
// set the pace.
//
// Time comes from a clock given at construction (microseconds; by default the
// dongle link's pacing clock, which also advances over skipped waits). A
// request whose bytes are interrupted by a pause of 50 ms or more is dropped,
// as the firmware does, which also disposes of the bootloader probe's two
// bytes when the application is running.
//
// Thread-safe: every member takes the dongle's lock.
class VirtualDongle
{
public:
    enum class Mode { Application, Bootloader };

    static const char description[];
    static constexpr int bufferSlots = 134;
    static constexpr qint64 requestIdleUs = 50000;

    explicit VirtualDongle(const SimProfile &profile = SimProfile(),
                           std::function<qint64()> clockUs = {});
    ~VirtualDongle();

    VirtualDongle(const VirtualDongle &) = delete;
    VirtualDongle &operator=(const VirtualDongle &) = delete;

    // --- the serial line, host side
    bool isPlugged() const;
    // Changes on every unplug, so the host can tell that its handle is stale.
    quint64 plugGeneration() const;
    void hostWrite(const QByteArray &bytes);
    QByteArray hostRead(int maxBytes);
    int hostPending() const;
    // The host dropped what waited for it.
    void hostPurge();
    void setLineSpeed(unsigned baud);
    unsigned lineSpeed() const;

    // --- control: demos and fault injection
    void unplug();
    void replug();
    // The next `count` replies to the host are lost.
    void dropReplies(int count);
    // The next `count` replies to request `code` are lost.
    void dropRepliesTo(quint8 code, int count);
    // The next `count` frames from the radio that carry a check value arrive
    // with a wrong one.
    void corruptCheckValues(int count);
    void setRadioConnected(bool connected);
    // Another radio behind the dongle, as on a production line where radios
    // are swapped and the dongle stays: the profile's radio part describes it.
    void swapRadio(const SimProfile &profile);
    // The radio is seen, but none of its frames reach the input buffer.
    void stallInput(bool stalled);
    // DMX with its time: a command reaches the radio a frame after the
    // output swap, and the input buffer is ready only once the radio's next
    // frame after the input swap has come in. Off, both happen at once.
    void setDmxTiming(bool timed);

    // Direct access to the radio and the trace. Use them from one thread at
    // a time with the host traffic, or under lock().
    VirtualRadio &radio() { return m_radio; }
    // The radio's application firmware: identity, settings, what it stored.
    RadioUnit &radioUnit() { return m_radioUnit; }
    // The radio's bootloader, reached through updater mode and the serial
    // channel: its handshake version, MCU id, faults and what it received.
    RadioBootloader &radioBootloader() { return m_radioBootloader; }
    SimTrace &trace() { return m_trace; }
    std::unique_lock<std::recursive_mutex> lock() const;

    // --- observation
    const SimProfile &profile() const { return m_profile; }
    Mode mode() const;
    bool dmxRunning() const;
    // An upload began and no whole image followed: only the bootloader runs.
    bool radioInBootloader() const;
    bool updaterMode() const;
    int rebootCount() const;
    QByteArray outputBuffer() const;      // being written (request 0x01)
    const Stk500Bootloader &bootloader() const { return m_bootloader; }

    // --- traced frames, for tests
    // Every complete request frame from the host, in order (recording on).
    QList<QByteArray> requests() const;

private:
    void receiveApplicationByte(quint8 byte, qint64 now);
    void handleRequest(const QByteArray &frame);
    void finishSerialPayload();
    void sendToHost(const QByteArray &bytes, SimTrace::Kind kind);
    void latchRadioFrame();
    void settleInput(qint64 now);
    void cableRadio(const SimProfile &profile);
    // The production line of the profile's radios= list.
    void takeStoredRadioAway();
    void cableNextRadio();
    void startApplication();
    bool visible() const;

    mutable std::recursive_mutex m_mutex;
    std::function<qint64()> m_clockUs;
    SimProfile m_profile;
    SimTrace m_trace;
    VirtualRadio m_radio;
    RadioUnit m_radioUnit;
    RadioBootloader m_radioBootloader;
    bool m_radioInBootloader = false;
    Stk500Bootloader m_bootloader;

    bool m_plugged = true;
    quint64 m_generation = 1;
    Mode m_mode = Mode::Application;
    unsigned m_lineSpeed = 0;

    QByteArray m_request;
    qint64 m_lastByteUs = 0;
    int m_serialPayloadLeft = 0;
    QByteArray m_serialPayload;
    std::deque<char> m_toHost;

    std::array<quint8, bufferSlots> m_outWriting {};
    std::array<quint8, bufferSlots> m_outTransmitted {};
    std::array<quint8, bufferSlots> m_in {};
    bool m_inReady = false;
    bool m_dmxTimed = false;
    qint64 m_replyReadyUs = 0;
    qint64 m_latchAtUs = -1;
    bool m_dmxRunning = false;
    bool m_updaterMode = false;
    bool m_inputStalled = false;
    std::deque<quint8> m_serialIn;
    int m_reboots = 0;

    // Status polls until the next radio of the line is cabled (-1: none due).
    int m_radiosLeftIn = -1;
    int m_nextRadio = 1;

    int m_dropReplies = 0;
    quint8 m_dropCode = 0;
    int m_dropCodeReplies = 0;
    int m_corruptChecks = 0;
};
