// The download run against a stand-in service on loopback: real transfers, real files.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "StandInService.h"
#include "TestSupport.h"
#include "core/MainThread.h"
#include "download/DownloadRun.h"

using namespace download;
namespace fs = std::filesystem;

namespace {

DownloadRunOptions optionsFor(const standin::Service& service) {
  DownloadRunOptions o;
  o.ServiceDomain = service.Domain();
  o.Agent = "[Test Edition]";
  o.PauseAfterExtraction = std::chrono::milliseconds(0);
  return o;
}

// A run with everything it shows recorded.
struct Harness {
  explicit Harness(DownloadRunOptions options) : run(std::move(options)) {
    run.OnLabelsChanged = [this] {
      labels.push_back(run.Labels());
      if (onLabels) onLabels();
    };
    run.OnRowChanged = [this](int row) {
      if (row >= 0) rows.push_back({row, run.Rows()[row]});
    };
    run.OnEntryEnded = [this](int entry) {
      ended.push_back(entry);
      if (onEntryEnded) onEntryEnded(entry);
    };
    run.OnFinished = [this] {
      ++finished;
      finishedAt = std::chrono::steady_clock::now();
    };
    run.OnLog = [this](const std::string& line) { log.push_back(line); };
    run.OnScriptError = [this](const std::string& m) { scriptErrors.push_back(m); };
  }
  bool go(const std::vector<std::string>& addresses, const std::string& folder,
          const QualityPreference& q = {}) {
    run.StartDownloadRun(addresses, folder, q);
    return core::MainThread::WaitWhileServing([&] { return finished > 0 && run.Idle(); },
                                              std::chrono::seconds(60));
  }
  std::vector<std::string> statuses() const {
    std::vector<std::string> s;
    for (const EntryResult& r : run.Results()) s.push_back(r.Status);
    return s;
  }
  bool sawQuality(const std::string& text) const {
    for (const auto& l : labels)
      if (l.Quality == text) return true;
    return false;
  }
  bool logHas(const std::string& part) const {
    for (const auto& l : log)
      if (l.find(part) != std::string::npos) return true;
    return false;
  }

  DownloadRun run;
  std::vector<DownloadLabels> labels;
  std::vector<std::pair<int, DownloadRow>> rows;
  std::vector<int> ended;
  std::vector<std::string> log, scriptErrors;
  int finished = 0;
  std::chrono::steady_clock::time_point finishedAt;
  std::function<void()> onLabels;
  std::function<void(int)> onEntryEnded;
};

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

const std::string& flv() {
  static const std::string bytes = standin::Clip("clip.flv");
  return bytes;
}
const std::string& mp4() {
  static const std::string bytes = standin::Clip("clip.mp4");
  return bytes;
}

class DownloadRunTest : public ::testing::Test {
 protected:
  void SetUp() override { core::MainThread::SetCurrentAsMain(); }
  standin::Service service;
  testsupport::TempDir dir;
  std::string folder() const { return dir.str() + "/"; }
};

}  // namespace

TEST_F(DownloadRunTest, AnEntryFailingInEveryQualityLeavesTheOthersSaved) {
  service.Add({"a", "First", {{18, mp4()}}});
  standin::Video b{"b", "Second", {}};
  b.broken = {5, 6, 18, 35, 22, 13, 17, 34, 37};
  service.Add(b);
  service.Add({"c", "Third", {{18, flv()}}});
  Harness h(optionsFor(service));
  ASSERT_TRUE(h.go({service.WatchUrl("a"), service.WatchUrl("b"), service.WatchUrl("c")},
                   folder()));
  EXPECT_EQ(h.finished, 1);
  EXPECT_EQ(h.statuses(), (std::vector<std::string>{"完成。", "失败。", "完成。"}));
  EXPECT_EQ(h.run.TotalCount(), 3);
  EXPECT_EQ(h.run.SucceededCount(), 2);
  EXPECT_EQ(h.run.FailedCount(), 1);
  ASSERT_EQ(h.run.DownloadedFiles(),
            (std::vector<std::string>{folder() + "First.mp4", folder() + "Third.mp4"}));
  EXPECT_EQ(testsupport::ReadFile(folder() + "First.mp4"), mp4());
  EXPECT_EQ(testsupport::ReadFile(folder() + "Third.mp4"), flv());
  // No .part is left of the failed attempts.
  EXPECT_EQ(filesIn(folder()), (std::vector<std::string>{"First.mp4", "Third.mp4"}));
  // The second entry tried every slot in the default order, with its own document's
  // links only (the first entry's link would have worked).
  std::vector<int> itags = service.VideoItags();
  EXPECT_EQ(itags, (std::vector<int>{18, 18, 35, 22, 6, 13, 17, 34, 37, 18}));
  EXPECT_FALSE(h.run.Results()[1].Error.empty());
  EXPECT_EQ(h.run.Results()[1].Title, "Second");
  // The display is reset at the end, and every transfer carried the product's agent text.
  EXPECT_TRUE(h.run.Rows().empty());
  EXPECT_EQ(h.run.Labels().Status, "...");
  for (const std::string& agent : service.Agents()) EXPECT_EQ(agent, "[Test Edition]");
}

TEST_F(DownloadRunTest, FileNamesComeFromTheTitles) {
  const struct {
    const char* id;
    const char* title;  // as on the page
  } videos[] = {
      {"s1", "Same"},
      {"s2", "Same"},
      {"q", "Why: now?"},
      {"e", "Tom &amp; Jerry&#39;s &lt;3&gt;"},
      {"x", "Existing"},
      {"p", "a/b\\c*d\"e|f"},
  };
  std::vector<std::string> addresses;
  for (const auto& v : videos) {
    service.Add({v.id, v.title, {{18, mp4()}}});
    addresses.push_back(service.WatchUrl(v.id));
  }
  dir.write("Existing.mp4", "the user's own file");
  Harness h(optionsFor(service));
  ASSERT_TRUE(h.go(addresses, folder()));
  EXPECT_EQ(h.run.DownloadedFiles(),
            (std::vector<std::string>{folder() + "Same.mp4", folder() + "Same(1).mp4",
                                      folder() + "Why_ now_.mp4",
                                      folder() + "Tom & Jerry's _3_.mp4",
                                      folder() + "Existing(1).mp4", folder() + "a_b_c_d_e_f.mp4"}));
  EXPECT_EQ(testsupport::ReadFile(folder() + "Existing.mp4"), "the user's own file");
  for (const std::string& path : h.run.DownloadedFiles()) EXPECT_EQ(testsupport::ReadFile(path), mp4());
  // The title was the row's caption while the entry ran.
  bool captionShown = false;
  for (const auto& [row, r] : h.rows) captionShown |= row == 3 && r.Caption == "Tom & Jerry's <3>";
  EXPECT_TRUE(captionShown);
}

TEST_F(DownloadRunTest, AMissingPreferredLinkFallsBackToTheNextSlot) {
  service.Add({"v", "Fallback", {{35, flv()}}});
  Harness h(optionsFor(service));
  ASSERT_TRUE(h.go({service.WatchUrl("v")}, folder()));
  EXPECT_TRUE(h.sawQuality("[HQ18] 失败, 尝试下一步: [HQ35]"));
  EXPECT_TRUE(h.sawQuality("[HQ35] - (FLV, 854 x 480, 立体声 44KHz AAC)"));
  EXPECT_EQ(service.VideoItags(), std::vector<int>{35});
  EXPECT_EQ(h.run.DownloadedFiles(), std::vector<std::string>{folder() + "Fallback.flv"});
}

TEST_F(DownloadRunTest, TheSlotDecidesTheExtension) {
  service.Add({"v", "Clip", {{34, flv()}, {37, mp4()}, {13, flv()}}});
  const struct {
    uint8_t first;
    const char* file;
  } cases[] = {{6, "Clip.flv"}, {7, "Clip.mp4"}, {4, "Clip.3gp"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    testsupport::TempDir out;
    QualityPreference q;
    q.Order = {c.first, 1, 2, 3, 0, 5, 5, 5};
    Harness h(optionsFor(service));
    ASSERT_TRUE(h.go({service.WatchUrl("v")}, out.str(), q));
    EXPECT_EQ(h.run.DownloadedFiles(), std::vector<std::string>{out.str() + "/" + c.file});
  }
}

TEST_F(DownloadRunTest, WithHighQualityOffOnlyTheDefaultQualityIsFetched) {
  service.Add({"ok", "Default", {{5, flv()}, {18, mp4()}}});
  service.Add({"no5", "Without five", {{18, mp4()}, {22, mp4()}}});
  QualityPreference q;
  q.HighQuality = false;
  Harness h(optionsFor(service));
  ASSERT_TRUE(h.go({service.WatchUrl("ok"), service.WatchUrl("no5")}, folder(), q));
  EXPECT_EQ(h.statuses(), (std::vector<std::string>{"完成。", "失败。"}));
  EXPECT_EQ(h.run.DownloadedFiles(), std::vector<std::string>{folder() + "Default.flv"});
  EXPECT_EQ(service.VideoItags(), std::vector<int>{5});
  EXPECT_TRUE(h.sawQuality("[默认质量 - HQ5 - (FLV, 400 x 240, 单声道 44KHz MP3)]"));
}

TEST_F(DownloadRunTest, WithoutALengthNoSizeIsShownAndTimeLeftIsTheNegativeElapsedTime) {
  standin::Video v{"n", "No length", {{18, mp4()}}};
  v.noLength = true;
  service.Add(v);
  Harness h(optionsFor(service));
  ASSERT_TRUE(h.go({service.WatchUrl("n")}, folder()));
  EXPECT_EQ(h.statuses(), std::vector<std::string>{"完成。"});
  EXPECT_EQ(testsupport::ReadFile(folder() + "No length.mp4"), mp4());
  // The size shown is still the page's when the video arrives, and no percentage.
  bool downloading = false, negative = false;
  std::string sizeBefore;
  for (const auto& [row, r] : h.rows) {
    if (r.Status == kStatusAnalysed) sizeBefore = r.Size;
    if (r.Status != kStatusDownloading) continue;
    downloading = true;
    EXPECT_EQ(r.Size, sizeBefore);
    EXPECT_EQ(r.Progress, "0%");
  }
  EXPECT_FALSE(sizeBefore.empty());
  for (const auto& l : h.labels) negative |= l.TimeLeft.rfind("00:00:-0", 0) == 0;
  EXPECT_TRUE(downloading);
  EXPECT_TRUE(negative);
}

TEST_F(DownloadRunTest, CancellingEndsTheRunWithTheSummary) {
  struct Case {
    const char* name;
    bool duringVideo;  // else between the first and the second entry
  } cases[] = {{"between entries", false}, {"during a video", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    standin::Service s;
    s.Add({"1", "One", {{18, mp4()}}});
    standin::Video slow{"2", "Two", {{18, mp4()}}};
    slow.stallBeforeBodyMs = 20000;
    s.Add(slow);
    s.Add({"3", "Three", {{18, mp4()}}});
    testsupport::TempDir out;
    Harness h(optionsFor(s));
    std::chrono::steady_clock::time_point cancelledAt;
    bool cancelled = false;
    auto cancel = [&] {
      cancelled = true;
      core::MainThread::Post([&] {
        cancelledAt = std::chrono::steady_clock::now();
        h.run.Cancel();
      });
    };
    if (c.duringVideo) {
      h.onLabels = [&] {
        if (!cancelled && h.run.CurrentIndex() == 1 && h.run.Labels().Status == kStatusAnalysed)
          cancel();
      };
    } else {
      h.onEntryEnded = [&](int entry) {
        if (entry == 0) cancel();
      };
    }
    ASSERT_TRUE(h.go({s.WatchUrl("1"), s.WatchUrl("2"), s.WatchUrl("3")}, out.str()));
    EXPECT_EQ(h.finished, 1);
    EXPECT_EQ(h.run.TotalCount(), 3);
    EXPECT_EQ(h.run.SucceededCount(), 1);
    EXPECT_EQ(h.run.FailedCount(), 2);
    EXPECT_EQ(filesIn(out.str()), std::vector<std::string>{"One.mp4"});
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(h.finishedAt - cancelledAt);
    EXPECT_LT(took.count(), 2000);
    std::printf("[ figure ] cancel %s to summary: %lld ms\n", c.name,
                static_cast<long long>(took.count()));
  }
}

TEST_F(DownloadRunTest, ACancelDuringThePauseAfterExtractionIsNotLost) {
  service.Add({"1", "One", {{18, mp4()}}});
  DownloadRunOptions o = optionsFor(service);
  o.PauseAfterExtraction = std::chrono::milliseconds(1500);
  Harness h(o);
  bool cancelled = false;
  h.run.OnLog = [&](const std::string& line) {
    // The links are in, the pause begins: no transfer is running.
    if (!cancelled && line.rfind("links:", 0) == 0) {
      cancelled = true;
      core::MainThread::Post([&] { h.run.Cancel(); });
    }
  };
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(h.go({service.WatchUrl("1")}, folder()));
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(h.run.SucceededCount(), 0);
  EXPECT_TRUE(service.VideoItags().empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
}

TEST_F(DownloadRunTest, AnUntrustedCertificateFailsTheEntryAndTheRunGoesOn) {
  testsupport::TempDir keys;
  const std::string cert = keys.str() + "/cert.pem", key = keys.str() + "/key.pem";
  ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                         "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
                         key + "' -out '" + cert + "' >/dev/null 2>&1")
                            .c_str()),
            0);
  standin::Service secure(std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str()));
  secure.SetSecure(true);
  secure.Add({"s", "Secret", {{18, mp4()}}});
  service.Add({"p", "Plain", {{18, mp4()}}});
  Harness h(optionsFor(service));
  ASSERT_TRUE(h.go({secure.WatchUrl("s"), service.WatchUrl("p")}, folder()));
  EXPECT_EQ(h.statuses(), (std::vector<std::string>{"失败。", "完成。"}));
  const std::string& error = h.run.Results()[0].Error;
  EXPECT_NE(error.find("certificate"), std::string::npos) << error;
  bool noted = false;
  for (const auto& [row, r] : h.rows) noted |= row == 0 && r.Note == error;
  EXPECT_TRUE(noted);
  EXPECT_TRUE(h.logHas("certificate"));
  EXPECT_TRUE(secure.Requests().empty());
}

TEST_F(DownloadRunTest, AWriteFailureFailsTheEntryWithoutFallbackAndTheRunGoesOn) {
  const std::string big = mp4() + mp4() + mp4();
  service.Add({"big", "Big", {{18, big}, {35, big}}});
  service.Add({"small", "Small", {{18, std::string(1000, 'x')}}});
  // A full disk, as the process sees it: writes past the limit fail.
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit limited = saved;
  limited.rlim_cur = 16 * 1024;
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  Harness h(optionsFor(service));
  const bool ended = h.go({service.WatchUrl("big"), service.WatchUrl("small")}, folder());
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  ASSERT_TRUE(ended);
  EXPECT_EQ(h.statuses(), (std::vector<std::string>{"失败。", "完成。"}));
  EXPECT_EQ(service.VideoItags(), (std::vector<int>{18, 18}));
  EXPECT_EQ(filesIn(folder()), std::vector<std::string>{"Small.mp4"});
  EXPECT_FALSE(h.run.Results()[0].Error.empty());
}

TEST_F(DownloadRunTest, ALostConnectionIsResumedOnceFromThePartFile) {
  struct Case {
    const char* name;
    bool resumeWorks;
    std::vector<std::string> files;
  } cases[] = {
      {"the resume completes the file", true, {"Cut.mp4"}},
      {"a failed resume falls back to the next quality", false, {"Cut.flv"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    standin::Service s;
    const std::string body = mp4() + mp4();
    standin::Video v{"cut", "Cut", {{18, body}, {35, flv()}}};
    v.dropAfter = body.size() / 2;
    v.dropping = {18};
    if (!c.resumeWorks) v.brokenRanges = true;
    s.Add(v);
    testsupport::TempDir out;
    Harness h(optionsFor(s));
    ASSERT_TRUE(h.go({s.WatchUrl("cut")}, out.str()));
    EXPECT_EQ(filesIn(out.str()), c.files);
    ASSERT_EQ(s.Ranges().size(), 1u);
    EXPECT_EQ(s.Ranges()[0], "bytes=" + std::to_string(body.size() / 2) + "-");
    if (c.resumeWorks) {
      EXPECT_EQ(testsupport::ReadFile(out.str() + "/Cut.mp4"), body);
      EXPECT_EQ(s.VideoItags(), (std::vector<int>{18, 18}));
    } else {
      EXPECT_EQ(s.VideoItags(), (std::vector<int>{18, 18, 35}));
    }
  }
}

TEST_F(DownloadRunTest, SilentServersAndOversizedPagesFailTheirEntryOnly) {
  struct Case {
    const char* name;
    standin::Video video;
  } cases[] = {
      {"a silent watch page", {"v", "Silent page", {{18, mp4()}}}},
      {"a silent video", {"v", "Silent video", {{18, mp4()}}}},
      {"a page past the memory limit", {"v", "Huge", {{18, mp4()}}}},
  };
  cases[0].video.stallPageMs = 20000;
  cases[1].video.stallBeforeBodyMs = 20000;
  cases[2].video.pagePadding = std::string(8 * 1024 * 1024 + 1, ' ');
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    standin::Service s;
    s.Add(c.video);
    s.Add({"ok", "Fine", {{18, mp4()}}});
    testsupport::TempDir out;
    DownloadRunOptions o = optionsFor(s);
    o.StallTimeoutMs = 500;
    Harness h(o);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(h.go({s.WatchUrl("v"), s.WatchUrl("ok")}, out.str()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(h.statuses(), (std::vector<std::string>{"失败。", "完成。"}));
    EXPECT_FALSE(h.run.Results()[0].Error.empty());
    std::printf("[ reason ] %s: %s\n", c.name, h.run.Results()[0].Error.c_str());
    EXPECT_EQ(filesIn(out.str()), std::vector<std::string>{"Fine.mp4"});
  }
}
