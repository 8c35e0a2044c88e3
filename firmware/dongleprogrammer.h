#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

// What avrdude prints, read as the operator would: its lines for the log and
// its progress bars as one percentage for the whole update. avrdude draws a
// bar of 50 cells for writing the flash and another for reading it back to
// verify; without a terminal it prints the cells one by one as it goes, with
// one it redraws the line after a carriage return. Writing counts for the
// first half of the update and verifying for the second; a read before any
// write (older avrdude reads the signature that way) counts for nothing.
class AvrdudeOutput
{
public:
    // Takes the next bytes of output; returns the complete lines they ended.
    QStringList feed(const QByteArray &bytes);
    // The line still open when the output ends, if it holds anything.
    QString rest() const;
    int percent() const { return m_percent; }

private:
    void lineChanged();

    QByteArray m_line;
    bool m_written = false;
    int m_percent = 0;
};

// A child process that ends with the program that started it. avrdude
// holds the dongle's serial port until it exits; left running after a crash
// or a kill -9 of its parent it keeps the port from every later update. On
// Linux the kernel sends it SIGTERM when its parent goes, whatever way the
// parent went. Elsewhere the parent's destructor and its Ctrl-C handling stop
// it, which covers every way out but a hard kill.
class ChildProcess : public QProcess
{
public:
    ChildProcess();
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
protected:
    void setupChildProcess() override;
#endif
};

// Runs the dongle programmer (avrdude) beside the event loop, so the window
// keeps painting and answering while the flash is written. The outcome comes
// once through finished().
class DongleProgrammer : public QObject
{
    Q_OBJECT

public:
    enum Result { Written, Failed, NotStarted, Canceled };
    Q_ENUM(Result)

    // Writing and verifying a full flash takes well under a minute; a
    // programmer still busy after this has hung.
    static constexpr int limitMs = 180000;

    explicit DongleProgrammer(QObject *parent = nullptr);
    ~DongleProgrammer() override;

    // An argument list, never a command line: the file name reaches avrdude
    // exactly as chosen, whatever quotes or shell syntax it holds.
    void start(const QString &program, const QStringList &arguments, const QString &folder);
    // Stops the programmer. A dongle whose write stops keeps its bootloader,
    // so a second update can still write it.
    void cancel();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

signals:
    void progress(int percent);
    void finished(int result);

private:
    void readOutput();
    void end(int result);

    ChildProcess m_process;
    QTimer m_limit;
    AvrdudeOutput m_output;
    bool m_canceled = false;
    bool m_ended = true;
};
