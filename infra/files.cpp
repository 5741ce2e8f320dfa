#include "infra/files.h"

#include <QDir>
#include <QFile>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::atomic<int> openRetries{5000};

}  // namespace

std::unique_ptr<QFile> OpenNotBlock(const QString& name) {
    // Another process may hold the file for a moment; ExistingOnly keeps a missing file from being
    // created behind the caller's back.
    const int retries = openRetries.load(std::memory_order_relaxed);
    for (int attempt = 0;; ++attempt) {
        auto file = std::make_unique<QFile>(name);
        if (file->open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
            return file;
        }
        if (attempt >= retries) {
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void SetOpenRetries(int retries) {
    openRetries.store(retries < 0 ? 0 : retries, std::memory_order_relaxed);
}

QString WorkingDir() {
    return QDir::currentPath();
}
