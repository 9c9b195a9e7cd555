#include "framework/Application.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/Messages.h"
#include "framework/MainWindowLink.h"
#include "framework/support/TestClocks.h"
#include "support/TestSupport.h"

namespace {

const std::wstring kApplicationSource = L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\Application";
const std::wstring kHookSource = L"test";

class RecordingWindow : public MainWindowLink {
public:
    void RequestClose() override { ++closeRequests; }
    bool ReadKeyboardSetting(const std::wstring& name, std::wstring& value) override {
        value = name == L"KeyboardDelay" ? L"1" : L"31";
        return true;
    }
    std::atomic<int> closeRequests{0};
};

struct Call {
    char hook; // 'D' Draw, 'E' Exec
    int ticks;
    std::thread::id thread;
    int threadFps;
};

// an application whose hooks write their own records, so that one list of records
// shows the whole order
class TestApplication : public Application {
public:
    TestApplication(MainWindowLink* window, MillisecondClock& clock) : Application(nullptr, window, clock) {}
    ~TestApplication() override {
        if (!freed_) {
            FreeApplication();
        }
    }

    void Select(bool split, bool audio, bool input, bool graphics) {
        splitThreads_ = split;
        useDirectAudio_ = audio;
        useDirectInput_ = input;
        useDirect3D_ = graphics;
    }
    void UseDirectDraw() { useDirectDraw_ = true; }

    void FreeApplication() override {
        freed_ = true;
        Application::FreeApplication();
    }

    void CreateApplicationPre() override { Hook(L"CreateApplicationPre", onPre); }
    void ReadRegistry() override { Note(L"ReadRegistry"); }
    void CreateApplicationMain() override { Hook(L"CreateApplicationMain", onMain); }
    void CreateApplicationPost() override { Note(L"CreateApplicationPost"); }
    void FreeApplicationPre() override { Note(L"FreeApplicationPre"); }
    void WriteRegistry() override { Note(L"WriteRegistry"); }
    void FreeApplicationMain() override { Note(L"FreeApplicationMain"); }
    void FreeApplicationPost() override { Note(L"FreeApplicationPost"); }
    // the graphics part's device, as the device hooks see it
    void CreateDevice() override { Note(L"CreateDevice"); }
    void OnDeviceCreated() override { Note(L"OnDeviceCreated"); }
    void OnDeviceReleasing() override { Note(L"OnDeviceReleasing"); }

    void Draw(int ticks) override { Record('D', ticks, onDraw); }
    void Exec(int ticks) override { Record('E', ticks, onExec); }

    /// Waits until the hook was called at least count times; false after half a minute
    /// (long, for a loaded machine: it returns as soon as the calls were made).
    bool WaitForCalls(char hook, int count) {
        std::unique_lock lock(mutex_);
        return called_.wait_for(lock, std::chrono::seconds(30), [&] { return CountLocked(hook) >= count; });
    }
    std::vector<Call> Calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    int CallCount(char hook) {
        std::lock_guard lock(mutex_);
        return CountLocked(hook);
    }

    // set before CreateApplication
    std::function<void(int call)> onDraw;
    std::function<void(int call)> onExec;
    std::function<void(int call)> onMain;
    std::function<void(int call)> onPre;

private:
    static void Note(const std::wstring& hook) { Log(kHookSource, 0, L"hook: " + hook, 2); }
    static void Hook(const std::wstring& name, const std::function<void(int)>& action) {
        Note(name);
        if (action) {
            action(0);
        }
    }
    int CountLocked(char hook) const {
        return static_cast<int>(
            std::count_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.hook == hook; }));
    }
    void Record(char hook, int ticks, const std::function<void(int)>& action) {
        int call = 0;
        {
            std::lock_guard lock(mutex_);
            call = CountLocked(hook);
            calls_.push_back(Call{hook, ticks, std::this_thread::get_id(), ThreadFps()});
        }
        called_.notify_all();
        if (action) {
            action(call);
        }
    }

    bool freed_ = false;
    std::mutex mutex_;
    std::condition_variable called_;
    std::vector<Call> calls_;
};

// the records of the application and of the hooks, in order
std::vector<std::wstring> SequenceOf(const RecordingLogWriter& writer) {
    std::vector<std::wstring> messages;
    for (const auto& record : writer.Records()) {
        if (record.sourceFile == kApplicationSource || record.sourceFile == kHookSource) {
            messages.push_back(record.message);
        }
    }
    return messages;
}

std::ptrdiff_t IndexOf(const std::vector<std::wstring>& messages, const std::wstring& message) {
    const auto found = std::find(messages.begin(), messages.end(), message);
    return found == messages.end() ? -1 : found - messages.begin();
}

int CountOf(const std::vector<std::wstring>& messages, const std::wstring& message) {
    return static_cast<int>(std::count(messages.begin(), messages.end(), message));
}

std::vector<std::wstring> AllMessages(const RecordingLogWriter& writer) {
    std::vector<std::wstring> messages;
    for (const auto& record : writer.Records()) {
        messages.push_back(record.message);
    }
    return messages;
}

// waits until the record was written (for a loaded machine, generously long)
bool WaitForRecord(const RecordingLogWriter& writer, const std::wstring& message,
                   std::chrono::seconds patience = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (CountOf(AllMessages(writer), message) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

TEST(Application, CreationAndFreeWriteEveryStepInOrder) {
    ScopedLogCapture log;
    RecordingWindow window;
    SteppingClock clock;
    TestApplication application(&window, clock);
    application.Select(false, true, true, true);
    application.CreateApplication();
    ASSERT_TRUE(application.WaitForCalls('E', 2));
    application.FreeApplication();
    EXPECT_EQ(window.closeRequests, 1);

    // the records of the creating thread, the loop's records apart
    std::vector<std::wstring> sequence = SequenceOf(log.Writer());
    std::vector<std::wstring> loopRecords;
    for (const auto& message : {L"Application Thread 開始", L"Application Thread 終了"}) {
        loopRecords.push_back(message);
        std::erase(sequence, message);
    }
    const std::vector<std::wstring> expected = {
        L"Application: 初期化開始",
        L"Application: CreateApplicationPre開始",
        L"hook: CreateApplicationPre",
        L"Application: CreateApplicationPre開始",
        L"Application: レジストリ読み込み",
        L"hook: ReadRegistry",
        L"Application: DirectAudio 初期化",
        L"Application: DirectInput 初期化",
        L"Application: Direct3D 初期化",
        L"hook: CreateDevice",
        L"hook: OnDeviceCreated",
        L"Application: CreateApplicationMain開始",
        L"hook: CreateApplicationMain",
        L"Application: CreateApplicationMain開始",
        L"Application: スレッドの開始",
        L"Application: CreateApplicationPost開始",
        L"hook: CreateApplicationPost",
        L"Application: CreateApplicationPost開始",
        L"Application: 初期化終了",
        L"Application: 解放開始",
        L"Application: FreeApplicationPre開始",
        L"hook: FreeApplicationPre",
        L"Application: FreeApplicationPre終了",
        L"Application: レジストリ書き込み",
        L"hook: WriteRegistry",
        L"Application: スレッド WaitForSingleObject[0]",
        L"Application: スレッドの終了に成功",
        L"Application: FreeApplicationMain開始",
        L"hook: FreeApplicationMain",
        L"Application: FreeApplicationMain終了",
        L"Application: Direct3D 解放",
        L"hook: OnDeviceReleasing",
        L"Application: DirectInput 解放",
        L"Application: DirectAudio 解放",
        L"Application: FreeApplicationPost開始",
        L"hook: FreeApplicationPost",
        L"Application: FreeApplicationPost終了",
        L"Application: 解放終了",
    };
    EXPECT_EQ(sequence, expected);

    // the loop ran between the thread's start and the wait for it
    const std::vector<std::wstring> all = SequenceOf(log.Writer());
    EXPECT_EQ(CountOf(all, L"Application Thread 開始"), 1);
    EXPECT_EQ(CountOf(all, L"Application Thread 終了"), 1);
    EXPECT_LT(IndexOf(all, L"Application: スレッドの開始"), IndexOf(all, L"Application Thread 開始"));
    EXPECT_LT(IndexOf(all, L"Application Thread 終了"),
              IndexOf(all, L"Application: スレッド WaitForSingleObject[0]"));

    // the parts write their own records inside their steps
    const std::vector<std::wstring> messages = AllMessages(log.Writer());
    EXPECT_LT(IndexOf(messages, L"Application: DirectAudio 初期化"),
              IndexOf(messages, L"DirectAudio: DirectAudio 初期化開始"));
    EXPECT_LT(IndexOf(messages, L"DirectAudio: DirectAudio 初期化終了"),
              IndexOf(messages, L"Application: DirectInput 初期化"));
    EXPECT_LT(IndexOf(messages, L"DirectInput: DirectInput 初期化終了"),
              IndexOf(messages, L"DirectInput: Acquire 成功"));
    EXPECT_LT(IndexOf(messages, L"DirectInput: Acquire 成功"),
              IndexOf(messages, L"Application: Direct3D 初期化"));
    EXPECT_LT(IndexOf(messages, L"Application: DirectInput 解放"),
              IndexOf(messages, L"DirectInput: DirectInput 解放開始"));
    EXPECT_LT(IndexOf(messages, L"Application: DirectAudio 解放"),
              IndexOf(messages, L"DirectAudio: DirectAudio 解放開始"));

    for (const auto& record : log.Writer().Records()) {
        if (record.sourceFile == kApplicationSource) {
            EXPECT_EQ(record.level, 2);
        }
    }
    EXPECT_TRUE(application.StopFlag());
}

TEST(Application, SingleThreadCallsDrawThenExecWithTheSameTicks) {
    ScopedLogCapture log;
    SteppingClock clock;
    TestApplication application(nullptr, clock);
    application.Select(false, false, false, false);
    // every Draw takes 32 ms of the test clock: after the first 16 ms frame, frames are 33 ms
    application.onDraw = [&](int) { clock.Sleep(32); };
    application.CreateApplication();
    ASSERT_TRUE(application.WaitForCalls('E', 10));
    application.FreeApplication();

    const std::vector<Call> calls = application.Calls();
    ASSERT_GE(calls.size(), 20u);
    const std::thread::id loopThread = calls[0].thread;
    EXPECT_NE(loopThread, std::this_thread::get_id());
    std::vector<int> ticks;
    for (std::size_t frame = 0; frame < 10; ++frame) {
        const Call& draw = calls[2 * frame];
        const Call& exec = calls[2 * frame + 1];
        EXPECT_EQ(draw.hook, 'D');
        EXPECT_EQ(exec.hook, 'E');
        EXPECT_EQ(draw.ticks, exec.ticks) << "frame " << frame;
        EXPECT_EQ(draw.thread, loopThread);
        EXPECT_EQ(exec.thread, loopThread);
        ticks.push_back(draw.ticks);
    }
    // 16 ms with nothing carried: 0; then 33 ms frames (1.98 ticks) with the 0.96 carried
    EXPECT_EQ(ticks, (std::vector<int>{0, 2, 2, 2, 2, 2, 2, 2, 2, 2}));

    // the rate: nothing measured in the first frame; 533 -> 532 -> 548 gives 58 in the second
    EXPECT_EQ(calls[0].threadFps, 0);
    EXPECT_EQ(calls[2].threadFps, 58);
    EXPECT_GT(application.ThreadFps(), 0);
    EXPECT_EQ(application.DrawFps(), 0);
    EXPECT_EQ(application.ExecFps(), 0);
}

TEST(Application, SplitThreadsRunDrawAndExecOnTheirOwnLoops) {
    ScopedLogCapture log;
    RecordingWindow window;
    // real time: two loops on a stepping clock would advance each other's time
    TestApplication application(&window, SystemClock());
    application.Select(true, false, false, false);
    application.CreateApplication();
    ASSERT_TRUE(application.WaitForCalls('D', 5));
    ASSERT_TRUE(application.WaitForCalls('E', 5));
    application.FreeApplication();

    std::thread::id drawThread;
    std::thread::id execThread;
    for (const Call& call : application.Calls()) {
        std::thread::id& thread = call.hook == 'D' ? drawThread : execThread;
        if (thread == std::thread::id()) {
            thread = call.thread;
        }
        EXPECT_EQ(call.thread, thread);
    }
    EXPECT_NE(drawThread, execThread);
    EXPECT_NE(drawThread, std::this_thread::get_id());
    // frames of at least 16 ms, starting from an estimate of about 60 (a loaded machine
    // may run them much slower: no lower bound beyond a measurement)
    EXPECT_GT(application.DrawFps(), 0);
    EXPECT_LE(application.DrawFps(), 62);
    EXPECT_GT(application.ExecFps(), 0);
    EXPECT_LE(application.ExecFps(), 62);
    EXPECT_EQ(application.ThreadFps(), 0);

    const std::vector<std::wstring> sequence = SequenceOf(log.Writer());
    for (const auto& message :
         {L"Application: 描画スレッドの開始", L"Application: 実行スレッドの開始",
          L"Application DrawThread 開始", L"Application ExecThread 開始", L"Application DrawThread 終了",
          L"Application ExecThread 終了", L"Application: 描画スレッド WaitForSingleObject[0]",
          L"Application: 描画スレッドの終了に成功", L"Application: 実行スレッド WaitForSingleObject[0]",
          L"Application: 実行スレッドの終了に成功"}) {
        EXPECT_EQ(CountOf(sequence, message), 1);
    }
    EXPECT_LT(IndexOf(sequence, L"Application: 描画スレッドの終了に成功"),
              IndexOf(sequence, L"Application: 実行スレッド WaitForSingleObject[0]"));
    EXPECT_EQ(CountOf(sequence, L"Application Thread 開始"), 0);
}

TEST(Application, ErrorInTheSingleLoopEndsItAndClosesTheWindow) {
    ScopedLogCapture log(4, true);
    RecordingWindow window;
    SteppingClock clock;
    TestApplication application(&window, clock);
    application.Select(false, false, false, false);
    application.onDraw = [](int call) {
        if (call == 2) {
            throw exec_error(L"drawing failed");
        }
    };
    application.CreateApplication();
    ASSERT_TRUE(WaitForRecord(log.Writer(), L"Application Thread 終了"));
    EXPECT_EQ(window.closeRequests, 1);
    EXPECT_EQ(application.CallCount('D'), 3);
    EXPECT_EQ(application.CallCount('E'), 2) << "no Exec after the failed Draw";

    const auto errors = log.Writer().Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message, L"drawing failed");
    EXPECT_EQ(errors[0].sourceFile, kApplicationSource);

    // the loop is gone: nothing to wait for
    application.FreeApplication();
    const std::vector<std::wstring> sequence = SequenceOf(log.Writer());
    EXPECT_EQ(IndexOf(sequence, L"Application: スレッド WaitForSingleObject[0]"), -1);
    EXPECT_EQ(IndexOf(sequence, L"Application: スレッドの終了に成功"), -1);
    EXPECT_EQ(window.closeRequests, 2);
}

TEST(Application, ErrorInExecEndsOnlyTheExecutionLoop) {
    ScopedLogCapture log(4, true);
    RecordingWindow window;
    SteppingClock clock;
    TestApplication application(&window, clock);
    application.Select(true, false, false, false);
    application.onExec = [](int call) {
        if (call == 1) {
            throw DirectX::exec_error(L"step failed");
        }
    };
    application.CreateApplication();
    ASSERT_TRUE(WaitForRecord(log.Writer(), L"Application ExecThread 終了"));
    const int drawsAtEnd = application.CallCount('D');
    ASSERT_TRUE(application.WaitForCalls('D', drawsAtEnd + 3)) << "drawing goes on";
    EXPECT_EQ(application.CallCount('E'), 2);
    EXPECT_EQ(window.closeRequests, 1);
    application.FreeApplication();

    const std::vector<std::wstring> sequence = SequenceOf(log.Writer());
    EXPECT_EQ(CountOf(sequence, L"Application: 描画スレッド WaitForSingleObject[0]"), 1);
    EXPECT_EQ(CountOf(sequence, L"Application: 実行スレッド WaitForSingleObject[0]"), 0);
    EXPECT_EQ(CountOf(sequence, L"Application: 実行スレッドの終了に成功"), 0);
    ASSERT_EQ(log.Writer().Errors().size(), 1u);
    EXPECT_EQ(log.Writer().Errors()[0].message, L"step failed");
}

TEST(Application, CancelledCreationFailsQuietlyAndFreesWhatWasInitialised) {
    ScopedLogCapture log; // fails the test on any level-1 record
    SteppingClock clock;
    TestApplication application(nullptr, clock);
    application.Select(false, true, false, false);
    application.onMain = [](int) { throw DirectX::exec_cancel(); };
    EXPECT_THROW(application.CreateApplication(), DirectX::exec_cancel);
    EXPECT_TRUE(application.DirectAudio::HasDevice()) << "the sound part stays until freed";
    application.FreeApplication();
    EXPECT_FALSE(application.DirectAudio::HasDevice());

    const std::vector<std::wstring> sequence = SequenceOf(log.Writer());
    EXPECT_EQ(CountOf(sequence, L"Application: 初期化終了"), 0);
    EXPECT_EQ(CountOf(sequence, L"Application: スレッドの開始"), 0);
    EXPECT_EQ(CountOf(sequence, L"Application: スレッド WaitForSingleObject[0]"), 0);
    EXPECT_EQ(CountOf(sequence, L"Application: DirectAudio 解放"), 1);
    EXPECT_EQ(CountOf(sequence, L"Application: DirectInput 解放"), 0);
    EXPECT_EQ(CountOf(sequence, L"Application: DirectDraw 解放"), 0);
    EXPECT_EQ(CountOf(sequence, L"Application: 解放終了"), 1);
    EXPECT_EQ(application.CallCount('D'), 0);
}

TEST(Application, FailedCreationIsLoggedAndRethrown) {
    SteppingClock clock;
    // a hook's error
    {
        ScopedLogCapture log(4, true);
        TestApplication application(nullptr, clock);
        application.Select(false, false, false, false);
        application.onPre = [](int) { throw exec_error(L"pre failed"); };
        try {
            application.CreateApplication();
            ADD_FAILURE() << "creation went on";
        } catch (const exec_error& e) {
            EXPECT_EQ(std::wstring(e.what()), L"pre failed");
        }
        const auto errors = log.Writer().Errors();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].message, L"Application: [pre failed]");
        EXPECT_EQ(CountOf(SequenceOf(log.Writer()), L"Application: レジストリ読み込み"), 0);
    }
    // no sound device: the program does not start, and the input part is not reached
    {
        ScopedLogCapture log(4, true);
        RecordingWindow window;
        TestApplication application(&window, clock);
        application.Select(false, true, true, false);
        application.SetOutputDevice("Kivaro test: no such output device");
        try {
            application.CreateApplication();
            ADD_FAILURE() << "started without a sound device";
        } catch (const DirectX::init_error& e) {
            EXPECT_EQ(std::wstring(e.what()), CommonMessage(119));
        }
        std::vector<std::wstring> errors;
        for (const auto& record : log.Writer().Errors()) {
            errors.push_back(record.message);
        }
        EXPECT_EQ(errors, (std::vector<std::wstring>{L"DirectSound: DirectSoundCreate8 に失敗",
                                                     L"Application: [" + CommonMessage(119) + L"]"}));
        EXPECT_EQ(CountOf(SequenceOf(log.Writer()), L"Application: DirectInput 初期化"), 0);
    }
    // the 2-D surface part does not exist in this program
    {
        ScopedLogCapture log(4, true);
        TestApplication application(nullptr, clock);
        application.Select(false, false, false, false);
        application.UseDirectDraw();
        EXPECT_THROW(application.CreateApplication(), DirectX::init_error);
    }
}

TEST(Application, LoopThatDoesNotEndInTimeIsReportedAndStillWaitedFor) {
    ScopedLogCapture log;
    SteppingClock clock;
    TestApplication application(nullptr, clock);
    application.Select(false, false, false, false);
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> drawReturned{false};
    application.onDraw = [&](int call) {
        if (call == 0) {
            entered.set_value();
            released.wait();
            drawReturned = true;
        }
    };
    application.CreateApplication();
    entered.get_future().wait();

    // the loop is let go only once the wait has given up, however slowly the machine runs
    std::thread releaser([&] {
        WaitForRecord(log.Writer(), L"Application: スレッド WaitForSingleObject[258]",
                      std::chrono::seconds(Application::kThreadWaitMilliseconds / 1000 + 30));
        release.set_value();
    });
    const auto start = std::chrono::steady_clock::now();
    application.FreeApplication();
    const auto waited = std::chrono::steady_clock::now() - start;
    releaser.join();

    EXPECT_TRUE(drawReturned) << "freed while the loop still ran";
    EXPECT_GE(waited, std::chrono::milliseconds(Application::kThreadWaitMilliseconds));
    const std::vector<std::wstring> sequence = SequenceOf(log.Writer());
    const auto timedOut = IndexOf(sequence, L"Application: スレッド WaitForSingleObject[258]");
    ASSERT_GE(timedOut, 0);
    EXPECT_EQ(IndexOf(sequence, L"Application: スレッドの終了に成功"), timedOut + 1);
}

TEST(Application, FreeingAnyPartFreesTheApplication) {
    ScopedLogCapture log;
    SteppingClock clock;
    TestApplication application(nullptr, clock);

    for (DirectX* part : std::initializer_list<DirectX*>{
             static_cast<DirectDraw*>(&application), static_cast<Direct3D*>(&application),
             static_cast<DirectInput*>(&application), static_cast<DirectPlay*>(&application),
             static_cast<DirectAudio*>(&application)}) {
        log.Writer().Clear();
        part->Free();
        EXPECT_EQ(CountOf(SequenceOf(log.Writer()), L"Application: 解放終了"), 1);
        EXPECT_EQ(part->GetWindow(), nullptr);
    }
}
