#include "button/UltraButtonAccessible.h"

#include "button/UltraButton.h"

#include <QAccessibleWidget>

namespace kestrune {
namespace {

// Screen readers know the button only through this interface: it paints its
// caption itself, so Qt has no text to read out of it otherwise.
class UltraButtonAccessible : public QAccessibleWidget {
public:
    explicit UltraButtonAccessible(UltraButton* button) : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override {
        // A name the program sets wins over the caption, as for Qt's own buttons.
        if (t == QAccessible::Name && Button()->accessibleName().isEmpty()) {
            return UltraButton::CaptionText(Button()->Caption());
        }
        if (t == QAccessible::Accelerator) {
            return Button()->AccessKeySequence().toString(QKeySequence::NativeText);
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.pressed = Button()->DrawState() == ButtonState::Pressed;
        state.defaultButton = Button()->DefaultIndication();
        return state;
    }

    QStringList actionNames() const override { return QStringList(pressAction()) << QAccessibleWidget::actionNames(); }

    void doAction(const QString& actionName) override {
        if (actionName == pressAction()) {
            Button()->Press();
        } else {
            QAccessibleWidget::doAction(actionName);
        }
    }

    QStringList keyBindingsForAction(const QString& actionName) const override {
        const QKeySequence key = Button()->AccessKeySequence();
        if (actionName == pressAction() && !key.isEmpty()) {
            return {key.toString(QKeySequence::NativeText)};
        }
        return QAccessibleWidget::keyBindingsForAction(actionName);
    }

private:
    UltraButton* Button() const { return static_cast<UltraButton*>(widget()); }
};

QAccessibleInterface* MakeInterface(const QString& className, QObject* object) {
    if (className != QLatin1String(UltraButton::staticMetaObject.className())) {
        return nullptr;
    }
    auto* button = qobject_cast<UltraButton*>(object);
    return button != nullptr ? new UltraButtonAccessible(button) : nullptr;
}

}  // namespace

void InstallUltraButtonAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(MakeInterface);
        return true;
    }();
    static_cast<void>(installed);
}

}  // namespace kestrune
