#include "SettingsWriter.h"

#include "Registry.h"

#include <algorithm>

namespace telv {

SettingsWriter::SettingsWriter(std::unique_ptr<TRegistry> registry, std::function<void(const Result&)> done)
    : registry_(std::move(registry)),
      done_(std::move(done)),
      wakeUp_(std::make_unique<WakeUp>([this] { DeliverResults(); })),
      worker_([this] { Run(); }) {}

SettingsWriter::~SettingsWriter() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
    wakeUp_.reset();  // results not yet delivered go with it
}

void SettingsWriter::Post(Kind kind, Job job) {
    {
        const std::lock_guard lock(mutex_);
        const auto waiting = std::find_if(jobs_.begin(), jobs_.end(), [kind](const Pending& p) { return p.JobKind == kind; });
        if (waiting != jobs_.end()) {
            waiting->Work = std::move(job);
        } else {
            jobs_.push_back(Pending{kind, std::move(job), {}});
        }
    }
    changed_.notify_all();
}

void SettingsWriter::Read(std::function<void(TRegistry&)> read, std::function<void()> deliver) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(Pending{std::nullopt,
                                [read = std::move(read)](TRegistry& registry) {
                                    read(registry);
                                    return true;
                                },
                                std::move(deliver)});
    }
    changed_.notify_all();
}

void SettingsWriter::Flush() {
    while (true) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return jobs_.empty() && !busy_; });
            if (results_.empty()) return;
        }
        DeliverResults();  // may post more
    }
}

void SettingsWriter::WithRegistry(const std::function<void(TRegistry&)>& f) {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return jobs_.empty() && !busy_; });
    }
    const std::lock_guard registryLock(registryMutex_);
    f(*registry_);
}

void SettingsWriter::Run() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopping, nothing left
        Pending job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();

        Finished finished{{}, std::move(job.Deliver)};
        {
            const std::lock_guard registryLock(registryMutex_);
            finished.Saving.Saved = job.Work(*registry_);
            if (!finished.Saving.Saved) finished.Saving.Reason = registry_->LastError();
        }

        lock.lock();
        busy_ = false;
        results_.push_back(std::move(finished));
        if (!stopping_) wakeUp_->Signal();
        changed_.notify_all();
    }
}

void SettingsWriter::DeliverResults() {
    std::deque<Finished> results;
    {
        const std::lock_guard lock(mutex_);
        results.swap(results_);
    }
    for (const Finished& finished : results) {
        if (finished.Deliver)
            finished.Deliver();
        else
            done_(finished.Saving);
    }
}

}  // namespace telv
