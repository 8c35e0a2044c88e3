// Progress of a firmware upload as the scene shows it.
#include "configurator.h"

#include <QDebug>

void Configurator::initUpdaterProgressBar(int range)
{
    qDebug() << " here for range " << range;
    m_progressRange = range;
}

void Configurator::setUpdaterProgressBar(int value)
{
    if (value == m_progressValue)
        return;
    m_progressValue = value;
    // A package without data has no range: it counts as complete.
    m_progress = m_progressRange > 0 ? int(qint64(value) * 100 / m_progressRange) : 100;
    emit ProgressChanged();
}

void Configurator::fileError(bool value)
{
    m_fileErrorState = value;
    emit filetypeError();
}
