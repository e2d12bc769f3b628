// SPDX-License-Identifier: MIT
#include "ui/series_run.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>

#include "tags/job_store.h"
#include "tags/tag_session.h"

namespace kvara {

namespace {

using Clock = std::chrono::steady_clock;

// How often the wait for the thread's end lets the window paint.
constexpr int kPaintEveryMs = 50;

// Whether the job's options allow lock actions that can never be undone.
bool PermanentAllowed(const tags::JobDefinition& definition) {
    const QJsonDocument options =
        QJsonDocument::fromJson(QByteArray::fromStdString(definition.options));
    return options.object().value(QStringLiteral("permanent")).toBool(false);
}

}  // namespace

SeriesRun::SeriesRun(Setup setup, Callbacks callbacks, QObject* parent)
    : QObject(parent), m_setup(std::move(setup)), m_callbacks(std::move(callbacks)) {}

SeriesRun::~SeriesRun() {
    Stop();
    if (m_thread) {
        m_thread->wait();
    }
}

void SeriesRun::Start() {
    if (m_thread) {
        return;
    }
    m_thread.reset(QThread::create([this] { Run(); }));
    m_thread->start();
}

void SeriesRun::Pause() {
    m_pause = true;
}

void SeriesRun::Resume() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_pause = false;
    }
    m_wake.notify_all();
}

void SeriesRun::Stop() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
}

void SeriesRun::StopAndWait() {
    Stop();
    while (m_thread && !m_thread->wait(kPaintEveryMs)) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void SeriesRun::Post(std::function<void()> action) {
    QMetaObject::invokeMethod(this, std::move(action), Qt::QueuedConnection);
}

void SeriesRun::Run() {
    End end;
    bool permanent = false;
    std::unique_ptr<tags::JobStore> store = OpenJob(&end, &permanent);
    if (store) {
        tags::EncoderOptions options;
        options.job = m_setup.definition.name;
        options.station = m_setup.station;
        options.waitMs = m_setup.waitMs;
        options.skipBadTags = m_setup.skipBadTags;
        options.permanentAllowed = permanent;
        // The command line's rules for an empty EPC: the encoder's steps after the TID's read
        // act on the tag that read selected.
        const int handle = m_setup.readerHandle;
        tags::TagSession session([handle] { return handle; });
        tags::Encoder encoder(session, *store, options);
        Encode(encoder, *store, &end);
        tags::JobStatus status;
        if (store->Status(m_setup.definition.name, &status)) {
            end.status = status;
        }
    }
    Post([this, end] {
        if (m_callbacks.ended) {
            m_callbacks.ended(end);
        }
    });
}

std::unique_ptr<tags::JobStore> SeriesRun::OpenJob(End* end, bool* permanent) {
    end->reason = tags::StopReason::kStoreError;
    std::string error;
    std::unique_ptr<tags::JobStore> store = tags::OpenJobStore(m_setup.store, &error);
    if (!store) {
        end->detail = error;
        return nullptr;
    }
    tags::JobDefinition definition;
    if ((!m_setup.rows.empty() && !store->CreateJob(m_setup.definition, m_setup.rows)) ||
        !store->OpenJob(m_setup.definition.name, &definition)) {
        end->detail = store->Error();
        return nullptr;
    }
    *permanent = PermanentAllowed(definition);
    tags::JobStatus status;
    if (!store->Status(definition.name, &status)) {
        end->detail = store->Error();
        return nullptr;
    }
    end->reason = tags::StopReason::kNone;
    Post([this, status] {
        if (m_callbacks.opened) {
            m_callbacks.opened(status);
        }
    });
    return store;
}

void SeriesRun::Encode(tags::Encoder& encoder, tags::JobStore& store, End* end) {
    auto lastTag = Clock::now();
    while (WaitWhilePaused()) {
        std::optional<tags::TagReport> report;
        const tags::StopReason reason = encoder.Next([this] { return m_stop || m_pause; }, &report);
        if (report) {
            lastTag = Clock::now();
            end->last = report;
            tags::JobStatus status;
            if (!store.Status(m_setup.definition.name, &status)) {
                *end = End{tags::StopReason::kStoreError, store.Error(), {}, report, {}};
                return;
            }
            Post([this, tag = *report, status] {
                if (m_callbacks.tag) {
                    m_callbacks.tag(tag, status);
                }
            });
        }
        if (reason == tags::StopReason::kNoTag) {
            // On a line the next tag comes when it comes: the run waits on, and says so.
            const auto idle =
                std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - lastTag);
            Post([this, seconds = static_cast<int>(idle.count())] {
                if (m_callbacks.waiting) {
                    m_callbacks.waiting(seconds);
                }
            });
        } else if (reason != tags::StopReason::kNone && reason != tags::StopReason::kRequested) {
            end->reason = reason;
            end->detail = encoder.StopDetail();
            end->outcome = encoder.StopOutcome();
            return;
        }
    }
    end->reason = tags::StopReason::kRequested;
}

bool SeriesRun::WaitWhilePaused() {
    std::unique_lock<std::mutex> guard(m_lock);
    if (m_pause && !m_stop) {
        Post([this] {
            if (m_callbacks.paused) {
                m_callbacks.paused(true);
            }
        });
        m_wake.wait(guard, [this] { return !m_pause || m_stop; });
        if (!m_stop) {
            Post([this] {
                if (m_callbacks.paused) {
                    m_callbacks.paused(false);
                }
            });
        }
    }
    return !m_stop;
}

}  // namespace kvara
