// A text handed between the login window's thread and the client thread. Every read and write
// takes the text's own lock, so a reader sees either the old or the new text, never a torn one.
#pragma once

#include <QString>
#include <mutex>

class LockedText {
  public:
    void Set(const QString& text) {
        std::lock_guard lock(mutex_);
        text_ = text;
    }
    QString Get() const {
        std::lock_guard lock(mutex_);
        return text_;
    }

  private:
    mutable std::mutex mutex_;
    QString text_;
};
