#pragma once

#include <QString>
#include <QStringList>

// Diagnostic lines: one line per event on standard output, flushed at once so that a crash or a
// pipe never loses the last lines.
namespace Log {

void line(const QString& text);

// Observes every line while it lives (tests read the lines the program printed).
class Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    const QStringList& lines() const { return captured; }
    bool contains(const QString& text) const { return captured.contains(text); }
    void clear() { captured.clear(); }

private:
    QStringList captured;
    Capture* previous = nullptr;
    friend void line(const QString&);
};

} // namespace Log
