#include "convert/TaskProber.h"

#include <QMetaObject>
#include <exception>
#include <memory>

#include "core/MainThread.h"
#include "decoder/FFDecoder.h"

namespace convert {

TaskProber::TaskProber(QObject* parent) : QObject(parent) {}

TaskProber::~TaskProber() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    ++generation_;
    queue_.clear();
  }
  wake_.notify_all();
  if (!worker_.joinable()) return;
  // The worker may be inside a log call that waits for the main thread.
  auto done = [this] {
    std::lock_guard<std::mutex> lock(mutex_);
    return workerDone_;
  };
  if (core::MainThread::IsMainThread()) core::MainThread::WaitWhileServing(done);
  worker_.join();
}

void TaskProber::Probe(std::vector<std::string> paths) {
  if (paths.empty()) return;
  ++pendingBatches_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(Batch{generation_, std::move(paths)});
    if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
  }
  wake_.notify_all();
}

void TaskProber::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++generation_;
  queue_.clear();
  pendingBatches_ = 0;
}

void TaskProber::Deliver(uint64_t generation, std::function<void()> fn) {
  QMetaObject::invokeMethod(
      this,
      [this, generation, fn = std::move(fn)] {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (generation != generation_) return;
        }
        fn();
      },
      Qt::QueuedConnection);
}

void TaskProber::Work() {
  engine::TFFDecoder decoder;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) break;
    Batch batch = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    Deliver(batch.generation, [this] {
      if (OnBatchStarted) OnBatchStarted();
    });
    for (const std::string& path : batch.paths) {
      {
        std::lock_guard<std::mutex> check(mutex_);
        if (stopping_ || batch.generation != generation_) break;
      }
      auto outcome = std::make_shared<ProbeOutcome>();
      try {
        *outcome = ProbeTaskFile(decoder, path);
      } catch (const std::exception& e) {
        // The codec libraries are missing: the file cannot be added, for that reason.
        decoder.CloseFile();
        outcome->Opened = false;
        outcome->Facts = TaskFacts{};
        outcome->Facts.Path = path;
        outcome->Error = e.what();
      }
      Deliver(batch.generation, [this, outcome] {
        if (OnProbed) OnProbed(std::move(*outcome));
      });
    }
    Deliver(batch.generation, [this] {
      if (pendingBatches_ > 0) --pendingBatches_;
      if (OnBatchFinished) OnBatchFinished();
    });
    lock.lock();
  }
  workerDone_ = true;
}

}  // namespace convert
