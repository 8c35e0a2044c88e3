#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>
#include <vector>

// A record of everything that crosses the virtual dongle: the host's requests
// and the dongle's replies, the serial payloads, the bootloader's bytes, the
// DMX frames exchanged with the radio, and events (unplug, faults). Kept in
// memory when recording is on (tests assert exact frames from it) and
// written line by line to a file when one is given (support, demos).
//
// One line per entry: milliseconds since the trace began, a tag, the bytes
// in hex and an optional note after "#"; events are "#" and their note:
//
//       12.345 >  00 10 00 00 00 00 00 00
//       12.351 <  10 03 02 00 07 00 00 00
//       40.002 # dongle unplugged
class SimTrace
{
public:
    enum Kind {
        Request,   // ">"  8-byte request from the host
        Reply,     // "<"  reply to the host
        SerialOut, // "S>" serial payload for the radio
        BootIn,    // "B>" bytes for the dongle's bootloader
        BootOut,   // "B<" the bootloader's answer
        RadioIn,   // "R>" DMX frame the radio received
        RadioOut,  // "R<" frame from the radio, latched into the input buffer
        Event,     // "#"  something happened
    };

    struct Entry
    {
        qint64 timeUs;
        Kind kind;
        QByteArray bytes;
        QString note;
    };

    explicit SimTrace(std::function<qint64()> clockUs);
    ~SimTrace();

    void setRecording(bool on) { m_recording = on; }
    // Starts writing to `path` (truncated); false with `error` set when it
    // cannot be opened.
    bool openFile(const QString &path, QString *error = nullptr);
    bool hasFile() const { return m_file.isOpen(); }

    void add(Kind kind, const QByteArray &bytes, const QString &note = QString());
    void addEvent(const QString &note) { add(Event, QByteArray(), note); }

    const std::vector<Entry> &entries() const { return m_entries; }
    void clear() { m_entries.clear(); }

    static QString tag(Kind kind);
    QString format(const Entry &entry) const;

private:
    std::function<qint64()> m_clockUs;
    qint64 m_originUs;
    bool m_recording = false;
    std::vector<Entry> m_entries;
    QFile m_file;
};
