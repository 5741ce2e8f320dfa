#include <QApplication>

#include "app/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TForm1 form;
    if (!form.FormCreate()) {
        return 0;
    }
    form.show();
    return app.exec();
}
