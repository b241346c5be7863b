#pragma once

#include "LinkFixture.h"
#include "QmlHarness.h"
#include "ScreenServices.h"

#include <QtTest>

// A screen of the real QML over the fake radio: the link, the services screens make for
// themselves, and the offscreen window.
struct ScreenFixture {
    explicit ScreenFixture(CentralPower power = CentralPower::On)
        : f(power)
    {
    }

    // Loads a file of the screens module, handing it those of the manager ("bluetooth"), the
    // stored settings ("settings") and the services ("services") it names; then forgets the
    // calls made so far, so that a test sees only what the screen does.
    QQuickItem* load(const char* file,
                     std::initializer_list<const char*> handed = {"bluetooth", "services"})
    {
        const QVariantMap all{{QStringLiteral("bluetooth"), QVariant::fromValue(f.manager.get())},
                              {QStringLiteral("settings"), QVariant::fromValue(&f.settings)},
                              {QStringLiteral("services"), QVariant::fromValue(&services)}};
        QVariantMap properties;
        for (const char* name : handed)
            properties.insert(QString::fromLatin1(name), all.value(QString::fromLatin1(name)));
        root = ui.load(QString::fromLatin1(file), properties);
        f.central->clearCalls();
        return root;
    }

    QQuickItem* item(const QString& name) const { return ui.byName(name); }
    QQuickItem* item(const char* name) const { return ui.byName(QString::fromLatin1(name)); }
    QVariant shown(const char* name, const char* property) const
    {
        QQuickItem* found = item(name);
        return found ? found->property(property) : QVariant();
    }
    bool shows(const char* text) const { return ui.shows(QString::fromUtf8(text)); }
    QList<QByteArray> writes(const QBluetoothUuid& c) const { return f.central->writesTo(c); }
    BluetoothManager& bluetooth() const { return *f.manager; }

    // The keyboard focus on a control of the active window, as a keyboard user puts it there.
    void focus(QQuickItem* target)
    {
        ui.window().requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&ui.window()));
        target->forceActiveFocus(Qt::TabFocusReason);
    }

    // Where a slider's handle stands for a value, in the window.
    QPoint sliderPoint(const char* name, double value) const
    {
        QQuickItem* slider = item(name);
        auto* handle = slider->property("handle").value<QQuickItem*>();
        const double from = slider->property("from").toDouble();
        const double to = slider->property("to").toDouble();
        const double left = slider->property("leftPadding").toDouble();
        const double travel = slider->property("availableWidth").toDouble() - handle->width();
        const double x = left + (value - from) / (to - from) * travel + handle->width() / 2;
        return slider->mapToScene(QPointF(x, slider->height() / 2)).toPoint();
    }

    LinkFixture f;
    ScreenServices services{f.scheduler, f.clock, f.settings};
    QmlHarness ui;
    QQuickItem* root = nullptr;
    QSharedPointer<FakePeripheral> chair;
};
