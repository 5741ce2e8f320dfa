#include "splash.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>

#include "session/session_status.h"

namespace {

constexpr int kLabelHeight = 28;

}  // namespace

TSplash::TSplash(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    // The picture lives in a static library, whose resources are not registered by themselves.
    Q_INIT_RESOURCE(splash);
    setObjectName(QStringLiteral("splash"));
    image_ = new QLabel(this);
    image_->setPixmap(QPixmap::fromImage(QImageReader(QStringLiteral(":/splash.jpg")).read()));
    image_->move(0, 0);
    image_->adjustSize();
    const QSize size = image_->size().isEmpty() ? QSize(550, 350) : image_->size();
    setFixedSize(size);
    label_ = new QLabel(this);
    label_->setAttribute(Qt::WA_TranslucentBackground);
    label_->setAlignment(Qt::AlignCenter);
    QFont font = label_->font();
    font.setPointSize(14);
    label_->setFont(font);
    QPalette palette = label_->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label_->setPalette(palette);
    label_->setGeometry(0, size.height() - kLabelHeight, size.width(), kLabelHeight);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("load"));
    progress_->setGeometry(20, size.height() - kLabelHeight - 22, size.width() - 40, 18);
    progress_->hide();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TSplash::ShowLoad(const SessionStatus& status) {
    if (status.loadingTable.isEmpty()) {
        progress_->hide();
        return;
    }
    progress_->setRange(0, int(std::max<int64_t>(status.loadSize / 1024, 1)));
    progress_->setValue(int(status.loadReceived / 1024));
    progress_->setFormat(QStringLiteral("%1: %2 из %3 КБ")
                             .arg(status.loadingTable)
                             .arg(status.loadReceived / 1024)
                             .arg(status.loadSize / 1024));
    progress_->show();
}
