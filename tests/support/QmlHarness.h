#pragma once

#include <QPointer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <memory>

// The real screens in an offscreen window: load one, find its items, click and type.
class QmlHarness {
public:
    QmlHarness();
    ~QmlHarness();

    // Loads a file of the screens module (e.g. "ContentView.qml") with its required properties,
    // or warns why it cannot; a test may delete the screen it got.
    QQuickItem* load(const QString& file, const QVariantMap& properties);
    QString errors() const { return errorText; }
    QQuickWindow& window() { return *window_; }

    QQuickItem* byName(const QString& objectName) const;
    // The first visible item showing exactly this text.
    QQuickItem* textItem(const QString& text) const;
    bool shows(const QString& text) const { return textItem(text) != nullptr; }
    void click(QQuickItem* item);
    void type(const QString& text);
    void press(Qt::Key key);

private:
    // Sheets live in the window's overlay, beside the screen: search the whole window.
    QQuickItem* top() const { return window_->contentItem(); }

    QQmlEngine engine;
    std::unique_ptr<QQuickWindow> window_;
    std::unique_ptr<QQmlComponent> component;
    QPointer<QQuickItem> root;
    QString errorText;
};
