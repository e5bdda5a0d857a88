// SPDX-License-Identifier: GPL-3.0-or-later
// The LocoNet link on a scripted port: what it does with the texts it works on.

#include "LocoNetLink.h"

#include "CPort.h"
#include "ScriptedComDevice.h"
#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct TRecordingView final : TLocoNetView {
    std::vector<std::string> Lines;
    std::function<void()> OnProcessPending;
    void AddLine(std::string_view line) override { Lines.emplace_back(line); }
    void ShowInputReport(const LocoNet::TInputReport&) override {}
    void Beep() override {}
    void ProcessPending() override
    {
        if (OnProcessPending)
            std::exchange(OnProcessPending, nullptr)();
    }
    void Pause(std::chrono::milliseconds) override {}
};

} // namespace

TEST(LocoNetLink, ANewConnectionDuringAPassEmptiesTheTextsWhenThePassEnds)
{
    TScriptedPort p = MakeScriptedPort();
    p.Port->OpenPort();
    TRecordingView view;
    std::string pending;
    std::string working;
    TLocoNetLink link(*p.Port, view, pending, working);

    // Junk from an earlier connection, and two whole messages behind it.
    pending = "00";
    p.Script->Input = QByteArray("\x83\x7C\x82\x7D", 4);
    link.Receive(4); // the junk byte is dropped
    EXPECT_EQ(pending, "837C827D");
    // The port is opened anew while the next pass lets pending events run: the pass still
    // finishes what it scans, and what it left pending is gone afterwards.
    view.OnProcessPending = [&] { link.Reset(); };
    p.Script->Input = QByteArray("\x81", 1);
    link.Receive(1);
    EXPECT_EQ(view.Lines, (std::vector<std::string>{"837C", "827D"}));
    EXPECT_EQ(pending, "");
    EXPECT_EQ(working, "");
}
