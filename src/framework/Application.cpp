#include "framework/Application.h"

#include <cassert>
#include <chrono>
#include <string>

#include "common/LogWriter.h"
#include "framework/FramePacer.h"
#include "framework/MainWindowLink.h"

namespace {
const wchar_t* const kSource = L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\Application";
}

Application::Application(void* instance, MainWindowLink* window, MillisecondClock& clock)
    : DirectInput(clock), instance_(instance), window_(window), clock_(clock) {}

Application::~Application() {
    // the derived class should have freed the application; a loop must still never
    // outlive the object it runs on
    stopFlag_ = true;
    for (LoopThread* loop : {&drawThread_, &execThread_, &singleThread_}) {
        if (loop->thread.joinable()) {
            loop->thread.join();
        }
    }
}

void Application::CreateApplication() {
    Log(kSource, __LINE__, L"Application: 初期化開始", 2);
    try {
        Log(kSource, __LINE__, L"Application: CreateApplicationPre開始", 2);
        CreateApplicationPre();
        Log(kSource, __LINE__, L"Application: CreateApplicationPre開始", 2);

        Log(kSource, __LINE__, L"Application: レジストリ読み込み", 2);
        ReadRegistry();

        assert(!drawThread_.thread.joinable() && !execThread_.thread.joinable() &&
               !singleThread_.thread.joinable() && "CreateApplication while the application runs");
        stopEvent_ = std::make_unique<AutoResetEvent>();
        stopFlag_ = false;

        // the parts, always in this order
        if (useDirectPlay_) {
            Log(kSource, __LINE__, L"Application: DirectPlay 初期化", 2);
            DirectPlayConfig config;
            GetDirectPlayConfig(config);
            DirectPlay::Create(config);
        }
        if (useDirectAudio_) {
            Log(kSource, __LINE__, L"Application: DirectAudio 初期化", 2);
            DirectAudioConfig config;
            GetDirectAudioConfig(config);
            DirectAudio::Create(config);
        }
        if (useDirectInput_) {
            Log(kSource, __LINE__, L"Application: DirectInput 初期化", 2);
            DirectInputConfig config;
            GetDirectInputConfig(config);
            DirectInput::Create(config);
            Acquire();
        }
        if (useDirectDraw_) {
            Log(kSource, __LINE__, L"Application: DirectDraw 初期化", 2);
            DirectDrawConfig config;
            GetDirectDrawConfig(config);
            DirectDraw::Create(config);
        }
        if (useDirect3D_) {
            Log(kSource, __LINE__, L"Application: Direct3D 初期化", 2);
            Direct3DConfig config;
            GetDirect3DConfig(config);
            Direct3D::Create(config);
        }

        // the program's state exists before any thread runs
        Log(kSource, __LINE__, L"Application: CreateApplicationMain開始", 2);
        CreateApplicationMain();
        Log(kSource, __LINE__, L"Application: CreateApplicationMain開始", 2);

        // (the platform's 1 ms timer resolution has no counterpart: the clock is monotonic)
        if (splitThreads_) {
            Log(kSource, __LINE__, L"Application: 描画スレッドの開始", 2);
            StartLoop(drawThread_, &Application::DrawThread);
            Log(kSource, __LINE__, L"Application: 実行スレッドの開始", 2);
            StartLoop(execThread_, &Application::ExecThread);
        } else {
            Log(kSource, __LINE__, L"Application: スレッドの開始", 2);
            StartLoop(singleThread_, &Application::Thread);
        }

        Log(kSource, __LINE__, L"Application: CreateApplicationPost開始", 2);
        CreateApplicationPost();
        Log(kSource, __LINE__, L"Application: CreateApplicationPost開始", 2);
    } catch (const exec_cancel&) {
        throw;
    } catch (const myexception& e) {
        Log(kSource, __LINE__, std::wstring(L"Application: [") + e.what() + L"]", 1);
        throw;
    }
    Log(kSource, __LINE__, L"Application: 初期化終了", 2);
}

void Application::FreeApplication() {
    Log(kSource, __LINE__, L"Application: 解放開始", 2);

    Log(kSource, __LINE__, L"Application: FreeApplicationPre開始", 2);
    FreeApplicationPre();
    Log(kSource, __LINE__, L"Application: FreeApplicationPre終了", 2);

    Log(kSource, __LINE__, L"Application: レジストリ書き込み", 2);
    WriteRegistry();

    // stop the loops and close the window
    if (stopEvent_ != nullptr) {
        stopEvent_->Set();
    }
    if (window_ != nullptr) {
        window_->RequestClose();
    }
    clock_.Sleep(10);
    StopLoop(drawThread_, L"Application: 描画スレッド WaitForSingleObject[",
             L"Application: 描画スレッドの終了に成功");
    StopLoop(execThread_, L"Application: 実行スレッド WaitForSingleObject[",
             L"Application: 実行スレッドの終了に成功");
    StopLoop(singleThread_, L"Application: スレッド WaitForSingleObject[",
             L"Application: スレッドの終了に成功");

    Log(kSource, __LINE__, L"Application: FreeApplicationMain開始", 2);
    FreeApplicationMain();
    Log(kSource, __LINE__, L"Application: FreeApplicationMain終了", 2);

    SetCallback1(nullptr);
    SetCallback2(nullptr);

    // the parts, in this order (not the reverse of the initialisation)
    if (useDirectDraw_) {
        Log(kSource, __LINE__, L"Application: DirectDraw 解放", 2);
        DirectDraw::Free();
    }
    if (useDirect3D_) {
        Log(kSource, __LINE__, L"Application: Direct3D 解放", 2);
        Release();
    }
    if (useDirectInput_) {
        Log(kSource, __LINE__, L"Application: DirectInput 解放", 2);
        DirectInput::Free();
    }
    if (useDirectAudio_) {
        Log(kSource, __LINE__, L"Application: DirectAudio 解放", 2);
        DirectAudio::Free();
    }
    if (useDirectPlay_) {
        Log(kSource, __LINE__, L"Application: DirectPlay 解放", 2);
        DirectPlay::Free();
    }
    stopEvent_.reset();

    Log(kSource, __LINE__, L"Application: FreeApplicationPost開始", 2);
    FreeApplicationPost();
    Log(kSource, __LINE__, L"Application: FreeApplicationPost終了", 2);
    Log(kSource, __LINE__, L"Application: 解放終了", 2);
}

void Application::StartLoop(LoopThread& loop, void (Application::*body)()) {
    std::promise<void> ended;
    loop.ended = ended.get_future();
    loop.running = true;
    loop.thread = std::thread([this, body, ended = std::move(ended)]() mutable {
        (this->*body)();
        ended.set_value();
    });
}

void Application::StopLoop(LoopThread& loop, const wchar_t* waitText, const wchar_t* endText) {
    if (loop.running) {
        const bool ended = loop.ended.wait_for(std::chrono::milliseconds(kThreadWaitMilliseconds)) ==
                           std::future_status::ready;
        Log(kSource, __LINE__, waitText + std::to_wstring(ended ? kWaitEnded : kWaitTimedOut) + L"]", 2);
        Log(kSource, __LINE__, endText, 2);
        loop.running = false;
    }
    // past the time-out the thread is still waited for: it runs on this object, which
    // is about to lose its parts and then be destroyed
    if (loop.thread.joinable()) {
        loop.thread.join();
    }
}

void Application::Thread() {
    RunLoop(LoopKind::single);
}

void Application::DrawThread() {
    RunLoop(LoopKind::draw);
}

void Application::ExecThread() {
    RunLoop(LoopKind::exec);
}

Application::LoopThread& Application::LoopOf(LoopKind kind) {
    switch (kind) {
    case LoopKind::draw:
        return drawThread_;
    case LoopKind::exec:
        return execThread_;
    case LoopKind::single:
        break;
    }
    return singleThread_;
}

void Application::RunLoop(LoopKind kind) {
    const wchar_t* startText = L"Application Thread 開始";
    const wchar_t* endText = L"Application Thread 終了";
    std::atomic<int>* rate = &threadFps_;
    if (kind == LoopKind::draw) {
        startText = L"Application DrawThread 開始";
        endText = L"Application DrawThread 終了";
        rate = &drawFps_;
    } else if (kind == LoopKind::exec) {
        startText = L"Application ExecThread 開始";
        endText = L"Application ExecThread 終了";
        rate = &execFps_;
    }

    Log(kSource, __LINE__, startText, 2);
    try {
        if (kind == LoopKind::draw && useDirectDraw_) {
            ClearBuffers();
        }
        FramePacer pacer(clock_);
        while (true) {
            // the event is auto-reset: only one loop sees it, the flag tells the others
            if (stopFlag_) {
                break;
            }
            if (stopEvent_->TryWait()) {
                stopFlag_ = true;
                break;
            }
            if (!pacer.Poll()) {
                continue;
            }
            const int ticks = pacer.StartFrame();
            if (pacer.HasRate()) {
                *rate = pacer.Rate();
            }
            if (kind != LoopKind::exec) {
                Draw(ticks);
            }
            if (kind != LoopKind::draw) {
                Exec(ticks);
            }
            pacer.FinishFrame(ticks);
        }
    } catch (const myexception& e) {
        // an error inside the loop closes the main window; the loop is gone, so
        // FreeApplication has nothing to wait for
        Log(kSource, __LINE__, e.what(), 1);
        if (window_ != nullptr) {
            window_->RequestClose();
        }
        LoopOf(kind).running = false;
    }
    Log(kSource, __LINE__, endText, 2);
}

void Application::GetDirectDrawConfig(DirectDrawConfig& config) {
    config = DirectDrawConfig{false, 640, 480, 0};
}

void Application::GetDirect3DConfig(Direct3DConfig& config) {
    config = Direct3DConfig{false, 640, 480, 0};
}

void Application::GetDirectInputConfig(DirectInputConfig& config) {
    config.bufferSize = 16;
}

void Application::GetDirectAudioConfig(DirectAudioConfig& /*config*/) {}

void Application::GetDirectPlayConfig(DirectPlayConfig& config) {
    config.applicationGuid = ApplicationGuid();
    config.reserved = 0;
}
