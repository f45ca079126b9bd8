// The mail queue: one delivery at a time on a thread of its own, in the
// order queued, each outcome reported once on the caller's thread.
#include "monitor/delivery.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "monitor/observer_list.h"
#include "monitor/outage_book.h"
#include "platform/text.h"
#include "support/catalogue_fixture.h"
#include "support/engine_rig.h"

namespace quorvex::test {
namespace {

using namespace std::chrono_literals;

// Holds the jobs that wait on it until opened.
class TGate {
 public:
  void open() {
    std::lock_guard lock(_mutex);
    _open = true;
    _changed.notify_all();
  }
  void pass() {
    std::unique_lock lock(_mutex);
    // Bounded, so a broken test ends.
    _changed.wait_for(lock, 10s, [this] { return _open; });
  }

 private:
  std::mutex _mutex;
  std::condition_variable _changed;
  bool _open = false;
};

struct TOutcomeLog final : IMonitorObserver {
  std::vector<std::u16string> lines;
  std::vector<std::thread::id> threads;
  void deliveryDone(const TDeliveryOutcome& outcome) override {
    lines.push_back(outcome.line());
    threads.push_back(std::this_thread::get_id());
  }
};

// Collects until `count` outcomes are in; bounded by 10 s.
void collectUntil(TDeliveryWorker& worker, const TOutcomeLog& log, size_t count) {
  for (int i = 0; i < 1000 && log.lines.size() < count; ++i) {
    pollfd fd{worker.wakeFd(), POLLIN, 0};
    poll(&fd, 1, 10);
    worker.collect();
  }
}

TDelivery delivery(const std::string& name, std::vector<std::string>& sent, std::mutex& mutex,
                   TGate* gate = nullptr, bool fails = false) {
  return {TDeliveryKind::Notification, -1, u"mail " + fromUtf8(name), [=, &sent, &mutex] {
            if (gate) gate->pass();
            {
              std::lock_guard lock(mutex);
              sent.push_back(name);
            }
            if (fails) throw std::runtime_error("Read timed out.");
          }};
}

TEST(DeliveryWorker, SendsOneAtATimeInTheOrderQueuedAndReportsOnTheCallersThread) {
  TOutcomeLog log;
  TDeliveryWorker worker(log, TClock::System(), 5s);
  std::vector<std::string> sent;
  std::mutex mutex;
  TGate gate;
  worker.enqueue(delivery("first", sent, mutex, &gate));
  worker.enqueue(delivery("second", sent, mutex, nullptr, true));
  worker.enqueue(delivery("third", sent, mutex));
  // Queued behind the first, which waits: nothing is sent, nothing reported.
  std::this_thread::sleep_for(50ms);
  worker.collect();
  EXPECT_TRUE(log.lines.empty());
  EXPECT_FALSE(worker.idle());
  gate.open();
  collectUntil(worker, log, 3);
  EXPECT_EQ(sent, (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_EQ(log.lines,
            (std::vector<std::u16string>{
                u"mail first sent", u"mail second not sent: Read timed out.", u"mail third sent"}));
  EXPECT_EQ(log.threads, std::vector<std::thread::id>(3, std::this_thread::get_id()));
  EXPECT_TRUE(worker.idle());
  worker.shutDown();
  EXPECT_EQ(log.lines.size(), 3u);  // none reported twice
}

TEST(DeliveryWorker, AtShutDownTheMailUnderWayGetsItsGraceThenNothingIsLostOrSent) {
  struct Case {
    const char* name;
    bool endsInGrace;
    std::vector<std::u16string> lines;
  };
  const Case cases[] = {
      {"the mail under way ends in time",
       true,
       {u"mail slow sent", u"mail next not sent: the monitor stopped before it was sent",
        u"mail late not sent: the monitor stopped before it was sent"}},
      {"the mail under way outlasts its grace",
       false,
       {u"mail slow not sent: the monitor stopped before the mail server answered",
        u"mail next not sent: the monitor stopped before it was sent",
        u"mail late not sent: the monitor stopped before it was sent"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TOutcomeLog log;
    auto gate = std::make_shared<TGate>();
    std::vector<std::string> sent;
    std::mutex mutex;
    {
      TDeliveryWorker worker(log, TClock::System(), 300ms);
      worker.enqueue(delivery("slow", sent, mutex, gate.get()));
      worker.enqueue(delivery("next", sent, mutex));
      std::this_thread::sleep_for(50ms);  // "slow" is under way
      std::thread opener;
      if (c.endsInGrace)
        opener = std::thread([gate] {
          std::this_thread::sleep_for(100ms);
          gate->open();
        });
      worker.shutDown();
      if (opener.joinable()) opener.join();
      worker.enqueue(delivery("late", sent, mutex));
      EXPECT_EQ(log.lines, c.lines);
    }
    gate->open();  // lets a thread cut short end; it reports to no one
    for (int i = 0; i < 200; ++i) {
      std::this_thread::sleep_for(10ms);
      std::lock_guard lock(mutex);
      if (!sent.empty()) break;
    }
    std::lock_guard lock(mutex);
    EXPECT_EQ(sent, std::vector<std::string>{"slow"}) << "only the mail under way went out";
  }
}

// An alert whose outcome is not known yet is not queued again by the next
// failure; the flag is set once it has gone out.
TEST(OutageBookWithAQueue, AnAlertIsQueuedOnceAndFlaggedWhenItsOutcomeIsKnown) {
  TCatalogueFixture catalogue({.servers = {"office"}});
  TObserverList observers;
  TOutcomeLog log;
  observers.add(log);
  TDeliveryWorker worker(observers, TClock::System(), 5s);
  TGate gate;
  int sends = 0;
  TOutageBook book(catalogue.settings(), worker, observers,
                   mailsBy([&](const TVPNServer&, const std::u16string&) {
                     gate.pass();
                     ++sends;
                   }));
  const TStatusChange failed{0, TVerdict::Failed, {TFailureKind::TimedOut}};
  book.statusChanged(failed);
  book.statusChanged(failed);
  EXPECT_FALSE(book.alerted(0));
  EXPECT_EQ(book.outage(0).failures, 2);
  gate.open();
  collectUntil(worker, log, 1);
  worker.shutDown();
  EXPECT_EQ(sends, 1);
  EXPECT_EQ(log.lines, std::vector<std::u16string>{u"alert for office sent"});
  EXPECT_TRUE(book.alerted(0));
  // The next failure of the same outage sends nothing.
  book.statusChanged(failed);
  EXPECT_EQ(log.lines.size(), 1u);
}

}  // namespace
}  // namespace quorvex::test
