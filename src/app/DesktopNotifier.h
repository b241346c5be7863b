#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>

// Notices on the user's desktop through the freedesktop notification service. Without a bus or
// a service nothing is shown and nothing fails: the window tells the same story.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    // As the package installs them: the launcher's file name is also the icon's name.
    static inline const QString appName = QStringLiteral("VelnoraDesktop");
    static inline const QString desktopEntry = QStringLiteral("app.velnora.VelnoraDesktop");

    explicit DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    // A notice under the same key takes the place of the last one shown under it.
    void notify(const QString& summary, const QString& body, const QString& key);

private:
    void reportUnavailable(const QString& reason);

    QDBusConnection bus;
    QHash<QString, uint> shownIds;
    bool hasReportedUnavailable = false;
};
