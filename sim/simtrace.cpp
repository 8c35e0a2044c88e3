#include "simtrace.h"

#include <QTextStream>

SimTrace::SimTrace(std::function<qint64()> clockUs)
    : m_clockUs(std::move(clockUs))
    , m_originUs(m_clockUs())
{
}

SimTrace::~SimTrace() = default;

bool SimTrace::openFile(const QString &path, QString *error)
{
    m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error)
            *error = QStringLiteral("cannot write the trace to %1: %2").arg(path, m_file.errorString());
        return false;
    }
    return true;
}

QString SimTrace::tag(Kind kind)
{
    switch (kind) {
    case Request: return QStringLiteral(">");
    case Reply: return QStringLiteral("<");
    case SerialOut: return QStringLiteral("S>");
    case BootIn: return QStringLiteral("B>");
    case BootOut: return QStringLiteral("B<");
    case RadioIn: return QStringLiteral("R>");
    case RadioOut: return QStringLiteral("R<");
    case Event: return QStringLiteral("#");
    }
    return QString();
}

QString SimTrace::format(const Entry &entry) const
{
    const QString time = QStringLiteral("%1").arg(double(entry.timeUs - m_originUs) / 1000.0, 11, 'f', 3);
    const QString hex = QString::fromLatin1(entry.bytes.toHex(' '));
    if (entry.kind == Event)
        return time + QStringLiteral(" # ") + entry.note + (hex.isEmpty() ? QString() : QStringLiteral(": ") + hex);
    QString line = time + QLatin1Char(' ') + QStringLiteral("%1").arg(tag(entry.kind), -2) + QLatin1Char(' ') + hex;
    if (!entry.note.isEmpty())
        line += QStringLiteral("  # ") + entry.note;
    return line;
}

void SimTrace::add(Kind kind, const QByteArray &bytes, const QString &note)
{
    if (!m_recording && !m_file.isOpen())
        return;
    Entry entry {m_clockUs(), kind, bytes, note};
    if (m_file.isOpen()) {
        const QByteArray line = format(entry).toUtf8() + '\n';
        m_file.write(line);
        m_file.flush();
    }
    if (m_recording)
        m_entries.push_back(std::move(entry));
}
