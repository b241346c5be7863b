#include "RunProbe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QQuickWindow>

#include <sys/resource.h>

#include <cstdio>

namespace {

qint64 cpuMicroseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto us = [](const timeval& t) { return qint64(t.tv_sec) * 1000000 + t.tv_usec; };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

// A figure goes out at once: the reader times its arrival.
void report(const char* line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

RunProbe* RunProbe::fromEnvironment(QObject* parent)
{
    const QByteArray asked = qgetenv("VELNORA_PROBE");
    if (asked.isEmpty())
        return nullptr;
    if (asked == "first-frame")
        return new RunProbe(0, parent);
    if (asked.startsWith("idle:")) {
        bool ok = false;
        const int seconds = asked.mid(5).toInt(&ok);
        if (ok && seconds > 0)
            return new RunProbe(seconds, parent);
    }
    qWarning("VELNORA_PROBE=%s is not understood; nothing is measured", asked.constData());
    return nullptr;
}

RunProbe::RunProbe(int idleSeconds, QObject* parent)
    : QObject(parent)
    , idleSeconds_(idleSeconds)
{
    sinceStart_.start();
    idleEnd_.setSingleShot(true);
    connect(&idleEnd_, &QTimer::timeout, this, &RunProbe::idleEnded);
}

void RunProbe::watch(QQuickWindow* window)
{
    // frameSwapped comes from the render thread when there is one.
    connect(
        window, &QQuickWindow::frameSwapped, this,
        [this] {
            if (!sawFirstFrame_) {
                sawFirstFrame_ = true;
                firstFrame();
            } else if (counting_) {
                ++frames_;
            }
        },
        Qt::QueuedConnection);
}

void RunProbe::firstFrame()
{
    char line[64];
    std::snprintf(line, sizeof line, "first-frame-ms %lld", qint64(sinceStart_.elapsed()));
    report(line);
    if (idleSeconds_ == 0) {
        QCoreApplication::quit();
        return;
    }
    counting_ = true;
    cpuAtStartUs_ = cpuMicroseconds();
    QCoreApplication::instance()->installEventFilter(this);
    idleEnd_.start(idleSeconds_ * 1000);
}

bool RunProbe::eventFilter(QObject* watched, QEvent* event)
{
    // Our own end-of-measurement timer is not the program's.
    if (counting_ && event->type() == QEvent::Timer && watched != &idleEnd_)
        ++timerEvents_;
    return false;
}

void RunProbe::idleEnded()
{
    counting_ = false;
    QCoreApplication::instance()->removeEventFilter(this);
    char line[160];
    std::snprintf(line, sizeof line, "idle-seconds %d timer-events %lld frames %lld cpu-ms %.1f",
                  idleSeconds_, timerEvents_, frames_,
                  double(cpuMicroseconds() - cpuAtStartUs_) / 1000.0);
    report(line);
    QCoreApplication::quit();
}
