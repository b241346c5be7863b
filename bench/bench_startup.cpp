// Start-up and idle cost of the program against a bare Qt Quick Controls window:
//   bench_startup [RUNS] [IDLE_SECONDS]
// Each run starts a fresh process with stored terms already accepted, against a private system
// bus with the virtual chair on it (so the program opens on its disconnected screen), and takes
// the time from spawn to the first frame's report and the peak RSS of the whole process.
// Then the program idles on that screen for IDLE_SECONDS while its timer events, frames and
// CPU time are counted.
#include "VirtualChairBus.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Run {
    bool ok = false;
    double firstFrameMs = 0;
    double peakRssMiB = 0;
    std::string report; // the probe's last line
};

// Starts PROGRAM with extra environment entries and reads its reports until it exits.
Run runOnce(const char* program, const std::vector<std::string>& extraEnv)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const bool replaced = std::any_of(extraEnv.begin(), extraEnv.end(), [&](const auto& x) {
            return entry.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0;
        });
        if (!replaced)
            env.push_back(entry);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(program), nullptr};

    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return {};
    }

    Run run;
    std::string pending;
    char buffer[256];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
        pending.append(buffer, size_t(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line.rfind("first-frame-ms", 0) == 0 && run.firstFrameMs == 0)
                run.firstFrameMs = clock.nsecsElapsed() / 1e6;
            run.report = line;
        }
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && run.firstFrameMs > 0;
    run.peakRssMiB = usage.ru_maxrss / 1024.0; // kilobytes on Linux
    return run;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 11;
    const int idleSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 30;

    VirtualChairBus bus;
    if (!bus.start() || !bus.startChair()) {
        std::fprintf(stderr, "could not start the private bus and the virtual chair\n");
        return 1;
    }
    QTemporaryDir config;
    QDir(config.path()).mkpath(QStringLiteral("Velnora"));
    QFile store(config.filePath(QStringLiteral("Velnora/VelnoraDesktop.conf")));
    if (!store.open(QIODevice::WriteOnly) ||
        store.write("[General]\nacceptedTermsVersion=1.0\nanalyticsUserEmail=bench@example.com\n") <
            0) {
        std::fprintf(stderr, "could not write the settings\n");
        return 1;
    }
    store.close();
    const QByteArray platform = qEnvironmentVariableIsSet("QT_QPA_PLATFORM")
                                    ? qgetenv("QT_QPA_PLATFORM")
                                    : QByteArray("offscreen");
    const std::vector<std::string> common = {"DBUS_SYSTEM_BUS_ADDRESS=" +
                                                 bus.address().toStdString(),
                                             "XDG_CONFIG_HOME=" + config.path().toStdString(),
                                             "QT_QPA_PLATFORM=" + platform.toStdString()};
    auto with = [&](const char* probe) {
        auto env = common;
        env.push_back(std::string("VELNORA_PROBE=") + probe);
        return env;
    };

    std::vector<double> appMs, appRss, bareMs, bareRss;
    // Alternating, so that a slower moment of the machine hits both alike.
    for (int i = 0; i < runs; ++i) {
        const Run a = runOnce(VELNORA_PROGRAM, with("first-frame"));
        const Run b = runOnce(VELNORA_BARE_WINDOW, with("first-frame"));
        if (!a.ok || !b.ok) {
            std::fprintf(stderr, "run %d: %s did not show its first frame\n", i + 1,
                         a.ok ? "the bare window" : "the program");
            return 1;
        }
        appMs.push_back(a.firstFrameMs);
        appRss.push_back(a.peakRssMiB);
        bareMs.push_back(b.firstFrameMs);
        bareRss.push_back(b.peakRssMiB);
    }
    std::printf("start-up to first frame, %d runs each, medians (QPA %s)\n", runs,
                platform.constData());
    std::printf("%-22s %12s %14s\n", "", "first frame", "peak RSS");
    std::printf("%-22s %9.1f ms %10.1f MiB\n", "bare Qt Quick window", median(bareMs),
                median(bareRss));
    std::printf("%-22s %9.1f ms %10.1f MiB\n", "VelnoraDesktop", median(appMs), median(appRss));
    std::printf("%-22s %11.2fx %13.2fx\n", "ratio", median(appMs) / median(bareMs),
                median(appRss) / median(bareRss));
    std::fflush(stdout);

    const std::string idleProbe = "idle:" + std::to_string(idleSeconds);
    const Run idle = runOnce(VELNORA_PROGRAM, with(idleProbe.c_str()));
    if (!idle.ok) {
        std::fprintf(stderr, "the idle run failed\n");
        return 1;
    }
    std::printf("idle on the disconnected screen: %s\n", idle.report.c_str());
    return 0;
}
