#include "base/folder_run.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <vector>

#include "base/thread_pool.h"

namespace vesk {

namespace {

struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<bool> cancel{false};
};

// A measurement computed on a pool thread. Its progress is kept here for the caller's thread,
// which alone talks to the real progress (a window, a terminal).
struct Flight : ProgressSink {
    Flight(Shared& shared, std::unique_ptr<MeasurementJob> j, int pos)
        : s(shared), job(std::move(j)), position(pos), progress(*this) {
        progress.SetCount(1);  // the job's percent passes through unchanged
    }
    void ShowPosition(int p) override {
        {
            std::lock_guard lock(s.mutex);
            percent = p;
        }
        s.changed.notify_all();
    }
    void ShowMessage(const std::string& text) override {
        {
            std::lock_guard lock(s.mutex);
            message = text;
            messageChanged = true;
        }
        s.changed.notify_all();
    }
    bool PumpAndCheckCancel() override { return s.cancel.load(); }
    bool ConfirmCancel() override { return true; }  // confirmed on the caller's thread already

    Shared& s;
    std::unique_ptr<MeasurementJob> job;
    const int position;  // among the chosen measurements
    Progress progress;
    // Guarded by s.mutex.
    bool done = false;
    CalcResult result = CalcResult::Finished;
    std::exception_ptr error;
    std::string message;
    bool messageChanged = false;
    int percent = -1;
};

// Counts one computed measurement, or stops the run on a failed write; false to stop.
bool Store(MeasurementJob& job, RunSummary* summary) {
    if (!job.Write()) {
        summary->writeFailures = 1;
        summary->failed = true;
        return false;
    }
    ++summary->computed;
    job.Note(summary);
    return true;
}

// false to stop the run.
bool Take(CalcResult r, MeasurementJob& job, RunSummary* summary) {
    switch (r) {
        case CalcResult::Cancelled:
            summary->cancelled = true;
            return false;
        case CalcResult::Unusable:
            ++summary->skipped;
            return true;
        case CalcResult::Finished:
            break;
    }
    return Store(job, summary);
}

void RunHere(FolderRunKind& kind, const std::vector<std::size_t>& chosen, Progress* progress,
             RunSummary* summary) {
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        if (progress) progress->BeginItem(static_cast<int>(k));
        std::unique_ptr<MeasurementJob> job;
        const ReadOutcome read = kind.Read(chosen[k], &job);
        if (read != ReadOutcome::Ready || !job) {
            ++(read == ReadOutcome::Damaged ? summary->damaged : summary->skipped);
            continue;
        }
        if (!Take(job->Compute(progress), *job, summary)) return;
    }
}

// Up to the pool's thread count of measurements are computed at once; this thread reads them,
// shows the oldest one's progress, asks for Cancel and writes them in order.
void RunConcurrently(FolderRunKind& kind, const std::vector<std::size_t>& chosen,
                     Progress* progress, ThreadPool& pool, RunSummary* summary) {
    auto shared = std::make_shared<Shared>();
    std::deque<std::shared_ptr<Flight>> flights;
    // Jobs may use the kind and its tables' data: none may outlive this call, also when a write
    // or a read throws.
    struct Drain {
        Shared& s;
        std::deque<std::shared_ptr<Flight>>& flights;
        ~Drain() {
            s.cancel = true;
            std::unique_lock lock(s.mutex);
            for (const auto& f : flights)
                s.changed.wait(lock, [&] { return f->done; });
        }
    } drain{*shared, flights};

    // One more than the threads: the next measurement waits in the pool, so a thread that
    // finishes starts on it while this thread writes the one before.
    const std::size_t limit = static_cast<std::size_t>(pool.Threads()) + 1;
    std::size_t next = 0;
    int shownPosition = -1;
    std::exception_ptr error;
    for (;;) {
        while (flights.size() < limit && next < chosen.size()) {
            const int position = static_cast<int>(next);
            std::unique_ptr<MeasurementJob> job;
            const ReadOutcome read = kind.Read(chosen[next++], &job);
            if (read != ReadOutcome::Ready || !job) {
                ++(read == ReadOutcome::Damaged ? summary->damaged : summary->skipped);
                continue;
            }
            auto flight = std::make_shared<Flight>(*shared, std::move(job), position);
            flights.push_back(flight);
            pool.Post([flight, shared] {
                CalcResult r = CalcResult::Unusable;
                std::exception_ptr e;
                try {
                    r = flight->job->Compute(&flight->progress);
                } catch (...) {
                    e = std::current_exception();
                }
                {
                    std::lock_guard lock(shared->mutex);
                    flight->result = r;
                    flight->error = e;
                    flight->done = true;
                }
                shared->changed.notify_all();
            });
        }
        if (flights.empty()) return;

        const std::shared_ptr<Flight> head = flights.front();
        if (progress && shownPosition != head->position) {
            shownPosition = head->position;
            progress->BeginItem(head->position);
        }
        int shownPercent = -1;
        for (;;) {
            bool done;
            bool newMessage;
            std::string message;
            int percent;
            {
                std::unique_lock lock(shared->mutex);
                shared->changed.wait_for(lock, std::chrono::milliseconds(40), [&] {
                    return head->done || head->messageChanged || head->percent != shownPercent;
                });
                done = head->done;
                newMessage = head->messageChanged;
                head->messageChanged = false;
                if (newMessage) message = head->message;
                percent = head->percent;
            }
            if (progress) {
                if (newMessage) progress->SetMessage(message);
                if (percent >= 0 && percent != shownPercent) progress->ItemProgress(percent);
                if (!shared->cancel && progress->PollCancel()) shared->cancel = true;
            }
            shownPercent = percent;
            if (done) break;
        }
        flights.pop_front();
        if (head->error) std::rethrow_exception(head->error);
        if (shared->cancel) {
            // Whatever the oldest one reached, nothing after a confirmed Cancel is written.
            summary->cancelled = true;
            return;
        }
        if (!Take(head->result, *head->job, summary)) return;
        head->job.reset();
    }
}

}  // namespace

RunSummary RunFolder(FolderRunKind& kind, std::int32_t folderId, Target target,
                     const std::set<std::int32_t>& selected, Progress* progress) {
    RunSummary summary;
    if (summary.refused = kind.CheckRun(); !summary.refused.empty()) return summary;
    std::size_t count = 0;
    if (!kind.Open(folderId, &count)) {
        summary.failed = true;
        return summary;
    }
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < count; ++i) {
        bool take = target == Target::All;
        if (target == Target::Selected) take = selected.count(kind.Id(i)) != 0;
        if (target == Target::NonCalculated) {
            const int stored = kind.HasResult(i);
            if (stored < 0) {
                summary.failed = true;
                return summary;
            }
            take = stored == 0;
        }
        if (take) chosen.push_back(i);
    }
    summary.taken = static_cast<int>(chosen.size());
    for (std::size_t i : chosen)
        if (summary.refused = kind.CheckMeasurement(i); !summary.refused.empty()) return summary;
    if (!kind.Prepare()) {
        summary.failed = true;
        return summary;
    }
    if (progress) progress->SetCount(static_cast<int>(chosen.size()));
    ThreadPool& pool = SharedPool();
    if (pool.Threads() > 1 && chosen.size() > 1)
        RunConcurrently(kind, chosen, progress, pool, &summary);
    else
        RunHere(kind, chosen, progress, &summary);
    return summary;
}

}  // namespace vesk
