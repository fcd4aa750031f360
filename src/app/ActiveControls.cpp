#include "app/ActiveControls.h"

#include "platform/CodePage.h"

#include <QVariant>
#include <QWidget>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

std::string WidgetClassName(const QWidget& widget) {
    const char* mangled = typeid(widget).name();
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
    return status == 0 && name ? name.get() : widget.metaObject()->className();
}

void DescribeActiveControls(const QWidget* form, const QWidget* control, TReportInput& input) {
    if (form != nullptr) {
        input.FormClass = WidgetClassName(*form);
        input.FormText = Utf8ToGbk(form->windowTitle().toStdString());
    }
    if (control != nullptr) {
        input.ControlClass = WidgetClassName(*control);
        const QVariant text = control->property("text");
        input.ControlText =
            Utf8ToGbk((text.isValid() ? text.toString() : control->accessibleName()).toStdString());
    }
}
