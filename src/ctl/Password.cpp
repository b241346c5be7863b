#include "Password.h"

#include "Interrupts.h"

#include <QByteArray>

#include <cerrno>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

// One line from standard input, byte by byte so that nothing after it is consumed.
std::optional<QByteArray> readLine()
{
    QByteArray line;
    bool sawAnything = false;
    for (;;) {
        char c = 0;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) {
            if (Interrupts::arrived())
                return std::nullopt;
            continue;
        }
        if (n <= 0)
            break;
        sawAnything = true;
        if (c == '\n')
            break;
        line += c;
        if (line.size() > 1024)
            break; // no password is that long
    }
    if (!sawAnything)
        return std::nullopt;
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

std::optional<QString> readWifiPassword(const QString& ssid)
{
    if (isatty(STDIN_FILENO) != 1) {
        const std::optional<QByteArray> line = readLine();
        return line ? std::optional<QString>(QString::fromUtf8(*line)) : std::nullopt;
    }
    std::fprintf(stderr, "WiFi password for %s: ", ssid.toUtf8().constData());
    std::fflush(stderr);
    termios saved = {};
    const bool canHide = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (canHide) {
        termios hidden = saved;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    const std::optional<QByteArray> line = readLine();
    if (canHide)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputc('\n', stderr);
    return line ? std::optional<QString>(QString::fromUtf8(*line)) : std::nullopt;
}
