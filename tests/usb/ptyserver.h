#pragma once

// The virtual dongle served on a pseudo-terminal by veltra-sim-pty, for the
// suites that reach it through the real serial backend or a real avrdude; it
// ends with the test. Without VELTRA_SIM_PTY_EXE, only the HEX writer is left.

#include "config/wholefile.h"

#include <QtTest>

#ifdef VELTRA_SIM_PTY_EXE
struct PtyServer
{
    explicit PtyServer(const QStringList &arguments = QStringList())
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(VELTRA_SIM_PTY_EXE), arguments);
        path = nextLine();
    }
    ~PtyServer()
    {
        command("quit");
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    QString nextLine()
    {
        const bool line = QTest::qWaitFor([this] {
            return process.canReadLine() || (process.waitForReadyRead(50) && process.canReadLine());
        }, 10000);
        return line ? QString::fromLocal8Bit(process.readLine()).trimmed() : QString();
    }
    // One server command: unplug, replug, radio on|off, flash FILE, quit.
    void command(const QByteArray &line)
    {
        process.write(line + '\n');
        process.waitForBytesWritten(1000);
    }
    QProcess process;
    QString path;
};
#endif

// Intel HEX for `image` at address 0: 16-byte data records, then the end
// record; with badChecksum the first record's checksum is off by one.
inline bool writeIntelHex(const QString &path, const QByteArray &image, bool badChecksum = false)
{
    QByteArray text;
    const auto record = [&text](int address, char type, const QByteArray &data, bool bad) {
        QByteArray bytes;
        bytes.append(char(data.size())).append(char(address >> 8)).append(char(address)).append(type).append(data);
        quint8 sum = 0;
        for (char c : bytes)
            sum = quint8(sum - quint8(c));
        bytes.append(char(bad ? sum + 1 : sum));
        text += ':' + bytes.toHex().toUpper() + '\n';
    };
    for (int address = 0; address < image.size(); address += 16)
        record(address, 0x00, image.mid(address, 16), badChecksum && address == 0);
    record(0, 0x01, QByteArray(), false);
    return WholeFile::write(path, text, nullptr);
}
