#include "infra/thread.h"

TThread::~TThread() {
    Stop();
}

void TThread::Start() {
    if (thread_.joinable()) {
        return;
    }
    thread_ = std::thread([this] {
        try {
            Execute();
        } catch (...) {
            // No exception may leave the thread; the thread simply ends and the owner's WaitFor returns.
        }
    });
}

void TThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

void TThread::Stop() {
    Terminate();
    WaitFor();
}
