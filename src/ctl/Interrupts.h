#pragma once

#include <QObject>

class QSocketNotifier;

// Ctrl-C and SIGTERM as a signal of the event loop: the handler only writes to a pipe.
class Interrupts : public QObject {
    Q_OBJECT
public:
    explicit Interrupts(QObject* parent = nullptr);
    ~Interrupts() override;

    // An interrupt arrived (also while a blocking read, the password prompt, ran).
    static bool arrived();

Q_SIGNALS:
    void interrupted();

private:
    QSocketNotifier* notifier = nullptr;
};
