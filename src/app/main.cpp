#include "app/Main.h"
#include "app/Application.h"

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    application.SetTitle(QString::fromUtf8("设备查找"));
    TMainForm form;
    try {
        form.FormCreate();
    } catch (const std::exception& failure) {
        application.HandleException(failure);
    }
    form.show();
    return application.exec();
}
