#include "transfer/worker.h"

namespace orb {

TWorkerThread::~TWorkerThread() {
    // Derived parts are gone by now, so Abort cannot be called here; owners stop before freeing.
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void TWorkerThread::Start() {
    thread_ = std::thread([this] {
        try {
            Execute();
        } catch (...) {
        }
        finished_ = true;
    });
}

void TWorkerThread::RequestStop() {
    stop_ = true;
    Abort();
}

void TWorkerThread::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TWorkerSet::Start(std::unique_ptr<TWorkerThread> worker) {
    Reap();
    std::lock_guard lk(mu_);
    worker->Start();
    workers_.push_back(std::move(worker));
}

void TWorkerSet::Reap() {
    std::vector<std::unique_ptr<TWorkerThread>> done;
    {
        std::lock_guard lk(mu_);
        for (auto it = workers_.begin(); it != workers_.end();) {
            if ((*it)->Finished()) {
                done.push_back(std::move(*it));
                it = workers_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& w : done) w->Join();
}

void TWorkerSet::StopAll() {
    std::vector<std::unique_ptr<TWorkerThread>> all;
    {
        std::lock_guard lk(mu_);
        all.swap(workers_);
    }
    for (auto& w : all) w->RequestStop();
    for (auto& w : all) w->Join();
}

size_t TWorkerSet::Count() const {
    std::lock_guard lk(mu_);
    return workers_.size();
}

}  // namespace orb
