// Saves the settings on a thread of its own, so that writing a large settings file (a long
// server history) never holds up the window.
//
// The writer owns the settings store. Jobs run one at a time, in the order posted, each with
// the store to itself; a job posted while an earlier one of the same kind still waits replaces
// it (each job writes everything of its kind, so the later one holds the newer state). The
// result of each job is handed to `done` on the thread that made the writer, through its event
// loop, or at once by Flush. A reading runs in turn with the jobs and hands what it read over
// the same way.
#pragma once

#include "WakeUp.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace telv {

class TRegistry;

class SettingsWriter {
public:
    // What a job writes; a later job of the same kind replaces one that has not started.
    enum class Kind { ServerSettings, Options, Layout, Reconnect, LogToFile };
    // A job: true when it saved; otherwise the store's LastError() says why.
    using Job = std::function<bool(TRegistry&)>;
    struct Result {
        bool Saved = false;
        std::string Reason;  // when not saved
    };

    SettingsWriter(std::unique_ptr<TRegistry> registry, std::function<void(const Result&)> done);
    // Runs the jobs that wait, then stops; their results are not delivered.
    ~SettingsWriter();
    SettingsWriter(const SettingsWriter&) = delete;
    SettingsWriter& operator=(const SettingsWriter&) = delete;

    void Post(Kind kind, Job job);
    // Runs read with the store on the writer's thread after the jobs posted so far, then deliver
    // on this thread, through its event loop or in Flush. Readings are never replaced, and
    // `done` does not hear of them. What read leaves for deliver is handed over under the
    // writer's lock.
    void Read(std::function<void(TRegistry&)> read, std::function<void()> deliver);
    // Waits until every job posted so far has run, then delivers their results on this thread;
    // again while a delivery posted more.
    void Flush();
    // Runs f with the store on the calling thread, after the jobs posted so far (reading at start).
    void WithRegistry(const std::function<void(TRegistry&)>& f);

private:
    struct Pending {
        std::optional<Kind> JobKind;  // none for a reading
        Job Work;
        std::function<void()> Deliver;  // a reading's
    };
    // A finished job's result, or a reading's delivery.
    struct Finished {
        Result Saving;
        std::function<void()> Deliver;
    };
    void Run();
    void DeliverResults();

    std::unique_ptr<TRegistry> registry_;
    std::function<void(const Result&)> done_;
    // Wakes the thread that made the writer to deliver the results; a wake-up still due when
    // the writer is destroyed goes with it.
    std::unique_ptr<WakeUp> wakeUp_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Pending> jobs_;
    std::deque<Finished> results_;
    bool busy_ = false;      // a job is running
    bool stopping_ = false;
    std::mutex registryMutex_;  // held while a job or WithRegistry uses the store
    std::thread worker_;
};

}  // namespace telv
