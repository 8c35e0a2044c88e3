#include "screenshot.h"

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>

#include <cstdio>

namespace {
constexpr int pollMs = 100;
// Long enough for the dongle discovery, the first status polls and the
// view's transitions to show. Tests that only want the log of a start set
// VELTRA_SCREENSHOT_SETTLE_MS lower.
constexpr int defaultSettleMs = 1200;

int settleTime()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("VELTRA_SCREENSHOT_SETTLE_MS", &ok);
    return ok && ms >= 0 && ms <= 60000 ? ms : defaultSettleMs;
}
// A scene that never reports its view ready is captured as it is.
constexpr int giveUpMs = 20000;
} // namespace

Screenshot::Screenshot(QQmlApplicationEngine *engine, const QString &path, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_path(path)
    , m_poll(new QTimer(this))
    , m_settleMs(settleTime())
{
    m_poll->setInterval(pollMs);
    connect(m_poll, &QTimer::timeout, this, &Screenshot::poll);
    m_poll->start();
}

void Screenshot::poll()
{
    m_elapsedMs += pollMs;
    QQuickWindow *window = nullptr;
    const auto roots = m_engine->rootObjects();
    if (!roots.isEmpty())
        window = qobject_cast<QQuickWindow *>(roots.first());

    bool ready = false;
    if (window) {
        // The shell shows its views through a Loader; "ready" is its status 1.
        auto *loader = window->findChild<QQuickItem *>(QStringLiteral("mainLoader"));
        ready = !loader || loader->property("status").toInt() == 1;
    }
    if (ready && m_readySinceMs < 0)
        m_readySinceMs = m_elapsedMs;

    if ((m_readySinceMs >= 0 && m_elapsedMs - m_readySinceMs >= m_settleMs) || m_elapsedMs >= giveUpMs)
        capture();
}

void Screenshot::capture()
{
    m_poll->stop();
    const auto roots = m_engine->rootObjects();
    auto *window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.first());
    if (!window) {
        std::fprintf(stderr, "No window to capture.\n");
        QCoreApplication::exit(1);
        return;
    }
    QImage image = window->grabWindow();
    // The offscreen platform's backing store cannot hand the scene graph an
    // image, but its screen can copy what was drawn into the window.
    if (image.isNull() && window->screen())
        image = window->screen()->grabWindow(window->winId()).toImage();
    if (image.isNull() || !image.save(m_path, "PNG")) {
        std::fprintf(stderr, "Could not write the screenshot to %s\n", qPrintable(m_path));
        QCoreApplication::exit(1);
        return;
    }
    std::fprintf(stdout, "Screenshot written to %s\n", qPrintable(m_path));
    std::fflush(stdout);
    QCoreApplication::exit(0);
}
