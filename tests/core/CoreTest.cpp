// SPDX-License-Identifier: GPL-3.0-or-later
#include "Exception.h"
#include "Format.h"
#include "ResString.h"
#include "SysUtils.h"
#include "ThreadSync.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(StrToInt, AcceptsDecimalWholeNumbersWithinThirtyTwoBits)
{
    EXPECT_EQ(StrToInt(QStringLiteral("0")), 0);
    EXPECT_EQ(StrToInt(QStringLiteral("2041")), 2041);
    EXPECT_EQ(StrToInt(QStringLiteral("-17")), -17);
    EXPECT_EQ(StrToInt(QStringLiteral("+8")), 8);
    EXPECT_EQ(StrToInt(QStringLiteral("2147483647")), 2147483647);
    EXPECT_EQ(StrToInt(QStringLiteral("-2147483648")), -2147483647 - 1);
}

TEST(StrToInt, RaisesTheConversionErrorNamingTheText)
{
    for (const char* bad : {"", " 1", "1 ", "abc", "12a", "2147483648", "-2147483649", "-", "$1F", "1.5", "٣"}) {
        try {
            StrToInt(QString::fromUtf8(bad));
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("'%1' is not a valid integer value").arg(QString::fromUtf8(bad)));
        }
    }
}

TEST(FormatText, FillsPlaceholdersInOrderAndNeverTrustsThePattern)
{
    EXPECT_EQ(FormatText(QStringLiteral("'%s' is %d%%"), {QStringLiteral("x"), QStringLiteral("5")}),
              QStringLiteral("'x' is 5%"));
    EXPECT_EQ(FormatText(QStringLiteral("%s %s %s"), {QStringLiteral("a")}), QStringLiteral("a  "));
    EXPECT_EQ(FormatText(QStringLiteral("no args %x %"), {QStringLiteral("a")}), QStringLiteral("no args %x %"));
}

TEST(ResourceStrings, LoadThroughTheReplaceableLoader)
{
    EXPECT_EQ(LoadResString(&SInvalidInteger), QStringLiteral("'%s' is not a valid integer value"));
    EXPECT_EQ(LoadResString(nullptr), QString());
    const char* literal = "Literal text";
    const TResStringRec byAddress{nullptr, reinterpret_cast<std::intptr_t>(literal)};
    EXPECT_EQ(LoadResString(&byAddress), QStringLiteral("Literal text"));
    const TResStringRec missing{SInvalidInteger.Module, 4711};
    EXPECT_EQ(LoadResString(&missing), QString());

    auto& slot = ResStringLoaderSlot();
    const TResStringLoader original = slot.exchange([](const TResStringRec*) { return QStringLiteral("replaced"); });
    EXPECT_EQ(LoadResString(&SInvalidInteger), QStringLiteral("replaced"));
    slot.store(original);
    EXPECT_EQ(LoadResString(&SInvalidInteger), QStringLiteral("'%s' is not a valid integer value"));
}

TEST(Guarded, HandsWhatAHandlerRaisesToTheInstalledHandler)
{
    QStringList seen;
    const auto previous = SetExceptionHandler([&](std::exception_ptr e) { seen << ExceptionMessage(e); });
    Guarded([] { throw Exception(QStringLiteral("first")); });
    Guarded([] { throw std::runtime_error("second"); });
    Guarded([] {});
    SetExceptionHandler(previous);
    EXPECT_EQ(seen, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
}

TEST(ThreadSync, RunsWorkOnTheMainThreadAndReturnsItsError)
{
    auto& sync = TThreadSync::Instance();
    const auto mainThread = std::this_thread::get_id();
    std::atomic<bool> done{false};
    std::thread::id ranOn;
    std::string error;
    std::thread worker([&] {
        sync.Synchronize([&] { ranOn = std::this_thread::get_id(); });
        try {
            sync.Synchronize([] { throw Exception(QStringLiteral("from main")); });
        } catch (const Exception& e) {
            error = e.what();
        }
        done = true;
        sync.Notify();
    });
    // Waiting for the worker serves its requests; processing events would too.
    sync.WaitServing([&] { return done.load(); });
    worker.join();
    EXPECT_EQ(ranOn, mainThread);
    EXPECT_EQ(error, "from main");
}

TEST(ThreadSync, RequestsAlsoRunWhenTheMainThreadProcessesEvents)
{
    auto& sync = TThreadSync::Instance();
    std::atomic<int> served{0};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            sync.Synchronize([&] { ++served; });
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (served < 50 && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    EXPECT_EQ(served, 50);
}
