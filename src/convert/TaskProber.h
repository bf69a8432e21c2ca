#pragma once
// Probes the files of step 1 on a worker thread of its own, with a decoder of its own, so
// that adding many or large files never holds up the window. The results come back on the
// thread that owns the prober (the main thread), one file at a time and in the order the
// paths were given; batches are probed one after another.

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "convert/TaskList.h"

namespace convert {

class TaskProber : public QObject {
  Q_OBJECT
 public:
  explicit TaskProber(QObject* parent = nullptr);
  // Drops what is not probed yet and waits for the file being probed, serving the
  // worker's calls into the main thread meanwhile.
  ~TaskProber() override;

  // Queues one batch of paths. Nothing for an empty list.
  void Probe(std::vector<std::string> paths);
  // Forgets every queued batch; results not yet delivered are never delivered.
  void Cancel();
  // Batches queued or being probed whose end has not been delivered yet.
  int PendingBatches() const { return pendingBatches_; }
  bool Busy() const { return pendingBatches_ > 0; }

  // Before the first result of a batch.
  std::function<void()> OnBatchStarted;
  // One file of the batch.
  std::function<void(ProbeOutcome outcome)> OnProbed;
  // After the last file of the batch.
  std::function<void()> OnBatchFinished;

 private:
  struct Batch {
    uint64_t generation = 0;
    std::vector<std::string> paths;
  };
  void Work();
  // Runs fn on the owner's thread unless the generation was cancelled meanwhile.
  void Deliver(uint64_t generation, std::function<void()> fn);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Batch> queue_;
  uint64_t generation_ = 1;  // guarded by mutex_
  bool stopping_ = false;    // guarded by mutex_
  bool workerDone_ = false;  // guarded by mutex_
  int pendingBatches_ = 0;   // owner's thread only
  std::thread worker_;
};

}  // namespace convert
