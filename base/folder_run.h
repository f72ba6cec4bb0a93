// The run of a calculation over a folder, shared by the impulse, running-ACF and noise kinds:
// open the folder, choose the measurements, check the conditions, read, compute, write in the
// folder's order, report progress and honour Cancel. A kind plugs in what it alone knows.
//
// What every kind does alike:
// - Conditions are checked before anything is computed: first those that hold for the whole
//   run (before the store is opened), then, after the target has chosen, those of every chosen
//   measurement. A refusal names the measurement and computes nothing.
// - Progress counts the chosen measurements only: the k-th of n chosen starts at k * 100 / n.
//   Progress and Cancel are always shown and asked on the caller's thread, for the oldest
//   measurement still unwritten.
// - A record that cannot be read is named with "Can't read measured data."; samples that
//   cannot be read are named with the kind's store message; either counts as damaged and the
//   run goes on. A measurement gone since the folder was listed, one without samples, and one
//   the analysis cannot take (its channel field is not that of its samples, a count of
//   channels other than one or two, no sampling rate) is skipped.
// - A failed write is reported by the store, leaves that measurement's old result whole and
//   stops the run (`writeFailures` 1 and `failed`): a store that refused one result is not
//   handed the next.
// - Cancel: the measurement being computed and every later one are not written; those written
//   before stay.
// - Measurements are computed up to ThreadCount() at a time, each read on the caller's thread
//   just before; results are written strictly in the folder's order, so the store holds the
//   same bytes at any thread count. At most that many measurements are in memory at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "base/calculation.h"
#include "base/progress.h"

namespace vesk {

// One measurement's work once its record and samples are read.
class MeasurementJob {
  public:
    virtual ~MeasurementJob() = default;
    // Runs on any thread: touches no table and shows no message. Sets its progress message,
    // reports its percent and polls for Cancel through `progress` (null without one).
    virtual CalcResult Compute(Progress* progress) = 0;
    // On the caller's thread, in folder order, after Finished: writes every result of the
    // measurement as one unit. false after the store's message.
    virtual bool Write() = 0;
    // After a successful write: the counts and notes beyond `computed`.
    virtual void Note(RunSummary*) const {}
};

enum class ReadOutcome { Ready, Skipped, Damaged };

// What one kind of calculation plugs into the run. Every call but the job's Compute is made on
// the caller's thread.
class FolderRunKind {
  public:
    virtual ~FolderRunKind() = default;
    // Conditions that hold for the whole run: empty when they can be used.
    virtual std::string CheckRun() { return {}; }
    // Opens the tables and lists the folder's measurements; false after a store failure.
    virtual bool Open(std::int32_t folderId, std::size_t* count) = 0;
    virtual std::int32_t Id(std::size_t item) const = 0;
    // Only asked for "non Calculation": 1 a result is stored (or the measurement is gone), 0
    // none, -1 not known (a store failure: the run fails, since not knowing is not "not
    // calculated").
    virtual int HasResult(std::size_t item) = 0;
    // The conditions for one chosen measurement: empty, or "NAME: why".
    virtual std::string CheckMeasurement(std::size_t) { return {}; }
    // After choosing and checking, before the first read; false after a store failure.
    virtual bool Prepare() { return true; }
    // Reads the record and samples; Ready hands over the job.
    virtual ReadOutcome Read(std::size_t item, std::unique_ptr<MeasurementJob>* job) = 0;
};

RunSummary RunFolder(FolderRunKind& kind, std::int32_t folderId, Target target,
                     const std::set<std::int32_t>& selected, Progress* progress);

// Whether a record's channel field and its samples agree on one or two channels.
inline bool ChannelsAgree(int recordChannels, int sampleChannels) {
    return (recordChannels == 1 || recordChannels == 2) && recordChannels == sampleChannels;
}

}  // namespace vesk
