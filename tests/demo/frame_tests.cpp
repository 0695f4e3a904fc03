#include "capture/capture_options.h"
#include "capture/frame_capture.h"
#include "demo/author_session.h"
#include "demo/engine.h"
#include "demo/keep_awake.h"
#include "demo/message_loop.h"
#include "demo/present_outcome.h"
#include "demo/shader_compiler.h"
#include "render/camera.h"
#include "render/materials.h"
#include "render/mesh_object.h"
#include "scene/frame_transforms.h"
#include "scene/tracks.h"
#include "tests/support/read_back.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <wrl/client.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

namespace {

// One engine for the whole executable: it opens the full-screen window.
class Frame : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The program prepares its thread for COM before building the engine.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        engine = std::make_unique<Engine>(GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
        ASSERT_TRUE(engine->CanRender());
        engine->BorrowDevice();
        engine->SetUpScene();
    }
    void TearDown() override { RestoreSeams(); }
    // Tests that answer for Present leave the engine as they found it.
    static void RestoreSeams()
    {
        engine->present = PresentOnSwapChain;
        engine->createDevice = D3D11CreateDeviceAndSwapChain;
        engine->occlusion = OcclusionPacing{};
        engine->window.keyboard.keyStates.reset(VK_ESCAPE);
        engine->tracks.Use(Tracks{});
    }
    static void TearDownTestSuite()
    {
        engine.reset();
        MSG leftOver;
        while (PeekMessageA(&leftOver, nullptr, 0, 0, PM_REMOVE)) {
        }
        CoUninitialize();
    }

    // Draws the frame of time t twice, so that the camera's one-frame lag is
    // behind us, and reads it back.
    static ReadBackImage DrawAndReadBack(float t)
    {
        engine->DrawFrame(t);
        engine->DrawFrame(t);
        Graphics& graphics = *engine->window.graphics;
        return ReadBack(graphics.device.Get(), graphics.context.Get(), graphics.renderTargetView.Get());
    }

    // Where a world-space point lands on the screen through the camera.
    static std::pair<std::uint32_t, std::uint32_t> ScreenPointOf(const Vector4& world, const ReadBackImage& image)
    {
        const Camera& camera = *engine->camera;
        const Vector4 ndc = TransformPoint(world, Multiply(camera.view, camera.projection));
        return {static_cast<std::uint32_t>((ndc.x + 1.0f) / 2.0f * float(image.width)),
                static_cast<std::uint32_t>((1.0f - ndc.y) / 2.0f * float(image.height))};
    }

    static ReadBackImage ReadBackTarget()
    {
        Graphics& graphics = *engine->window.graphics;
        return ReadBack(graphics.device.Get(), graphics.context.Get(), graphics.renderTargetView.Get());
    }

    static inline std::unique_ptr<Engine> engine;
};

// One call of the seam that answers Present.
struct PresentCall {
    UINT flags;
    HRESULT answer;
    ULONGLONG atMs;
};

bool SameImage(const ReadBackImage& a, const ReadBackImage& b)
{
    return a.width > 0 && a.width == b.width && a.height == b.height && a.bytes == b.bytes;
}

std::uint8_t ToByte(float unit)
{
    return static_cast<std::uint8_t>(std::lround(unit * 255.0f));
}

Tracks TracksOf(const std::string& text)
{
    TracksRead read = ReadTracks(text, "tracks.txt");
    EXPECT_EQ(read.error, "");
    return read.tracks.value_or(Tracks{});
}

// The shortest decimal that reads back as this float.
std::string Decimal(float value)
{
    std::array<char, 32> digits{};
    return {digits.data(), std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr};
}

TEST_F(Frame, SceneHasTheCubeOnceAndOnePyramidObjectNineTimes)
{
    ASSERT_EQ(engine->scene.size(), 10u);
    EXPECT_NE(engine->scene[0], engine->scene[1]);
    for (std::size_t i = 2; i < 10; ++i) {
        EXPECT_EQ(engine->scene[i], engine->scene[1]);
    }
    EXPECT_TRUE(dynamic_cast<CubeMaterial*>(engine->scene[0]->material));
    EXPECT_TRUE(dynamic_cast<PyramidMaterial*>(engine->scene[1]->material));
    EXPECT_EQ(engine->scene[0]->indexCount, 36u);
    EXPECT_EQ(engine->scene[1]->indexCount, 18u);
    EXPECT_TRUE(engine->scene[0]->constantBuffer);
}

TEST_F(Frame, BackgroundIsTheClearColourOfItsTime)
{
    for (float t : {0.0f, 2.0f}) {
        const ReadBackImage image = DrawAndReadBack(t);
        ASSERT_GT(image.width, 0u);
        const ClearColour clear = FrameClearColour(t);
        // The top-left corner stays background at both times.
        const ReadBackImage::Pixel corner = image.At(2, 2);
        EXPECT_EQ(corner.c2, ToByte(clear.rgba[0]));  // red
        EXPECT_EQ(corner.c1, ToByte(clear.rgba[1]));  // green
        EXPECT_EQ(corner.c0, ToByte(clear.rgba[2]));  // blue
    }
    // Keyed to constants, the background is theirs at any time.
    engine->tracks.Use(TracksOf("track clear.g\n0 0.2\ntrack clear.r\n0 0.8\ntrack clear.b\n5 0.6\n"));
    const ReadBackImage::Pixel keyed = DrawAndReadBack(2.0f).At(2, 2);
    EXPECT_EQ((std::array{keyed.c2, keyed.c1, keyed.c0}), (std::array{ToByte(0.8f), ToByte(0.2f), ToByte(0.6f)}));
}

TEST_F(Frame, CameraKeyedToAnotherTimeDrawsThatCameraWithAllElseAtItsOwnTime)
{
    const EyePosition then = FrameEyePosition(2.0f);
    engine->tracks.Use(TracksOf("track camera.x\n0 " + Decimal(then.x) + "\ntrack camera.y\n1 " + Decimal(then.y) +
                                "\n9 0 linear\ntrack camera.z\n0 " + Decimal(then.z)));
    const ReadBackImage keyed = DrawAndReadBack(0.5f);
    engine->tracks.Use(Tracks{});
    const ReadBackImage unkeyed = DrawAndReadBack(0.5f);

    // The reference, drawn by hand: the frame of t = 0.5 seen from the eye of t = 2.
    Graphics& graphics = *engine->window.graphics;
    const ClearColour clear = FrameClearColour(0.5f);
    for (int frame = 0; frame < 2; ++frame) {
        graphics.context->ClearRenderTargetView(graphics.renderTargetView.Get(), clear.rgba);
        graphics.context->ClearDepthStencilView(graphics.depthStencilView.Get(), D3D11_CLEAR_DEPTH, 1.0f, 0);
        engine->camera->MoveTo(then.x, then.y, then.z);
        for (const ObjectPlacement& p : FramePlacements(0.5f)) {
            graphics.DrawObject(*engine->scene[p.sceneEntry], *engine->camera, p.yaw, p.pitch, p.x, p.y, p.z, p.time);
        }
    }
    EXPECT_TRUE(SameImage(keyed, ReadBackTarget()));
    EXPECT_FALSE(SameImage(keyed, unkeyed));
}

TEST_F(Frame, FreeTracksReachAPixelShaderAtRegisterB1)
{
    CreateDirectoryW(L"free-track-shader", nullptr);
    // Constant indices only: Wine's compiler gives up on a run-time one.
    std::ofstream("free-track-shader\\tracks_pixel.hlsl")
        << "cbuffer Tracks : register(b1) { float4 tracks[4]; };\n"
           "float4 main() : SV_Target { return float4(tracks[1].y, tracks[3].w, 0.0, 1.0); }\n";
    const ShaderCompiler compiler;
    const ShaderCompile compiled = compiler.Compile(L"free-track-shader", "tracks_pixel.hlsl", "ps_5_0");
    ASSERT_EQ(compiled.outcome, ShaderCompile::Outcome::Compiled) << compiled.message;
    Material& pyramids = *engine->scene[1]->material;
    const Microsoft::WRL::ComPtr<ID3D11PixelShader> shipped = pyramids.pixelShader;
    pyramids.pixelShader.Reset();
    engine->device->CreatePixelShader(compiled.code->GetBufferPointer(), compiled.code->GetBufferSize(), nullptr,
                                      &pyramids.pixelShader);

    // Named tracks take no place among the free ones: the sixth free track is tracks[1].y.
    std::string text = "track camera.x\n0 0\n";
    for (int i = 1; i <= 16; ++i) {
        text += "track f" + std::to_string(i) + "\n0 " + (i == 6 ? "0.6" : i == 16 ? "0.2" : "0") + "\n";
    }
    const ObjectPlacement placement = FramePlacements(0.0f)[1];
    std::array<ReadBackImage::Pixel, 2> pixels{};
    for (const bool keyed : {false, true}) {
        engine->tracks.Use(keyed ? TracksOf(text) : Tracks{});
        const ReadBackImage image = DrawAndReadBack(0.0f);
        const auto [x, y] = ScreenPointOf({placement.x, placement.y + 0.5f, placement.z, 0.0f}, image);
        pixels[keyed ? 1 : 0] = image.At(x, y);
    }
    pyramids.pixelShader = shipped;
    EXPECT_EQ((std::array{pixels[0].c2, pixels[0].c1}), (std::array<std::uint8_t, 2>{0, 0}));
    EXPECT_EQ((std::array{pixels[1].c2, pixels[1].c1}), (std::array{ToByte(0.6f), ToByte(0.2f)}));
}

TEST_F(Frame, TexturedCubeCoversTheCentreOfTheScreen)
{
    const auto* cubeMaterial = dynamic_cast<CubeMaterial*>(engine->scene[0]->material);
    ASSERT_TRUE(cubeMaterial);
    EXPECT_TRUE(cubeMaterial->textureView);
    EXPECT_TRUE(cubeMaterial->sampler);

    const ReadBackImage image = DrawAndReadBack(0.0f);
    const ReadBackImage::Pixel corner = image.At(2, 2);
    // Around the centre the cube shows the grass: green above red and blue,
    // none of the table's pure colours, and not the background.
    for (int dx : {-12, 0, 12}) {
        const ReadBackImage::Pixel pixel = image.At(image.width / 2 + dx, image.height / 2);
        EXPECT_FALSE(pixel.c0 == corner.c0 && pixel.c1 == corner.c1 && pixel.c2 == corner.c2);
        EXPECT_GT(pixel.c1, pixel.c2);
        EXPECT_GT(pixel.c1, pixel.c0);
        EXPECT_GT(pixel.c2, 0);
        EXPECT_LT(pixel.c1, 255);
    }
}

TEST_F(Frame, PyramidIsDrawnWhereTheCameraProjectsIt)
{
    const float t = 0.0f;
    const ReadBackImage image = DrawAndReadBack(t);
    // The first pyramid of row 1, nearest the eye on that side; at t = 0 its
    // pitch is 0, so a point on its axis half-way up stays on the axis.
    const ObjectPlacement placement = FramePlacements(t)[1];
    const auto [x, y] = ScreenPointOf({placement.x, placement.y + 0.5f, placement.z, 0.0f}, image);
    ASSERT_LT(x, image.width);
    ASSERT_LT(y, image.height);
    const ReadBackImage::Pixel pixel = image.At(x, y);
    // Every side of a pyramid is one of the table's pure colours.
    for (std::uint8_t channel : {pixel.c0, pixel.c1, pixel.c2}) {
        EXPECT_TRUE(channel == 0 || channel == 255) << int(pixel.c0) << "," << int(pixel.c1) << "," << int(pixel.c2);
    }
    EXPECT_GT(pixel.c0 + pixel.c1 + pixel.c2, 0);
}

TEST_F(Frame, EscapeHeldOrTappedPostsQuitButTheFrameIsStillDrawn)
{
    engine->window.keyboard.keyStates.set(VK_ESCAPE);
    const ReadBackImage image = DrawAndReadBack(1.0f);
    engine->window.keyboard.keyStates.reset(VK_ESCAPE);
    MSG quit;
    ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 0u);
    const ClearColour clear = FrameClearColour(1.0f);
    EXPECT_EQ(image.At(2, 2).c1, ToByte(clear.rgba[1]));

    // Pressed and released before the frame looks: its bit is clear, its press queued.
    const HWND hwnd = engine->window.hwnd;
    for (const WPARAM key : {WPARAM{'A'}, WPARAM{VK_ESCAPE}}) {
        SendMessageA(hwnd, WM_KEYDOWN, key, 1);
        SendMessageA(hwnd, WM_KEYUP, key, 1 | (LPARAM{3} << 30));
        engine->DrawFrame(1.0f);
        EXPECT_EQ(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE, key == VK_ESCAPE) << key;
    }
    // Seen once: the next frame goes on.
    engine->DrawFrame(1.0f);
    EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    // A release alone (the key was pressed before the window had the focus) is no press.
    SendMessageA(hwnd, WM_KEYUP, VK_ESCAPE, 1 | (LPARAM{3} << 30));
    engine->DrawFrame(1.0f);
    EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

    // The author's mode takes its keys and Shift from the same queue before
    // the frame (no music here, no shader saved) and leaves the others there.
    AuthorSession author(L"author-keys-folder", 0);
    KeyboardState& keyboard = engine->window.keyboard;
    for (const int key : {VK_SHIFT, VK_SPACE, VK_LEFT, int{'A'}, VK_RIGHT, VK_HOME, VK_ESCAPE, VK_BACK}) {
        SendMessageA(hwnd, WM_KEYDOWN, key, 1);
        SendMessageA(hwnd, WM_KEYUP, key, 1 | (LPARAM{3} << 30));
    }
    author.BeforeFrame(engine->window, engine->device, engine->scene, engine->tracks);
    ASSERT_EQ(keyboard.keyEvents.Size(), 4u);
    EXPECT_EQ(keyboard.keyEvents[0], (KeyEvent{KeyEventKind::Press, 'A'}));
    EXPECT_EQ(keyboard.keyEvents[2], (KeyEvent{KeyEventKind::Press, VK_ESCAPE}));
    EXPECT_EQ(keyboard.keyEvents[3], (KeyEvent{KeyEventKind::Release, VK_ESCAPE}));
    engine->DrawFrame(1.0f);
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// The picture moves on screen: the display is kept awake; hidden, it is let be.
TEST_F(Frame, KeepsTheDisplayAwakeWhileThePictureMovesOnScreen)
{
    engine->awake = KeepAwakeDecision{};
    engine->KeepAwakeWhilePlaying(1.0f);
    EXPECT_TRUE(engine->window.keepAwake);
    engine->occlusion.occluded = true;
    engine->KeepAwakeWhilePlaying(1.1f);
    EXPECT_FALSE(engine->window.keepAwake);
}

// Keeps the swap chain's buffer from being resized until a device is made again.
Microsoft::WRL::ComPtr<ID3D11Texture2D> heldBackBuffer;

HRESULT WINAPI CreateAfterLettingGo(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driverType, HMODULE software, UINT flags,
                                    const D3D_FEATURE_LEVEL* levels, UINT levelCount, UINT sdkVersion,
                                    const DXGI_SWAP_CHAIN_DESC* swapChainDesc, IDXGISwapChain** swapChain,
                                    ID3D11Device** device, D3D_FEATURE_LEVEL* achieved, ID3D11DeviceContext** context)
{
    heldBackBuffer.Reset();
    return D3D11CreateDeviceAndSwapChain(adapter, driverType, software, flags, levels, levelCount, sdkVersion,
                                         swapChainDesc, swapChain, device, achieved, context);
}

TEST_F(Frame, CaptureDrawsTheLiveProgramsFramesPixelForPixelThroughResizes)
{
    // The live program at 60 frames a second, one frame before the range and
    // its first three: the second after the window shrank, with a resize that
    // fails and is handled as a lost device; the third after the window has
    // followed the virtual screen back. Each is the frame a capture of the
    // range draws at that size: a fresh start there gives the same picture.
    const CaptureRange range{8.0, 8.04};
    const double fps = 60.0;
    const auto liveTime = [&](std::int64_t n) { return static_cast<float>(CaptureFrameTime(range, fps, n)); };
    engine->DrawFrame(liveTime(-1));
    engine->DrawFrame(liveTime(0));
    std::vector<ReadBackImage> live{ReadBackTarget()};

    const HWND hwnd = engine->window.hwnd;
    SetWindowPos(hwnd, nullptr, 0, 0, 800, 450, SWP_NOZORDER | SWP_NOACTIVATE);
    engine->window.graphics->swapChain->GetBuffer(0, __uuidof(ID3D11Texture2D), &heldBackBuffer);
    engine->createDevice = CreateAfterLettingGo;
    engine->FitTargetsToWindow();
    engine->DrawFrame(liveTime(1));
    live.push_back(ReadBackTarget());
    EXPECT_FALSE(heldBackBuffer) << "the failed resize made the device again";

    // The window no longer covers the virtual screen, as after a display change.
    engine->FollowDisplay();
    engine->DrawFrame(liveTime(2));
    live.push_back(ReadBackTarget());
    const std::uint32_t screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const std::uint32_t screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    std::vector<std::uint32_t> sizes;
    for (const ReadBackImage& image : live) {
        sizes.push_back(image.width);
        sizes.push_back(image.height);
    }
    const std::vector<std::uint32_t> expectedSizes{screenWidth, screenHeight, 800, 450, screenWidth, screenHeight};
    ASSERT_EQ(sizes, expectedSizes);

    for (std::size_t n = 0; n < live.size(); ++n) {
        FrameCapture capture(live[n].width, live[n].height);
        ASSERT_FALSE(capture.DeviceProblem());
        std::vector<std::vector<std::uint8_t>> captured;
        const auto sink = [&](const CapturedFrame& frame) {
            PackFrameRows(frame, captured.emplace_back());
            return std::optional<std::string>();
        };
        ASSERT_EQ(capture.Capture(range, fps, sink), std::nullopt);
        ASSERT_EQ(captured.size(), 3u);
        EXPECT_TRUE(captured[n] == live[n].bytes) << "frame " << n;
        // Pyramids are in view: their sides are the table's pure colours.
        std::size_t pyramidPixels = 0;
        for (std::uint32_t y = 0; y < live[n].height; y += 4) {
            for (std::uint32_t x = 0; x < live[n].width; x += 4) {
                const ReadBackImage::Pixel p = live[n].At(x, y);
                const bool pure = (p.c0 == 0 || p.c0 == 255) && (p.c1 == 0 || p.c1 == 255) &&
                                  (p.c2 == 0 || p.c2 == 255) && p.c0 + p.c1 + p.c2 > 0;
                pyramidPixels += pure ? 1 : 0;
            }
        }
        EXPECT_GT(pyramidPixels, 100u) << "frame " << n;
    }
}

TEST_F(Frame, CaptureDrawsTheTracksAsTheLiveProgramDoes)
{
    const std::string text = "track camera.x\n0 -12 smooth\n20 12\ntrack clear.g\n0 0.9\n";
    const CaptureRange range{4.0, 4.04};
    const double fps = 60.0;
    engine->tracks.Use(TracksOf(text));
    std::vector<ReadBackImage> live;
    for (std::int64_t n = -1; n < 3; ++n) {
        engine->DrawFrame(static_cast<float>(CaptureFrameTime(range, fps, n)));
        if (n >= 0) {
            live.push_back(ReadBackTarget());
        }
    }
    FrameCapture capture(live[0].width, live[0].height);
    capture.tracks.Use(TracksOf(text));
    std::vector<std::vector<std::uint8_t>> captured;
    const auto sink = [&](const CapturedFrame& frame) {
        PackFrameRows(frame, captured.emplace_back());
        return std::optional<std::string>();
    };
    ASSERT_EQ(capture.Capture(range, fps, sink), std::nullopt);
    ASSERT_EQ(captured.size(), live.size());
    for (std::size_t n = 0; n < live.size(); ++n) {
        EXPECT_TRUE(captured[n] == live[n].bytes) << "frame " << n;
    }
    EXPECT_EQ(live[0].At(2, 2).c1, ToByte(0.9f));
}

TEST_F(Frame, WhileMinimisedNothingIsDrawnAndVisibilityIsTestedAtABoundedRate)
{
    const float t = 2.0f;
    const ReadBackImage expected = DrawAndReadBack(t);
    const HWND hwnd = engine->window.hwnd;
    ShowWindow(hwnd, SW_MINIMIZE);

    // The real swap chain answers; the seam watches, and restores the window
    // after three tests.
    std::vector<PresentCall> calls;
    ReadBackImage whileHidden;
    ReadBackImage afterwards;
    int tests = 0;
    engine->present = [&](IDXGISwapChain& swapChain, UINT syncInterval, UINT flags) {
        if (flags == 0 && !calls.empty()) {
            afterwards = ReadBackTarget();  // before presenting discards it
            PostQuitMessage(5);
        }
        const HRESULT answer = swapChain.Present(syncInterval, flags);
        calls.push_back({flags, answer, GetTickCount64()});
        if (calls.size() == 1) {
            // Anything drawn from now on would cover this.
            const float sentinel[4] = {1.0f, 0.0f, 1.0f, 1.0f};
            engine->window.graphics->context->ClearRenderTargetView(engine->window.graphics->renderTargetView.Get(),
                                                                    sentinel);
        } else if (flags == DXGI_PRESENT_TEST && ++tests == 3) {
            whileHidden = ReadBackTarget();
            ShowWindow(hwnd, SW_RESTORE);
        }
        return answer;
    };
    // Timer messages keep waking the loop while it is hidden.
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, nullptr);
    int wakes = 0;
    const int code = RunMessageLoop([&] {
        ++wakes;
        engine->RenderFrame(t);
    });
    KillTimer(nullptr, timer);

    EXPECT_EQ(code, 5);
    ASSERT_EQ(calls.size(), 6u);  // the hidden frame, four tests, the frame after
    EXPECT_EQ(calls[0].answer, DXGI_STATUS_OCCLUDED);
    for (std::size_t i = 1; i <= 4; ++i) {
        EXPECT_EQ(calls[i].flags, UINT(DXGI_PRESENT_TEST));
        EXPECT_GE(calls[i].atMs - calls[i - 1].atMs, OcclusionPacing::kTestIntervalMs);
    }
    EXPECT_EQ(calls[3].answer, DXGI_STATUS_OCCLUDED);
    EXPECT_EQ(calls[4].answer, S_OK);
    EXPECT_EQ(calls[5].flags, 0u);
    EXPECT_GT(wakes, 12);

    const ReadBackImage::Pixel hidden = whileHidden.At(2, 2);
    EXPECT_TRUE(hidden.c0 == 255 && hidden.c1 == 0 && hidden.c2 == 255);
    EXPECT_TRUE(SameImage(afterwards, expected));
}

TEST_F(Frame, QuitIsHandledAtOnceWhileHidden)
{
    // A test presentation would come only after five seconds: the loop must
    // end long before, woken by the messages themselves.
    for (const bool byEscape : {true, false}) {
        engine->occlusion.intervalMs = 5000;
        int presents = 0;
        engine->present = [&](IDXGISwapChain&, UINT, UINT) {
            ++presents;
            return DXGI_STATUS_OCCLUDED;
        };
        const HWND hwnd = engine->window.hwnd;
        std::thread closer([hwnd, byEscape] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (byEscape) {
                PostMessageA(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
            } else {
                PostMessageA(hwnd, WM_CLOSE, 0, 0);
            }
        });
        const int code = RunMessageLoop([&] { engine->RenderFrame(1.0f); });
        closer.join();
        EXPECT_EQ(code, 0);
        EXPECT_EQ(presents, 1) << "escape " << byEscape;
        RestoreSeams();
    }
}

TEST_F(Frame, LostDeviceIsRebuiltAndTheNextFrameIsTheOneOfItsTime)
{
    for (const HRESULT lost : {DXGI_ERROR_DEVICE_REMOVED, DXGI_ERROR_DEVICE_RESET}) {
        const float t = 3.0f;
        const ReadBackImage expected = DrawAndReadBack(t);
        const Microsoft::WRL::ComPtr<ID3D11Device> oldDevice = engine->window.graphics->device;

        ReadBackImage next;
        int presents = 0;
        engine->present = [&](IDXGISwapChain& swapChain, UINT syncInterval, UINT flags) {
            if (++presents == 1) {
                return lost;
            }
            next = ReadBackTarget();
            PostQuitMessage(0);
            return swapChain.Present(syncInterval, flags);
        };
        EXPECT_EQ(RunMessageLoop([&] { engine->RenderFrame(t); }), 0);

        ASSERT_TRUE(engine->CanRender());
        const Graphics& graphics = *engine->window.graphics;
        EXPECT_NE(graphics.device.Get(), oldDevice.Get());
        EXPECT_EQ(engine->device, graphics.device.Get());
        ASSERT_EQ(engine->scene.size(), 10u);
        Microsoft::WRL::ComPtr<ID3D11Device> cubeDevice;
        engine->scene[0]->vertexBuffer->GetDevice(&cubeDevice);
        EXPECT_EQ(cubeDevice.Get(), graphics.device.Get());
        EXPECT_TRUE(SameImage(next, expected)) << std::hex << lost;
        RestoreSeams();
    }
}

// A device that cannot be created again.
HRESULT WINAPI RefuseDevice(IDXGIAdapter*, D3D_DRIVER_TYPE, HMODULE, UINT, const D3D_FEATURE_LEVEL*, UINT, UINT,
                            const DXGI_SWAP_CHAIN_DESC*, IDXGISwapChain**, ID3D11Device**, D3D_FEATURE_LEVEL*,
                            ID3D11DeviceContext**)
{
    return DXGI_ERROR_UNSUPPORTED;
}

TEST_F(Frame, RefusedRecreationIsReportedAndEndsWithOne)
{
    Engine other(320, 200);
    ASSERT_TRUE(other.CanRender());
    other.BorrowDevice();
    other.SetUpScene();
    int reports = 0;
    int presents = 0;
    other.createDevice = RefuseDevice;
    other.reportDeviceFailure = [&] { ++reports; };
    other.present = [&](IDXGISwapChain&, UINT, UINT) {
        ++presents;
        return DXGI_ERROR_DEVICE_REMOVED;
    };

    EXPECT_EQ(RunMessageLoop([&] { other.RenderFrame(1.0f); }), 1);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(presents, 1);
    EXPECT_FALSE(other.window.graphics);
    EXPECT_EQ(other.device, nullptr);
    EXPECT_TRUE(other.scene.empty());
    EXPECT_EQ(other.camera, nullptr);
    // A frame that still comes touches nothing.
    other.RenderFrame(1.0f);
    EXPECT_EQ(presents, 1);
}

TEST_F(Frame, EngineWithoutGraphicsCannotRender)
{
    Engine other(320, 200);
    EXPECT_TRUE(other.CanRender());
    other.window.graphics.reset();
    EXPECT_FALSE(other.CanRender());
}

TEST(KeepAwakeDecision, AwakeWhileThePositionMovesAndTheWindowIsShown)
{
    KeepAwakeDecision awake;
    // Just started, the music still opening at 0: it counts as playing.
    EXPECT_TRUE(awake.Update(0.0f, true, 1000));
    EXPECT_TRUE(awake.Update(0.0f, true, 1000 + kStillBeforeSleepMs - 1));
    // Never started: let be after the stretch.
    EXPECT_FALSE(awake.Update(0.0f, true, 1000 + kStillBeforeSleepMs));
    EXPECT_TRUE(awake.Update(0.5f, true, 5000));
    // Hidden (minimised, covered): let be at once, awake again when shown.
    EXPECT_FALSE(awake.Update(0.6f, false, 5100));
    EXPECT_TRUE(awake.Update(0.7f, true, 5200));
    // The music ended: the same position for the stretch.
    EXPECT_TRUE(awake.Update(0.7f, true, 5200 + kStillBeforeSleepMs - 1));
    EXPECT_FALSE(awake.Update(0.7f, true, 5200 + kStillBeforeSleepMs));
    // A loop starts again at 0: playing again.
    EXPECT_TRUE(awake.Update(0.0f, true, 9000));
}

TEST(OcclusionPacing, TestsAreDueOneIntervalAfterEachOccludedAnswer)
{
    OcclusionPacing pacing;
    pacing.Occluded(1000);
    EXPECT_FALSE(pacing.TestDue(1099));
    EXPECT_EQ(pacing.WaitMs(1000), OcclusionPacing::kTestIntervalMs);
    EXPECT_EQ(pacing.WaitMs(1099), 1u);
    EXPECT_TRUE(pacing.TestDue(1100));
    // Late, the wait is nil rather than a wrapped-around eternity.
    EXPECT_EQ(pacing.WaitMs(1u << 20), 0u);
    // A clock read before the answer waits no longer than one interval.
    EXPECT_EQ(pacing.WaitMs(0), OcclusionPacing::kTestIntervalMs);
}

}  // namespace
