#pragma once

#include "ChairEndpoint.h"
#include "CommandLine.h"
#include "UpdateProgress.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// Runs one command against the chair: finds and connects it first when this tool holds the
// link itself, acts, waits until the chair shows the effect, and lets the chair go at the end.
class CtlRun : public QObject {
    Q_OBJECT
public:
    struct Inputs {
        QString wifiPassword;
        QHash<QString, qint64> imageSizes; // update: bytes per processor
    };

    CtlRun(ChairEndpoint& chair, Action action, Inputs inputs, QObject* parent = nullptr);

    void start();
    // Ctrl-C: ends a watch, stops an update by letting the chair go, ends anything else.
    void interrupt();

Q_SIGNALS:
    void finished(int exitStatus);

private:
    using Then = std::function<void()>;

    void act();
    void fail(const ControlError& error);
    void fail(const QString& name, const QString& message) { fail(ControlError{name, message}); }
    void succeed(const QString& message);
    // Lets a chair of this tool's own go, then reports the exit status.
    void finish(int exitStatus);

    // A call whose failure ends the command.
    void call(const QString& method, const QVariantList& args, const Then& then);
    // A call that ends nothing; its answer may be ignored.
    void callAnyway(const QString& method, const QVariantList& args,
                    const std::function<void(const ControlOutcome&)>& answered);
    // Calls back once done() holds (true) or the time is up (false); no time: no limit.
    void waitFor(const std::function<bool()>& done, std::optional<std::chrono::milliseconds> time,
                 const std::function<void(bool)>& then);
    void resolveWait(bool done);
    void handleChanged(const QVariantMap& changed);

    QVariant value(const QString& name) const;
    QString state() const;
    bool holdsChair() const;

    void startScan(const Then& then, int attempt = 1);
    void findAndConnect(const Then& then);
    void connectTo(const QVariantMap& chair, const Then& then);

    void status();
    void scan();
    void disconnect();
    void leg();
    void wifiList();
    void wifiJoin();
    void joinWifi(const std::shared_ptr<bool>& left, const std::shared_ptr<QString>& error);
    void update();
    void followUpdate();
    void stopUpdate();
    void watch();

    ChairEndpoint& chair;
    Action action;
    Inputs inputs;
    // Moves on when the command ends or is interrupted: answers to older steps are ignored.
    quint64 step = 0;
    bool finishing = false;
    bool interrupted = false;
    bool updateRunning = false;

    std::function<void(const QVariantMap&)> observer;
    std::function<bool()> waitDone;
    std::function<void(bool)> waitThen;
    QTimer waitTimer;
    std::unique_ptr<UpdateProgress> progress;
};
