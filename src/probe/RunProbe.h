#pragma once
// What the benchmarks and the package check measure of a running program, asked for through
// the environment so that the program itself is unchanged for its user:
//   VELNORA_PROBE=first-frame    print "first-frame-ms N" at the first frame shown, then quit
//   VELNORA_PROBE=idle:S         after the first frame, count for S seconds the timer events
//                                and frames of the main thread and the CPU time used, print
//                                them, then quit
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QQuickWindow;

class RunProbe final : public QObject {
    Q_OBJECT
public:
    // Null when the environment asks for nothing (or for something unknown, with a warning).
    static RunProbe* fromEnvironment(QObject* parent);

    // The window whose frames count; the first one shown starts the measurement.
    void watch(QQuickWindow* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit RunProbe(int idleSeconds, QObject* parent);
    void firstFrame();
    void idleEnded();

    int idleSeconds_; // 0: quit at the first frame
    bool sawFirstFrame_ = false;
    bool counting_ = false;
    qint64 timerEvents_ = 0;
    qint64 frames_ = 0;
    qint64 cpuAtStartUs_ = 0;
    QElapsedTimer sinceStart_;
    QTimer idleEnd_;
};
