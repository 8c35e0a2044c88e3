// The device report written on Save & Disconnect, the hop-table copy and the
// log-folder shortcut.
#include "configurator.h"
#include "wholefile.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

using RadioFrames::cutAtNul;

QString Configurator::reportMaskBytes(int band)
{
    // The report shows the band as it is about to be stored: cut from the
    // combined list first, so that another band's flags never show here.
    splitMaskList(band);
    listToBitMask(band);
    QString text;
    for (int i = 0; i < 11; ++i)
        text += QStringLiteral("%1 ").arg(maskBytes[i], 2, 16, QLatin1Char('0'));
    return text;
}

QList<Configurator::ReportLine> Configurator::reportLines()
{
    QList<ReportLine> lines;
    auto line = [&lines](const QString &label, const QString &value) { lines.append(ReportLine{label, value}); };
    auto gap = [&lines] { lines.append(ReportLine()); };

    line(QStringLiteral("Date: "), QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    line(QStringLiteral("Configurator "), QStringLiteral("%1.%2 ").arg(4).arg(1) + m_svnRevision);
    gap();
    line(QStringLiteral("TRX Model:\t"), m_trxModel);
    line(QStringLiteral("TRX Serial:\t"), cutAtNul(m_trxSerial));
    line(QStringLiteral("TRX FW:\t\t"), m_trxVersion);
    line(QStringLiteral("TRX MCU:\t"), m_trxMCU + QLatin1Char(' ') + getModelFromSignature(m_trxMCU));
    line(QStringLiteral("TRX Code:\t"), m_trxCode + QLatin1Char(' ') + getModelFromSignature(m_trxCode));
    line(QStringLiteral("TRX HW:\t"), m_trxHWVersion);
    line(QStringLiteral("TRX BL:\t"), m_trxBootloader);
    gap();
    line(QStringLiteral("Dongle FW:\t"), m_dongleVersion);
    line(QStringLiteral("Dongle HW:\t"), m_dongleHWVersion);
    line(QStringLiteral("Dongle BL:\t"), m_dongleBootLoaderVersion);
    gap();
    line(QStringLiteral("Addon Version:\t"), m_addonVersion);
    gap();
    // A report is for people: a label the radio padded with NULs ends at the
    // first one, as its serial does.
    line(QStringLiteral("Device Label:\t"), cutAtNul(m_deviceLabel));
    line(QStringLiteral("Device UID:\t 7A3C"), m_radioID);
    line(QStringLiteral("Direction:\t"), m_listForDirection.value(directionIndex));
    line(QStringLiteral("Tx Mode:\t"), m_listForRadioMode.value(radioModeIndex));
    line(QStringLiteral("AFHSS:\t"), adaptiveOptions.value(m_adaptiveState));
    line(QStringLiteral("Downstream RDM:\t"), rdmOptions.value(m_rdmEnabledState));
    line(QStringLiteral("2.4GHz Power:\t"), powerList24.value(power24Index));
    line(QStringLiteral("2.4GHz Mask (Hex):\t"), reportMaskBytes(0));
    const QString power58 = powerList58.value(power58Index);
    line(QStringLiteral("5.8GHz Power:\t"), power58);
    line(QStringLiteral("5.8GHz Mask (Hex):\t"), power58 == QLatin1String("-") ? QStringLiteral("-") : reportMaskBytes(2));
    const QString power52 = powerList52.value(power52Index);
    line(QStringLiteral("5.2GHz Power:\t"), power52);
    line(QStringLiteral("5.2GHz Mask (Hex):\t"), power52 == QLatin1String("-") ? QStringLiteral("-") : reportMaskBytes(1));
    line(QStringLiteral("HopTable (Hex):\t"), cutAtNul(m_hopTable).replace(QLatin1Char('\n'), QLatin1Char(',')));
    return lines;
}

int Configurator::writeDeviceLog(QString fileName)
{
    const QString crlf = QStringLiteral("\r\n");
    QString report = QStringLiteral("Veltra Configurator TRX Data Dump\r\n");
    for (const ReportLine &line : reportLines())
        report += line.label + line.value + crlf;
    // Written whole or not at all: a report that cannot be written
    // completely leaves the earlier one as it was.
    QString error;
    if (!WholeFile::write(fileName, report.toUtf8(), &error)) {
        m_reportError = error;
        emit fileNotWritten(QStringLiteral("device report: ") + error);
        return 0;
    }
    m_reportError.clear();
    return 1;
}

QString Configurator::reportFileName() const
{
    return logFolderPath + QStringLiteral("trx_") + cutAtNul(m_trxSerial) + QStringLiteral(".txt");
}

void Configurator::on_clipboard_copy_pressed()
{
    // Without a GUI (the command-line front end) there is no clipboard.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        QGuiApplication::clipboard()->setText(m_hopTable, QClipboard::Clipboard);
    emit copyPressed();
}

void Configurator::on_openSystemLogFilePath_clicked()
{
    // The platform's own file browser, reached without any command line: a
    // folder name can never be taken for a command.
    QDesktopServices::openUrl(QUrl::fromLocalFile(logFolderPath));
}
