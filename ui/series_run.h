// SPDX-License-Identifier: MIT
// SeriesRun: one run of a series on a thread of its own, so that the window stays responsive
// while tags are encoded. The thread opens its own connection to the job's store (a SQLite file
// or a postgresql:// URI, which may take seconds to answer), makes the job when it is new, and
// runs the encoder (tags/encoder.h) on the window's reader: the same engine and store as
// "kvara encode", with the intent of every write recorded before it and its outcome after.
//
// The window's reader is used by this thread alone while the run lives; the window leaves it
// alone until Ended. Pause ends the wait for the next tag and keeps the encoder; Stop ends the
// run; both take effect after the tag in hand. What happens is told through the callbacks, on
// the window's thread.
#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tags/encoder.h"
#include "tags/job.h"

namespace kvara {

class SeriesRun : public QObject {
public:
    struct Setup {
        std::string store;               // a SQLite file or a postgresql:// URI
        tags::JobDefinition definition;  // the job; to continue one, its name is enough
        std::vector<tags::JobRow> rows;  // the rows of a new job; empty: continue the job
        std::string station;             // this station's name in the store
        bool skipBadTags = false;        // a tag that cannot be encoded is set aside
        int readerHandle = 0;            // the window's reader
        int waitMs = 5000;               // how long without a tag before Waiting is told
    };
    // How a run ended.
    struct End {
        tags::StopReason reason = tags::StopReason::kNone;
        std::string detail;                   // the encoder's or the store's words
        tags::Outcome outcome;                // the reader's side of a stop by the reader
        std::optional<tags::TagReport> last;  // the last tag handled
        std::optional<tags::JobStatus> status;
    };
    struct Callbacks {
        std::function<void(const tags::JobStatus&)> opened;  // the job is ready
        std::function<void(const tags::TagReport&, const tags::JobStatus&)> tag;
        std::function<void(int seconds)> waiting;  // no new tag for this long
        std::function<void(bool paused)> paused;   // the run paused, or goes on
        std::function<void(const End&)> ended;     // the thread has finished
    };

    SeriesRun(Setup setup, Callbacks callbacks, QObject* parent = nullptr);
    // Stops the run after the tag in hand and waits for its thread.
    ~SeriesRun() override;
    SeriesRun(const SeriesRun&) = delete;
    SeriesRun& operator=(const SeriesRun&) = delete;

    void Start();
    void Pause();
    void Resume();
    void Stop();
    // Stop, then waits until the thread has finished; the window keeps painting meanwhile but
    // takes no input.
    void StopAndWait();

private:
    void Run();
    // Opens the store and the job (made first when new); null with the end when it cannot.
    std::unique_ptr<tags::JobStore> OpenJob(End* end, bool* permanent);
    void Encode(tags::Encoder& encoder, tags::JobStore& store, End* end);
    // Blocks while paused; false when the run is to stop.
    bool WaitWhilePaused();
    // Runs the action on the window's thread.
    void Post(std::function<void()> action);

    Setup m_setup;
    Callbacks m_callbacks;
    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_pause{false};
    std::mutex m_lock;
    std::condition_variable m_wake;
};

}  // namespace kvara
