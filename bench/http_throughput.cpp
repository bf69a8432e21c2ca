// Throughput of the HTTP component against the curl program on the same
// loopback server, in one run: a body of SIZE MiB into memory and into a file,
// then the cost of one progress event (a blocking hand-over to the main thread
// per block).
//
// Built and run by bench/http_throughput.sh.
#define CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_ZLIB_SUPPORT
#define CPPHTTPLIB_BROTLI_SUPPORT
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/MainThread.h"
#include "http/WinHTTP.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// One transfer through the component; returns seconds, or -1 when it failed.
double componentRun(const std::string& url, const std::string& file, int64_t size, bool progress,
                    int32_t bufferSize, int64_t* events) {
  http::TWinHTTP h;
  h.URL = url;
  h.OutputFileName = file;
  h.TransferBufferSize = bufferSize;
  bool done = false, failed = false;
  int64_t count = 0;
  h.OnDone = [&](http::TCustomWinHTTP&, const std::string&, int64_t got, http::THttpStream*) {
    done = true;
    failed = got != size;
  };
  h.OnAnyError = [&](http::TCustomWinHTTP&) {
    done = true;
    failed = true;
  };
  if (progress) {
    h.OnProgress = [&](http::TCustomWinHTTP&, const std::string&, int64_t, int64_t, uint32_t,
                       int32_t, uint8_t, float, http::THttpStream*) { ++count; };
  }
  const auto start = Clock::now();
  h.StartTransfer();
  core::MainThread::WaitWhileServing([&] { return done && !h.IsBusy(); });
  const double took = seconds(Clock::now() - start);
  if (events) *events = count;
  return failed ? -1 : took;
}

// curl's own figure for the transfer (time_total), so that starting the program is not
// counted against it.
double curlRun(const std::string& url, const std::string& file) {
  const std::string command = "curl -s -f -w '%{time_total}' -o '" + file + "' '" + url + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  double took = -1;
  if (std::fscanf(pipe, "%lf", &took) != 1) took = -1;
  return pclose(pipe) == 0 ? took : -1;
}

double best(std::vector<double> v) {
  if (std::any_of(v.begin(), v.end(), [](double x) { return x < 0; })) return -1;
  return *std::min_element(v.begin(), v.end());
}

}  // namespace

int main(int argc, char** argv) {
  core::MainThread::SetCurrentAsMain();
  const int64_t mib = argc > 1 ? std::atoll(argv[1]) : 256;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::string work = argc > 3 ? argv[3] : "/tmp/wizconv-bench";
  std::filesystem::create_directories(work);
  const int64_t size = mib * 1024 * 1024;

  // The body is served from memory in 1 MiB pieces so the server costs little.
  const std::string piece(1024 * 1024, 'w');
  httplib::Server server;
  server.Get("/body", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(static_cast<size_t>(size), "application/octet-stream",
                             [&](size_t offset, size_t length, httplib::DataSink& sink) {
                               const size_t n = std::min(length, piece.size());
                               (void)offset;
                               return sink.write(piece.data(), n);
                             });
  });
  std::atomic<bool> stopping{false};
  // Sends 64 KiB of a longer body, then nothing for a while.
  server.Get("/silent", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(static_cast<size_t>(size), "application/octet-stream",
                             [&](size_t offset, size_t, httplib::DataSink& sink) {
                               if (offset == 0) return sink.write(piece.data(), 64 * 1024);
                               // Silent for a second: long enough for the abort to be measured,
                               // short enough that the stalled server threads come back for the
                               // next runs.
                               for (int i = 0; i < 200 && !stopping; ++i)
                                 std::this_thread::sleep_for(std::chrono::milliseconds(5));
                               return false;
                             });
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serverThread([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/body";
  const std::string file = work + "/http-bench.bin";

  std::vector<double> curlNull, curlFile, memory, toFile;
  for (int i = 0; i < runs; ++i) {
    curlNull.push_back(curlRun(url, "/dev/null"));
    memory.push_back(componentRun(url, "", size, false, 4096, nullptr));
    curlFile.push_back(curlRun(url, file));
    std::filesystem::remove(file);
    toFile.push_back(componentRun(url, file, size, false, 4096, nullptr));
    std::filesystem::remove(file);
  }
  auto rate = [&](double s) { return s > 0 ? static_cast<double>(mib) / s : 0.0; };
  const double cn = best(curlNull), cf = best(curlFile), m = best(memory), f = best(toFile);
  std::printf("body: %lld MiB over loopback, best of %d runs\n", static_cast<long long>(mib), runs);
  std::printf("  curl -o /dev/null      %7.3f s  %8.1f MiB/s\n", cn, rate(cn));
  std::printf("  component into memory  %7.3f s  %8.1f MiB/s  = %5.1f %% of curl\n", m, rate(m),
              100.0 * rate(m) / rate(cn));
  std::printf("  curl -o FILE           %7.3f s  %8.1f MiB/s\n", cf, rate(cf));
  std::printf("  component into FILE    %7.3f s  %8.1f MiB/s  = %5.1f %% of curl\n", f, rate(f),
              100.0 * rate(f) / rate(cf));

  // Progress events: the same transfer into memory with and without a handler,
  // at the default block size; the difference per event is the hand-over's
  // cost.
  std::vector<double> with, without;
  int64_t events = 0;
  for (int i = 0; i < runs; ++i) {
    without.push_back(componentRun(url, "", size, false, 4096, nullptr));
    with.push_back(componentRun(url, "", size, true, 4096, &events));
  }
  const double w = best(with), wo = best(without);
  std::printf("progress: %lld events of 4096 bytes\n", static_cast<long long>(events));
  std::printf("  without handler %7.3f s, with handler %7.3f s: %.2f us per event\n", wo, w,
              events ? (w - wo) * 1e6 / static_cast<double>(events) : 0.0);

  // Abort of a transfer whose server has gone silent: from the request to OnAborted.
  std::vector<double> abortMs;
  const std::string silent = "http://127.0.0.1:" + std::to_string(port) + "/silent";
  for (int i = 0; i < 20; ++i) {
    http::TWinHTTP h;
    h.URL = silent;
    int64_t got = 0;
    bool aborted = false;
    h.OnProgress = [&](http::TCustomWinHTTP&, const std::string&, int64_t, int64_t bytesRead,
                       uint32_t, int32_t, uint8_t, float, http::THttpStream*) { got = bytesRead; };
    h.OnAborted = [&](http::TCustomWinHTTP&) { aborted = true; };
    h.StartTransfer();
    core::MainThread::WaitWhileServing([&] { return got >= 64 * 1024; });
    core::MainThread::WaitWhileServing([] { return false; }, std::chrono::milliseconds(30));
    const auto asked = Clock::now();
    h.AbortTransfer(false, false);
    core::MainThread::WaitWhileServing([&] { return aborted; });
    abortMs.push_back(seconds(Clock::now() - asked) * 1000);
    core::MainThread::WaitWhileServing([&] { return !h.IsBusy(); });
  }
  std::sort(abortMs.begin(), abortMs.end());
  std::printf("abort of a silent transfer (20 runs): median %.1f ms, max %.1f ms\n",
              abortMs[abortMs.size() / 2], abortMs.back());

  stopping = true;
  server.stop();
  serverThread.join();
  return 0;
}
