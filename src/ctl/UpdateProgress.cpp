#include "UpdateProgress.h"

#include "CtlOutput.h"

#include <QLocale>

#include <cmath>

UpdateProgress::UpdateProgress(QHash<QString, qint64> sizes, bool redrawLine)
    : imageSizes(std::move(sizes))
    , redraw(redrawLine)
{
}

QString UpdateProgress::transferText(const QString& processor, double progress,
                                     std::optional<double> bytesPerSecond, qint64 imageSize)
{
    QString text = QStringLiteral("%1: sending %2%").arg(processor).arg(int(progress * 100));
    if (!bytesPerSecond || *bytesPerSecond <= 0 || imageSize <= 0)
        return text;
    const double left = double(imageSize) * (1 - progress) / *bytesPerSecond;
    const int seconds = int(std::ceil(left));
    return text + QStringLiteral("  %1 KB/s  %2:%3 left")
                      .arg(QLocale::c().toString(*bytesPerSecond / 1024, 'f', 1))
                      .arg(seconds / 60)
                      .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void UpdateProgress::show(const QVariantMap& properties, Clock::time_point now)
{
    const QString state = properties.value(QStringLiteral("UpdateState")).toString();
    const QString processor = properties.value(QStringLiteral("UpdateProcessor")).toString();
    const double progress =
        std::clamp(properties.value(QStringLiteral("UpdateProgress")).toDouble(), 0.0, 1.0);
    const int page = properties.value(QStringLiteral("UpdatePage")).toInt();
    const int pages = properties.value(QStringLiteral("UpdateTotalPages")).toInt();
    if (state != QLatin1String("preparing") && state != QLatin1String("transferring") &&
        state != QLatin1String("flashing"))
        return;

    const QString nowPhase = state + processor;
    const bool newPhase = nowPhase != phase;
    if (newPhase) {
        phase = nowPhase;
        phaseStart = now;
        progressAtStart = progress;
        tenths = -1;
    }

    QString text;
    int nowTenths = 0;
    if (state == QLatin1String("preparing")) {
        text = processor.isEmpty() ? QStringLiteral("Preparing the update")
                                   : QStringLiteral("%1: preparing").arg(processor);
    } else if (state == QLatin1String("transferring")) {
        const qint64 size = imageSizes.value(processor);
        const double elapsed = std::chrono::duration<double>(now - phaseStart).count();
        std::optional<double> rate;
        if (elapsed >= 0.5 && progress > progressAtStart)
            rate = (progress - progressAtStart) * double(size) / elapsed;
        text = transferText(processor, progress, rate, size);
        nowTenths = int(progress * 10);
    } else if (pages > 0) {
        text = QStringLiteral("%1: flashing page %2/%3").arg(processor).arg(page).arg(pages);
    } else {
        const QString status = properties.value(QStringLiteral("UpdateMessage")).toString();
        text = status.isEmpty() ? QStringLiteral("%1: flashing").arg(processor)
                                : QStringLiteral("%1: flashing (%2)").arg(processor, status);
        nowTenths = pages > 0 ? page * 10 / pages : 0;
    }

    if (redraw) {
        if (text != shown)
            Out::partial(QStringLiteral("\r") + text + QStringLiteral("\033[K"));
        shown = text;
        return;
    }
    if (newPhase || nowTenths > tenths)
        Out::line(text);
    tenths = std::max(tenths, nowTenths);
}

void UpdateProgress::end()
{
    if (redraw && !shown.isEmpty())
        Out::partial(QStringLiteral("\n"));
    shown.clear();
}
