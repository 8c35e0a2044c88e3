#pragma once

#include <QObject>
#include <QString>

class QQmlApplicationEngine;
class QQuickWindow;
class QTimer;

// Renders the scene's window to a PNG once the view has loaded and settled,
// then ends the event loop: 0 when the file was written, 1 otherwise. Used
// where no display exists and by tests that need to see the window.
class Screenshot : public QObject
{
    Q_OBJECT
public:
    Screenshot(QQmlApplicationEngine *engine, const QString &path, QObject *parent = nullptr);

private:
    void poll();
    void capture();

    QQmlApplicationEngine *m_engine;
    QString m_path;
    QTimer *m_poll;
    int m_elapsedMs = 0;
    int m_readySinceMs = -1;
    int m_settleMs;
};
