#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

// One rule of a portal file filter: kind 0 is a glob ("*.zip"), kind 1 a MIME type.
struct PortalFilterRule {
    uint kind = 0;
    QString pattern;
    friend bool operator==(const PortalFilterRule&, const PortalFilterRule&) = default;
};

// A named filter as the portal takes it, D-Bus type (sa(us)).
struct PortalFileFilter {
    QString name;
    QList<PortalFilterRule> rules;
    friend bool operator==(const PortalFileFilter&, const PortalFileFilter&) = default;
};

QDBusArgument& operator<<(QDBusArgument& out, const PortalFilterRule& rule);
const QDBusArgument& operator>>(const QDBusArgument& in, PortalFilterRule& rule);
QDBusArgument& operator<<(QDBusArgument& out, const PortalFileFilter& filter);
const QDBusArgument& operator>>(const QDBusArgument& in, PortalFileFilter& filter);

Q_DECLARE_METATYPE(PortalFilterRule)
Q_DECLARE_METATYPE(PortalFileFilter)

// The desktop's own file picker, through the XDG desktop portal on the session bus. Where the
// desktop offers none, it says so, and the screen shows a picker of its own instead.
class FilePicker : public QObject {
    Q_OBJECT
    Q_PROPERTY(QUrl startFolder READ startFolder CONSTANT)

public:
    static inline const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
    static inline const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
    static inline const QString chooserInterface =
        QStringLiteral("org.freedesktop.portal.FileChooser");
    static inline const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

    // The portal's name for the window the picker belongs to ("x11:1a00007"), or empty.
    using ParentWindow = std::function<QString()>;
    explicit FilePicker(const QDBusConnection& bus, ParentWindow parentWindow = {},
                        QObject* parent = nullptr);
    // A picker still open is closed: its answer has nobody to go to.
    ~FilePicker() override;

    // Asks for one firmware package; answers with one of the signals below. Ignored while a
    // request is open.
    Q_INVOKABLE void openZip(const QString& title);
    bool isOpen() const { return !request.isEmpty(); }
    // Where the program's own picker opens: Downloads, where packages land, else home.
    QUrl startFolder() const;

    // The firmware package filter offered and preselected.
    static PortalFileFilter zipFilter();

Q_SIGNALS:
    void chosen(QUrl file);
    void cancelled();
    void failed();
    // No portal on this desktop: show the program's own picker.
    void unavailable();

private Q_SLOTS:
    void response(uint code, const QVariantMap& results);

private:
    void listenOn(const QString& path);
    void stopListening();

    QDBusConnection bus;
    ParentWindow parentWindow;
    QString request; // the Request object path while a picker is open
};
