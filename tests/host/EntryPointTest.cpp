#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "host/EntryPoint.h"
#include "host/Handlers.h"
#include "host/HostSupport.h"
#include "tests/host/FakeHost.h"
#include "tests/host/FakePlugin.h"

TEST(EntryPoint, UnhandledCommandCodesReturnZeroAndLeaveOutDataUntouched) {
    FakeHost host;
    std::memset(&host.out, 0xAB, sizeof host.out);
    PF_OutData before = host.out;
    for (PF_Cmd cmd : {25, 26, 33, 1000, INT_MAX, -1, -24, INT_MIN, 2, 3, 9, 16, 17, 18, 19, 20, 21, 22}) {
        EXPECT_EQ(host.call(cmd), PF_Err_NONE) << cmd;
        // Every byte, padding included, as the memset left them.
        // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
        EXPECT_EQ(std::memcmp(&before, &host.out, sizeof before), 0) << cmd;
    }
    EXPECT_EQ(host.acquiredTotal(), 0);
}

TEST(EntryPoint, CommandsNeedingRecordsRejectNullRecords) {
    FakeHost host;
    EXPECT_EQ(EntryPointFunc(PF_Cmd_GLOBAL_SETUP, nullptr, nullptr, nullptr, nullptr, nullptr),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(EntryPointFunc(PF_Cmd_RENDER, &host.in, nullptr, nullptr, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
}

TEST(EntryPoint, ConcurrentCallsRunOneAtATime) {
    FakeHost host;
    std::atomic<int> inside{0}, most{0};
    fakePlugin().onGetText = [&] {
        const int now = ++inside;
        most = std::max(most.load(), now);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        --inside;
    };
    PF_OutData out1{}, out2{};
    std::thread a([&] { EntryPointFunc(PF_Cmd_ABOUT, &host.in, &out1, nullptr, nullptr, nullptr); });
    std::thread b([&] { EntryPointFunc(PF_Cmd_ABOUT, &host.in, &out2, nullptr, nullptr, nullptr); });
    a.join();
    b.join();
    EXPECT_EQ(most.load(), 1);
    EXPECT_STREQ(out1.return_msg, "About this effect");
    EXPECT_STREQ(out2.return_msg, "About this effect");
}

TEST(EntryPoint, NestedCallOnTheOwningThreadDoesNotBlock) {
    FakeHost host;
    PF_Err nested = -1;
    fakePlugin().onGetText = [&] {
        fakePlugin().onGetText = nullptr;
        PF_OutData out{};
        nested = EntryPointFunc(PF_Cmd_ABOUT, &host.in, &out, nullptr, nullptr, nullptr);
    };
    EXPECT_EQ(host.call(PF_Cmd_ABOUT), PF_Err_NONE);
    EXPECT_EQ(nested, PF_Err_NONE);
}

// The lock must be free for another thread after a handler throws.
void expectLockFreeForOtherThread(FakeHost& host) {
    fakePlugin().onGetText = nullptr;
    PF_Err other = -1;
    std::thread t([&] {
        PF_OutData out{};
        other = EntryPointFunc(PF_Cmd_ABOUT, &host.in, &out, nullptr, nullptr, nullptr);
    });
    t.join();
    EXPECT_EQ(other, PF_Err_NONE);
}

TEST(EntryPoint, ThrownIntegerIsReturnedAndLockReleased) {
    FakeHost host;
    fakePlugin().onGetText = [] { throw PF_Err(PF_Err_BAD_CALLBACK_PARAM); };
    EXPECT_EQ(host.call(PF_Cmd_ABOUT), PF_Err_BAD_CALLBACK_PARAM);
    expectLockFreeForOtherThread(host);
}

TEST(EntryPoint, OtherExceptionsBecome515AndLockReleased) {
    FakeHost host;
    fakePlugin().onGetText = [] { throw std::runtime_error("boom"); };
    EXPECT_EQ(host.call(PF_Cmd_ABOUT), PF_Err_INVALID_CALLBACK);
    expectLockFreeForOtherThread(host);
    fakePlugin().onGetText = [] { throw std::bad_alloc(); };
    EXPECT_EQ(host.call(PF_Cmd_ABOUT), PF_Err_INVALID_CALLBACK);
}

TEST(EntryPoint, EventIsHandledOnlyBetweenFirstColorAndFirstPoint) {
    FakeHost host;
    FakePlugin& fx = fakePlugin();
    fx.addParam(LX_FLOAT, "f");   // host index 1
    fx.addParam(LX_COLOR, "c");   // 2
    fx.addParam(LX_FLOAT, "g");   // 3
    fx.addParam(LX_POINT, "p");   // 4
    fx.addParam(LX_COLOR, "c2");  // 5 (not the first colour)
    ASSERT_EQ(host.call(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    EXPECT_EQ(host::firstColorIndex(), 2u);
    EXPECT_EQ(host::firstPointIndex(), 4u);

    EXPECT_EQ(host.call(PF_Cmd_EVENT, nullptr, nullptr, nullptr), PF_Err_NONE);
    for (PF_ParamIndex index : {0, 1, 2, 3, 4, 5, -1}) {
        PF_EventExtra event{};
        event.effect_win.index = index;
        event.evt_out_flags = 0x40;
        EXPECT_EQ(host.call(PF_Cmd_EVENT, nullptr, nullptr, &event), PF_Err_NONE);
        const bool inside = index == 2 || index == 3;
        EXPECT_EQ(event.evt_out_flags, inside ? PF_EO_HANDLED_EVENT : 0x40u) << index;
    }
}

TEST(EntryPoint, EventWithoutColorOrPointIsNeverHandled) {
    FakeHost host;
    PF_EventExtra event{};
    event.effect_win.index = 0;
    EXPECT_EQ(host.call(PF_Cmd_EVENT, nullptr, nullptr, &event), PF_Err_NONE);
    EXPECT_EQ(event.evt_out_flags, 0);
}

TEST(HostTests, IdentifyTheHostByApplicationAndApiVersion) {
    struct Case {
        int32_t appl;
        int16_t major, minor;
        bool premiere, legacy, current;
    };
    const Case cases[] = {
        {PF_APPL_ID_AFTER_EFFECTS, 13, 0, false, true, false},   {PF_APPL_ID_AFTER_EFFECTS, 13, 1, false, true, false},
        {PF_APPL_ID_AFTER_EFFECTS, 13, 2, false, false, false},  {PF_APPL_ID_AFTER_EFFECTS, 13, 9, false, false, true},
        {PF_APPL_ID_AFTER_EFFECTS, 13, 28, false, false, true},  {PF_APPL_ID_AFTER_EFFECTS, 14, 0, false, false, false},
        {PF_APPL_ID_AFTER_EFFECTS, 12, 14, false, false, false}, {PF_APPL_ID_PREMIERE, 13, 0, true, false, false},
        {PF_APPL_ID_PREMIERE, 13, 28, true, false, false},
    };
    for (const Case& c : cases) {
        PF_InData in{};
        in.appl_id = c.appl;
        in.version = {c.major, c.minor};
        EXPECT_EQ(host::isPremiereHost(&in), c.premiere) << c.major << "." << c.minor;
        EXPECT_EQ(host::isLegacyHost(&in), c.legacy) << c.major << "." << c.minor;
        EXPECT_EQ(host::isCurrentHost(&in), c.current) << c.major << "." << c.minor;
    }
}

TEST(HostStrings, LongTextIsShortenedWithoutSplittingCharacters) {
    EXPECT_EQ(host::fitText("abcdef", 4), "abcd");
    EXPECT_EQ(host::fitText("abc", 4), "abc");
    // "é" is two bytes: cutting at 4 would split it.
    EXPECT_EQ(host::fitText("abc\xC3\xA9z", 4), "abc");
    char field[8];
    std::memset(field, 'x', sizeof field);
    PF_InData in{};
    host::copyHostString(&in, field, sizeof field, "0123456789");
    EXPECT_STREQ(field, "0123456");
}
