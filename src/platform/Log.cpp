#include "Log.h"

#include <QStringList>

#include <cstdio>

namespace Log {

namespace {
Capture* activeCapture = nullptr;
}

void line(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (activeCapture)
        activeCapture->captured.append(text);
}

Capture::Capture()
    : previous(activeCapture)
{
    activeCapture = this;
}

Capture::~Capture()
{
    activeCapture = previous;
}

} // namespace Log
