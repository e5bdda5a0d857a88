// SPDX-License-Identifier: GPL-3.0-or-later
// The configurator's window at work, offscreen: the whole receive path into the monitor pane,
// the reaction to slot data, and a programming pass with its byte pacing as the simulator sees
// it. Real time throughout.

#include "Application.h"
#include "CPortCtl.h"
#include "IntLocoNet.h"
#include "LocoNet.h"
#include "LocoNetReceive.h"
#include "Simulator.h"
#include "UnitSentrax.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

void ProcessUntil(const std::function<bool()>& done, std::chrono::seconds timeout = 30s)
{
    const auto deadline = Clock::now() + timeout;
    while (!done() && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

// The window with its port open on a pseudo-terminal whose master the benchmark holds.
struct TWindowOnPty {
    int Master = -1;
    std::unique_ptr<TApplication> App = std::make_unique<TApplication>();
    TfrmSentrax* Form = nullptr;

    explicit TWindowOnPty(const QString& port = {})
    {
        InitializeUnitSentrax();
        QString path = port;
        if (path.isEmpty()) {
            Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
            grantpt(Master);
            unlockpt(Master);
            path = QString::fromLocal8Bit(ptsname(Master));
        }
        App->ErrorBox = [](const QString&, const QString& text) { std::fprintf(stderr, "error: %s\n", qPrintable(text)); };
        Form = App->CreateMainForm();
        Form->show();
        Form->ComPort1->SetPort(path);
        Form->ComPort1->OpenPort();
    }
    ~TWindowOnPty()
    {
        delete frmSentrax;
        App.reset();
        FinalizeUnitSentrax();
        if (Master >= 0)
            close(Master);
    }
    void Write(const std::vector<std::uint8_t>& bytes) const
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(Master, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += std::size_t(n);
        }
    }
};

std::vector<std::uint8_t> InputReports(int count)
{
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < count; ++i) {
        const auto m = LocoNet::WithChecksum(LocoNet::TMessage{0xB2, std::uint8_t(i & 0x7F), std::uint8_t(0x40 | ((i >> 7) & 0x0F))});
        bytes.insert(bytes.end(), m.begin(), m.end());
    }
    return bytes;
}

// Received bytes into the monitor pane, with the pane already holding state.range(0) lines.
void ReceivePathIntoWindow(benchmark::State& state)
{
    TWindowOnPty w;
    QStringList filler;
    for (int i = 0; i < state.range(0); ++i)
        filler << QStringLiteral("B2%1").arg(i % 10000, 6, 10, QLatin1Char('0'));
    w.Form->Memo1->setPlainText(filler.join(u'\n'));
    const auto burst = InputReports(256); // 1 KiB: shown as 512 lines
    for (auto _ : state) {
        const int before = w.Form->Memo1->LineCount();
        const auto start = Clock::now();
        w.Write(burst);
        ProcessUntil([&] { return w.Form->Memo1->LineCount() >= before + 512; });
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(burst.size()));
}
BENCHMARK(ReceivePathIntoWindow)->ArgName("pane_lines")->Arg(0)->Arg(20000)->Arg(100000)->Iterations(20)->Repetitions(5)->UseManualTime()->Unit(benchmark::kMillisecond);

long long StatusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

constexpr int kBusyBusReportsPerSecond = 230;

// One point of the busy-bus curve. Bus time is the traffic written so far at 230 reports a
// second: the wall time when paced, less when fed as fast as the window takes it. The heap
// figures tell memory the program holds from memory malloc keeps but nobody uses.
struct TBusySample {
    double BusMinutes = 0;
    double WallSeconds = 0;
    int PaneLines = 0;
    long long RssKiB = 0;
    long long HeapInUseKiB = 0;
    long long HeapKiB = 0;
};

TBusySample SampleBusyBus(TWindowOnPty& w, long long reports, Clock::time_point start)
{
    const struct mallinfo2 heap = mallinfo2();
    return {double(reports) / kBusyBusReportsPerSecond / 60, std::chrono::duration<double>(Clock::now() - start).count(),
            w.Form->Memo1->LineCount(), StatusKiB("VmRSS:"), (long long)((heap.uordblks + heap.hblkhd) / 1024),
            (long long)((heap.arena + heap.hblkhd) / 1024)};
}

// Where the curve goes: $SENTRAX_BUSY_BUS_CSV, or build/bench-results/ beside the working
// directory, named after the run.
QString BusyBusCsvPath(const benchmark::State& state, bool paced)
{
    const QString given = qEnvironmentVariable("SENTRAX_BUSY_BUS_CSV");
    if (!given.isEmpty())
        return given;
    QDir().mkpath(QStringLiteral("build/bench-results"));
    return QStringLiteral("build/bench-results/busy-bus-%1-%2min.csv")
        .arg(paced ? QStringLiteral("real-time") : QStringLiteral("fast"))
        .arg(state.range(0));
}

// state.range(0) minutes of a busy bus (230 input reports a second, each shown on two lines)
// through the receive path into the monitor pane, paced as on the wire or fed as fast as the
// window takes it. The curve (memory and pane lines against bus time) goes to a CSV file, every
// 10 s of bus time for the first 10 minutes (the pane reaches its cap after about 7), every
// minute after; the counters give its key figures.
void RunBusyBus(benchmark::State& state, bool paced)
{
    TWindowOnPty w;
    const long long reports = kBusyBusReportsPerSecond * 60LL * state.range(0);
    const auto traffic = InputReports(int(reports));
    const std::vector<std::uint8_t> last(traffic.end() - 4, traffic.end());
    const QString lastContact = QString::number(LocoNet::DecodeInputReport(last[1], last[2]).Contact);
    const int cap = w.Form->Memo1->MaxLines();
    QFile csv(BusyBusCsvPath(state, paced));
    if (!csv.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        state.SkipWithError(qPrintable(QStringLiteral("cannot write ") + csv.fileName()));
        return;
    }
    csv.write("bus_minutes,wall_seconds,pane_lines,rss_kib,heap_in_use_kib,heap_kib\n");
    std::vector<TBusySample> samples;
    const auto record = [&](const TBusySample& s) {
        samples.push_back(s);
        csv.write(QStringLiteral("%1,%2,%3,%4,%5,%6\n")
                      .arg(s.BusMinutes, 0, 'f', 3).arg(s.WallSeconds, 0, 'f', 1).arg(s.PaneLines)
                      .arg(s.RssKiB).arg(s.HeapInUseKiB).arg(s.HeapKiB).toLatin1());
        csv.flush();
    };

    std::atomic<long long> written{0};
    std::atomic<bool> writerDone{false};
    long long lateReports = 0;            // written more than 100 ms after their time (paced)
    Clock::duration worstLateness{};
    // The window's thread waits for events instead of spinning, so that a long paced run leaves
    // the machine's cores to the program; this timer wakes it to take the samples.
    QTimer wake;
    wake.start(100);
    for (auto _ : state) {
        const auto start = Clock::now();
        record(SampleBusyBus(w, 0, start));
        std::thread writer([&] {
            constexpr std::size_t kReport = 4;
            for (long long i = 0; i < reports;) {
                long long upTo = reports;
                if (paced) {
                    const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(double(i) / kBusyBusReportsPerSecond));
                    std::this_thread::sleep_until(due);
                    const auto lateness = Clock::now() - due;
                    worstLateness = std::max(worstLateness, lateness);
                    lateReports += lateness > 100ms;
                    upTo = i + 1;
                } else {
                    upTo = std::min(reports, i + 256);
                }
                w.Write(std::vector<std::uint8_t>(traffic.begin() + std::ptrdiff_t(i * kReport),
                                                  traffic.begin() + std::ptrdiff_t(upTo * kReport)));
                i = upTo;
                written = i;
            }
            writerDone = true;
        });
        long long nextSample = kBusyBusReportsPerSecond * 10LL;
        const auto caughtUp = [&] {
            return writerDone && w.Form->Edit3->text() == lastContact && w.Form->ComPort1->BytesWaiting() == 0;
        };
        const auto deadline = Clock::now() + std::chrono::minutes(state.range(0)) + 10min;
        while (!caughtUp() && Clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (written >= nextSample && nextSample < reports) {
                record(SampleBusyBus(w, nextSample, start));
                nextSample += kBusyBusReportsPerSecond * (nextSample < kBusyBusReportsPerSecond * 600LL ? 10LL : 60LL);
            }
        }
        writer.join();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        record(SampleBusyBus(w, reports, start));
    }

    const TBusySample& end = samples.back();
    const auto atCap = std::find_if(samples.begin(), samples.end(), [&](const TBusySample& s) { return s.PaneLines >= cap; });
    state.counters["pane_lines"] = end.PaneLines;
    state.counters["peak_rss_mib"] = double(StatusKiB("VmHWM:")) / 1024;
    state.counters["rss_end_mib"] = double(end.RssKiB) / 1024;
    state.counters["rss_grown_mib"] = double(end.RssKiB - samples.front().RssKiB) / 1024;
    state.counters["heap_in_use_end_mib"] = double(end.HeapInUseKiB) / 1024;
    if (atCap != samples.end()) {
        // What a pane line costs, and how the program grows once the pane keeps a constant
        // number of lines.
        state.counters["rss_at_cap_mib"] = double(atCap->RssKiB) / 1024;
        state.counters["bytes_per_line_at_cap"] = double(atCap->RssKiB - samples.front().RssKiB) * 1024 / atCap->PaneLines;
        state.counters["heap_bytes_per_line_at_cap"] =
            double(atCap->HeapInUseKiB - samples.front().HeapInUseKiB) * 1024 / atCap->PaneLines;
        if (end.BusMinutes > atCap->BusMinutes) {
            const double seconds = (end.BusMinutes - atCap->BusMinutes) * 60;
            state.counters["rss_after_cap_bytes_per_s"] = double(end.RssKiB - atCap->RssKiB) * 1024 / seconds;
            state.counters["heap_after_cap_bytes_per_s"] = double(end.HeapInUseKiB - atCap->HeapInUseKiB) * 1024 / seconds;
        }
    }
    if (paced) {
        state.counters["reports_per_s"] = double(reports) / (end.WallSeconds > 0 ? end.WallSeconds : 1);
        state.counters["late_reports"] = double(lateReports);
        state.counters["worst_lateness_ms"] = std::chrono::duration<double, std::milli>(worstLateness).count();
    }
}

// Fed as fast as the window takes it: an hour's worth in a few minutes.
void BusyBus(benchmark::State& state)
{
    RunBusyBus(state, false);
}
BENCHMARK(BusyBus)->ArgName("minutes")->Arg(10)->Arg(60)->Iterations(1)->Repetitions(1)->UseManualTime()->Unit(benchmark::kSecond);

// Paced as on the wire, 230 reports a second, for as long as the bus minutes say. Not part of the
// usual run (bench/run.sh leaves it out); select it with --benchmark_filter=BusyBusInRealTime.
void BusyBusInRealTime(benchmark::State& state)
{
    RunBusyBus(state, true);
}
BENCHMARK(BusyBusInRealTime)->ArgName("minutes")->Arg(20)->Arg(60)->Arg(120)->Iterations(1)->Repetitions(1)->UseManualTime()->Unit(benchmark::kSecond);

// Slot data in on the wire, to the first byte of the claim out.
void ClaimReaction(benchmark::State& state)
{
    TWindowOnPty w;
    std::atomic<bool> running{true};
    std::mutex mutex;
    std::vector<Clock::time_point> claimStarts;
    // The claim's bytes take 80 ms to go out while the window's thread paces them; a thread of
    // its own notes when the first one arrives.
    std::thread reader([&] {
        while (running) {
            pollfd p{w.Master, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            std::uint8_t buffer[64];
            const ssize_t n = read(w.Master, buffer, sizeof buffer);
            const auto now = Clock::now();
            for (ssize_t i = 0; i < n; ++i)
                if (buffer[i] == LocoNet::OPC_MOVE_SLOTS) {
                    std::lock_guard lock(mutex);
                    claimStarts.push_back(now);
                }
        }
    });
    std::uint8_t slot = 1;
    for (auto _ : state) {
        w.Form->Link().ForgetClaimedSlots();
        const auto data = LocoNet::WithChecksum(LocoNet::TMessage{0xE7, 0x0E, slot, 0x03, 0, 0, 0, 7, 0, 0, 0, 0, 0});
        slot = std::uint8_t(slot % 100 + 1);
        const std::size_t seen = [&] { std::lock_guard lock(mutex); return claimStarts.size(); }();
        const auto sent = Clock::now();
        w.Write(data);
        ProcessUntil([&] { std::lock_guard lock(mutex); return claimStarts.size() > seen; });
        const auto first = [&] { std::lock_guard lock(mutex); return claimStarts.back(); }();
        state.SetIterationTime(std::chrono::duration<double>(first - sent).count());
        ProcessUntil([] { return false; }, 0s); // let the rest of the claim go out
        std::this_thread::sleep_for(100ms);
        QCoreApplication::processEvents();
    }
    running = false;
    reader.join();
}
BENCHMARK(ClaimReaction)->Iterations(1)->Repetitions(50)->UseManualTime()->ReportAggregatesOnly()->Unit(benchmark::kMillisecond);

double Percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::size_t(p * double(values.size() - 1))];
}

// A whole programming pass: the version's start messages and both switch-request pairs, the
// time the window spends sending them (not the user's time between the steps).
void ProgrammingPass(benchmark::State& state)
{
    TSimulator simulator({"--no-station", "--report-interval", "0"});
    TWindowOnPty w(simulator.Port);
    for (auto _ : state) {
        const auto start = Clock::now();
        w.Form->RadioButton2Click(w.Form->RadioButton2);
        w.Form->Edit1->setText(QStringLiteral("17"));
        w.Form->Button2Click(w.Form->Button2);
        w.Form->Edit2->setText(QStringLiteral("16"));
        w.Form->Button4Click(w.Form->Button4);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        QCoreApplication::processEvents();
    }
    // The pause after every byte, as the simulator saw the bytes arrive. Not a byte's pause:
    // the 200 ms inside a switch-request pair, and the time between passes (a pass is 42 bytes:
    // 26 of start messages, 8 of each pair).
    std::this_thread::sleep_for(200ms);
    std::vector<double> times;
    for (const TSimulator::TLoggedByte& b : simulator.Bytes("rx"))
        times.push_back(b.At);
    std::vector<double> gaps;
    for (std::size_t i = 1; i < times.size(); ++i) {
        const double gap = (times[i] - times[i - 1]) * 1000;
        if (gap < 100 && i % 42 != 0)
            gaps.push_back(gap);
    }
    state.counters["byte_gap_median_ms"] = Percentile(gaps, 0.5);
    state.counters["byte_gap_p99_ms"] = Percentile(gaps, 0.99);
    state.counters["byte_gap_min_ms"] = Percentile(gaps, 0);
    state.counters["byte_gaps"] = double(gaps.size());
}
BENCHMARK(ProgrammingPass)->Iterations(5)->Repetitions(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
