#include "monitor/delivery.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "platform/wake_pipe.h"

#include "alerts/alert_mail.h"
#include "monitor/report_text.h"

namespace quorvex {

std::u16string TDeliveryOutcome::line() const {
  return what + (sent ? u" sent" : u" not sent: " + error);
}

TDeliveryOutcome runDelivery(const TDelivery& delivery) {
  TDeliveryOutcome outcome{delivery.kind, delivery.row, delivery.what, false, {}};
  try {
    delivery.send();
    outcome.sent = true;
  } catch (const std::exception& e) {
    outcome.error = oneLine(mailErrorText(e));
  } catch (...) {
    outcome.error = oneLine(u"");
  }
  return outcome;
}

void reportDelivery(const TDelivery& delivery, TDeliveryOutcome outcome,
                    IMonitorObserver& observers, const TClock& clock) {
  outcome.localTime = clock.Now();
  outcome.wallTime = clock.WallNow();
  outcome.notifier = delivery.notifier;
  if (delivery.done) delivery.done(outcome);
  observers.deliveryDone(outcome);
}

void TImmediateDelivery::enqueue(TDelivery delivery) {
  reportDelivery(delivery, runDelivery(delivery), _observers, _clock);
}

}  // namespace quorvex

namespace quorvex {

namespace {

constexpr char16_t kNotStarted[] = u"the monitor stopped before it was sent";
constexpr char16_t kCutShort[] = u"the monitor stopped before the mail server answered";

}  // namespace

struct TDeliveryWorker::TShared {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<TDelivery> queued;
  std::optional<TDelivery> underWay;
  std::deque<std::pair<TDelivery, TDeliveryOutcome>> finished;
  bool stopping = false;
  bool abandoned = false;  // shut down while a delivery was under way
  TWakePipe wake;
};

TDeliveryWorker::TDeliveryWorker(IMonitorObserver& observers, const TClock& clock,
                                 std::chrono::milliseconds shutDownGrace)
    : _observers(observers),
      _clock(clock),
      _grace(shutDownGrace),
      _shared(std::make_shared<TShared>()),
      _thread(work, _shared) {}

TDeliveryWorker::~TDeliveryWorker() { finish(false); }

int TDeliveryWorker::wakeFd() const { return _shared->wake.readFd(); }

void TDeliveryWorker::work(std::shared_ptr<TShared> shared) {
  std::unique_lock lock(shared->mutex);
  for (;;) {
    // Waits for work or the shut-down, which the engine's thread signals.
    shared->changed.wait(lock, [&] { return shared->stopping || !shared->queued.empty(); });
    if (shared->stopping) return;
    shared->underWay = std::move(shared->queued.front());
    shared->queued.pop_front();
    // The job alone leaves the lock; what the engine's thread reports stays.
    TDelivery job{shared->underWay->kind, shared->underWay->row, shared->underWay->what,
                  std::move(shared->underWay->send)};
    lock.unlock();
    TDeliveryOutcome outcome = runDelivery(job);
    lock.lock();
    if (shared->abandoned) return;  // reported not sent already
    shared->finished.emplace_back(std::move(*shared->underWay), std::move(outcome));
    shared->underWay.reset();
    shared->wake.wake();
    shared->changed.notify_all();
  }
}

void TDeliveryWorker::enqueue(TDelivery delivery) {
  if (_shutDown) {
    reportDelivery(delivery, {delivery.kind, delivery.row, delivery.what, false, kNotStarted},
                   _observers, _clock);
    return;
  }
  {
    std::lock_guard lock(_shared->mutex);
    _shared->queued.push_back(std::move(delivery));
  }
  _shared->changed.notify_all();
}

void TDeliveryWorker::collect() {
  std::deque<std::pair<TDelivery, TDeliveryOutcome>> finished;
  {
    std::lock_guard lock(_shared->mutex);
    _shared->wake.drain();
    finished.swap(_shared->finished);
  }
  for (auto& [delivery, outcome] : finished)
    reportDelivery(delivery, std::move(outcome), _observers, _clock);
}

bool TDeliveryWorker::idle() const {
  std::lock_guard lock(_shared->mutex);
  return _shared->queued.empty() && !_shared->underWay && _shared->finished.empty();
}

void TDeliveryWorker::shutDown() { finish(true); }

void TDeliveryWorker::finish(bool report) {
  if (_shutDown) return;
  _shutDown = true;
  std::deque<TDelivery> notStarted;
  std::optional<TDelivery> cutShort;
  {
    std::unique_lock lock(_shared->mutex);
    _shared->stopping = true;
    notStarted.swap(_shared->queued);
    _shared->changed.notify_all();
    // Bounded by the grace: the mail under way has that long to end.
    _shared->changed.wait_for(lock, _grace, [this] { return !_shared->underWay; });
    if (_shared->underWay) {
      _shared->abandoned = true;
      cutShort = *_shared->underWay;
    }
  }
  // A delivery cut short cannot be stopped from here: its thread ends with
  // it, on its own bounded waits, and owns everything it uses.
  if (cutShort) {
    _thread.detach();
  } else {
    _thread.join();
  }
  if (!report) return;
  collect();
  if (cutShort)
    reportDelivery(*cutShort, {cutShort->kind, cutShort->row, cutShort->what, false, kCutShort},
                   _observers, _clock);
  for (const TDelivery& delivery : notStarted)
    reportDelivery(delivery, {delivery.kind, delivery.row, delivery.what, false, kNotStarted},
                   _observers, _clock);
}

}  // namespace quorvex
