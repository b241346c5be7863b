#include "QmlHarness.h"


#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Velnora_ScreensPlugin)

namespace {

QQuickItem* findItem(QQuickItem* item, const std::function<bool(QQuickItem*)>& matches)
{
    if (!item || !item->isVisible())
        return nullptr;
    if (matches(item))
        return item;
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = findItem(child, matches))
            return found;
    }
    return nullptr;
}

} // namespace

QmlHarness::QmlHarness()
    : window_(std::make_unique<QQuickWindow>())
{
    engine.addImportPath(QStringLiteral("qrc:/"));
    window_->resize(420, 640);
    window_->setColor(QColor::fromRgbF(0.2f, 0.2f, 0.2f)); // as the program's window
    window_->show();
    if (!QTest::qWaitForWindowExposed(window_.get()))
        qWarning("the window was never exposed");
}

QmlHarness::~QmlHarness()
{
    delete root;
}

QQuickItem* QmlHarness::load(const QString& file, const QVariantMap& properties)
{
    component = std::make_unique<QQmlComponent>(
        &engine, QUrl(QStringLiteral("qrc:/Velnora/Screens/qml/") + file));
    if (component->isError()) { // creating from a broken component crashes Qt 6.4
        errorText = component->errorString();
        qWarning().noquote() << errorText;
        return nullptr;
    }
    QObject* object = component->createWithInitialProperties(properties);
    if (auto* window = qobject_cast<QQuickWindow*>(object)) {
        // A screen that is a window of its own is driven as it is.
        window_.reset(window);
        if (!QTest::qWaitForWindowExposed(window))
            qWarning("the window was never exposed");
        root = nullptr;
        return window->contentItem();
    }
    root = qobject_cast<QQuickItem*>(object);
    if (!root) {
        errorText = component->errorString();
        qWarning().noquote() << errorText;
        delete object;
        return nullptr;
    }
    root->setParentItem(window_->contentItem());
    return root;
}

QQuickItem* QmlHarness::byName(const QString& objectName) const
{
    return findItem(top(), [&](QQuickItem* item) { return item->objectName() == objectName; });
}

QQuickItem* QmlHarness::textItem(const QString& text) const
{
    return findItem(top(), [&](QQuickItem* item) {
        const QVariant shown = item->property("text");
        return item->inherits("QQuickText") && shown.toString() == text;
    });
}

void QmlHarness::click(QQuickItem* item)
{
    if (!item)
        return;
    QTest::qWait(30); // let the scene lay out what the last change brought
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(window_.get(), Qt::LeftButton, {}, centre.toPoint());
}

void QmlHarness::type(const QString& text)
{
    for (const QChar c : text)
        QTest::keyClick(window_.get(), c.toLatin1());
}

void QmlHarness::press(Qt::Key key)
{
    QTest::keyClick(window_.get(), key);
}
