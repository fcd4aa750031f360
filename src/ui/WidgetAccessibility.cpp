#include "ui/WidgetAccessibility.h"

#include "ui/CustomHotButton.h"
#include "ui/FlatStatusBar.h"
#include "ui/FrameGroupBox.h"
#include "ui/ListAccessibility.h"
#include "ui/StyledLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

class TAccessibleHotButton : public QAccessibleWidget {
public:
    explicit TAccessibleHotButton(TCustomHotButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QStringList actionNames() const override {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override {
        if (name == pressAction() && widget()->isEnabled())
            static_cast<TCustomHotButton*>(widget())->Click();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (auto* button = qobject_cast<TCustomHotButton*>(object))
        return new TAccessibleHotButton(button);
    if (auto* bar = qobject_cast<TFlatStatusBar*>(object))
        return new QAccessibleWidget(bar, QAccessible::StatusBar);
    if (auto* box = qobject_cast<TFrameGroupBox*>(object))
        return new QAccessibleWidget(box, QAccessible::Grouping);
    if (auto* label = qobject_cast<TStyledLabel*>(object))
        return new QAccessibleWidget(label, QAccessible::StaticText);
    return ListAccessibleInterface(object);
}

} // namespace

void InstallWidgetAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}
