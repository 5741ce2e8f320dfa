#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/working_folder.h"

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    const AppCommandLine line = ParseAppCommandLine(args);
    if (line.help) {
        std::fputs(AppUsageText().toUtf8().constData(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("mobcfg %s\n", MOBCFG_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("mobcfg"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("mobcfg")));
    if (QString error; line.userFolder && !EnterUserFolder(error)) {
        QMessageBox::critical(nullptr, kMainCaption, QStringLiteral("Рабочая папка: ") + error);
        return 1;
    }
    TForm1 form;
    if (!form.FormCreate()) {
        return 0;
    }
    form.show();
    return app.exec();
}
