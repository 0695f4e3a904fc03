#include "audio/com_object.h"
#include "render/graphics.h"
#include "tests/render/test_window.h"
#include "tests/support/read_back.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

D3D11_TEXTURE2D_DESC TextureDescOf(ID3D11View* view)
{
    ComPtr<ID3D11Resource> resource;
    view->GetResource(&resource);
    ComPtr<ID3D11Texture2D> texture;
    resource.As(&texture);
    D3D11_TEXTURE2D_DESC desc{};
    texture->GetDesc(&desc);
    return desc;
}

// One window and device for the tests that only look at them.
class GraphicsOnWindow : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sharedWindow = std::make_unique<TestWindow>();
        // A client area unlike the screen's: every size must be the back buffer's.
        SetWindowPos(sharedWindow->Handle(), nullptr, 0, 0, 640, 360, SWP_NOZORDER | SWP_NOACTIVATE);
        sharedGraphics = std::make_unique<Graphics>(sharedWindow->Handle());
    }
    static void TearDownTestSuite()
    {
        sharedGraphics.reset();
        sharedWindow.reset();
    }
    static inline std::unique_ptr<TestWindow> sharedWindow;
    static inline std::unique_ptr<Graphics> sharedGraphics;
    const TestWindow& window = *sharedWindow;
    Graphics& graphics = *sharedGraphics;
};

TEST_F(GraphicsOnWindow, HoldsDeviceContextSwapChainAndBothViews)
{
    ASSERT_TRUE(graphics.device);
    ASSERT_TRUE(graphics.swapChain);
    ASSERT_TRUE(graphics.context);
    ASSERT_TRUE(graphics.renderTargetView);
    ASSERT_TRUE(graphics.depthStencilView);

    RECT client{};
    GetClientRect(window.Handle(), &client);
    const D3D11_TEXTURE2D_DESC backBuffer = TextureDescOf(graphics.renderTargetView.Get());
    EXPECT_EQ(backBuffer.Width, UINT(client.right));
    EXPECT_EQ(backBuffer.Height, UINT(client.bottom));
    EXPECT_EQ(backBuffer.Format, DXGI_FORMAT_B8G8R8A8_UNORM);

    const D3D11_TEXTURE2D_DESC depthBuffer = TextureDescOf(graphics.depthStencilView.Get());
    EXPECT_EQ(depthBuffer.Width, backBuffer.Width);
    EXPECT_EQ(depthBuffer.Height, backBuffer.Height);
    EXPECT_EQ(depthBuffer.Format, DXGI_FORMAT_D32_FLOAT);
    EXPECT_EQ(depthBuffer.BindFlags, UINT(D3D11_BIND_DEPTH_STENCIL));
}

TEST_F(GraphicsOnWindow, SetsTheFixedPipelineStateOnce)
{
    ASSERT_TRUE(graphics.context);

    UINT viewportCount = 1;
    D3D11_VIEWPORT viewport{};
    graphics.context->RSGetViewports(&viewportCount, &viewport);
    ASSERT_EQ(viewportCount, 1u);
    EXPECT_EQ(viewport.TopLeftX, 0.0f);
    EXPECT_EQ(viewport.TopLeftY, 0.0f);
    const D3D11_TEXTURE2D_DESC backBuffer = TextureDescOf(graphics.renderTargetView.Get());
    EXPECT_EQ(viewport.Width, float(backBuffer.Width));
    EXPECT_EQ(viewport.Height, float(backBuffer.Height));
    EXPECT_EQ(viewport.MinDepth, 0.0f);
    EXPECT_EQ(viewport.MaxDepth, 1.0f);

    ComPtr<ID3D11DepthStencilState> depthState;
    UINT stencilRef = 0;
    graphics.context->OMGetDepthStencilState(&depthState, &stencilRef);
    ASSERT_TRUE(depthState);
    D3D11_DEPTH_STENCIL_DESC depthDesc{};
    depthState->GetDesc(&depthDesc);
    EXPECT_TRUE(depthDesc.DepthEnable);
    EXPECT_EQ(depthDesc.DepthWriteMask, D3D11_DEPTH_WRITE_MASK_ALL);
    EXPECT_EQ(depthDesc.DepthFunc, D3D11_COMPARISON_LESS);
    EXPECT_FALSE(depthDesc.StencilEnable);
    EXPECT_EQ(stencilRef, 1u);

    D3D11_PRIMITIVE_TOPOLOGY topology{};
    graphics.context->IAGetPrimitiveTopology(&topology);
    EXPECT_EQ(topology, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);

    ComPtr<ID3D11RenderTargetView> boundTarget;
    ComPtr<ID3D11DepthStencilView> boundDepth;
    graphics.context->OMGetRenderTargets(1, &boundTarget, &boundDepth);
    EXPECT_EQ(boundTarget.Get(), graphics.renderTargetView.Get());
    EXPECT_EQ(boundDepth.Get(), graphics.depthStencilView.Get());
}

TEST_F(GraphicsOnWindow, ClearedBackBufferReadsBackExactly)
{
    const float colour[4] = {0.1f, 0.275f, 0.1f, 1.0f};
    graphics.context->ClearRenderTargetView(graphics.renderTargetView.Get(), colour);
    const ReadBackImage image =
        ReadBack(graphics.device.Get(), graphics.context.Get(), graphics.renderTargetView.Get());
    ASSERT_GT(image.width, 0u);
    const ReadBackImage::Pixel pixel = image.At(image.width - 1, image.height - 1);
    EXPECT_EQ(pixel.c0, 26);  // B
    EXPECT_EQ(pixel.c1, 70);  // G
    EXPECT_EQ(pixel.c2, 26);  // R
}

// Records every creation attempt and refuses the ones that ask for the
// debug layer (or all of them), as machines without the graphics tools do;
// and it stands in for a card of `cardLevel`, which makes a device of the
// first level asked for that it has (the runtime's own list when none is
// asked for), or none.
std::vector<UINT> attemptedFlags;
bool refuseEverything = false;
D3D_FEATURE_LEVEL cardLevel = D3D_FEATURE_LEVEL_11_0;

bool CardHasOneOf(const D3D_FEATURE_LEVEL* levels, UINT levelCount)
{
    constexpr D3D_FEATURE_LEVEL runtimeDefaults[] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1,
                                                     D3D_FEATURE_LEVEL_10_0, D3D_FEATURE_LEVEL_9_3};
    const std::vector<D3D_FEATURE_LEVEL> asked =
        levels == nullptr ? std::vector(std::begin(runtimeDefaults), std::end(runtimeDefaults))
                          : std::vector(levels, levels + levelCount);
    return std::any_of(asked.begin(), asked.end(), [](D3D_FEATURE_LEVEL level) { return level <= cardLevel; });
}

// What the card answers an attempt: S_OK where it makes a device.
HRESULT CardAnswer(UINT flags, const D3D_FEATURE_LEVEL* levels, UINT levelCount)
{
    attemptedFlags.push_back(flags);
    if (refuseEverything || (flags & D3D11_CREATE_DEVICE_DEBUG)) {
        return DXGI_ERROR_SDK_COMPONENT_MISSING;
    }
    return CardHasOneOf(levels, levelCount) ? S_OK : DXGI_ERROR_UNSUPPORTED;
}

HRESULT WINAPI CreateWithoutDebugLayer(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driverType, HMODULE software, UINT flags,
                                       const D3D_FEATURE_LEVEL* levels, UINT levelCount, UINT sdkVersion,
                                       const DXGI_SWAP_CHAIN_DESC* swapChainDesc, IDXGISwapChain** swapChain,
                                       ID3D11Device** device, D3D_FEATURE_LEVEL* achieved,
                                       ID3D11DeviceContext** context)
{
    const HRESULT answer = CardAnswer(flags, levels, levelCount);
    return FAILED(answer)
               ? answer
               : D3D11CreateDeviceAndSwapChain(adapter, driverType, software, flags, levels, levelCount, sdkVersion,
                                               swapChainDesc, swapChain, device, achieved, context);
}

// The same card without a window, for the offscreen device.
HRESULT WINAPI CreateOffscreenWithoutDebugLayer(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driverType, HMODULE software,
                                                UINT flags, const D3D_FEATURE_LEVEL* levels, UINT levelCount,
                                                UINT sdkVersion, ID3D11Device** device, D3D_FEATURE_LEVEL* achieved,
                                                ID3D11DeviceContext** context)
{
    const HRESULT answer = CardAnswer(flags, levels, levelCount);
    return FAILED(answer) ? answer
                          : D3D11CreateDevice(adapter, driverType, software, flags, levels, levelCount, sdkVersion,
                                              device, achieved, context);
}

TEST(Graphics, FallsBackToNoDebugLayerWhenTheFirstAttemptFails)
{
    attemptedFlags.clear();
    refuseEverything = false;
    TestWindow window;
    Graphics graphics(window.Handle(), CreateWithoutDebugLayer);
    EXPECT_EQ(attemptedFlags, (std::vector<UINT>{D3D11_CREATE_DEVICE_DEBUG, 0u}));
    EXPECT_TRUE(graphics.device);
    EXPECT_TRUE(graphics.swapChain);
    EXPECT_TRUE(graphics.renderTargetView);
    EXPECT_TRUE(graphics.depthStencilView);
}

// Without a device, or on a card below feature level 11_0, where no shader
// of the scene would load; with a window or offscreen (the capture program's).
TEST(Graphics, WithoutAnyDeviceOrOnALevel10CardHoldsNothingAndTearsDownCleanly)
{
    TestWindow window;
    for (const bool refuse : {true, false}) {
        attemptedFlags.clear();
        refuseEverything = refuse;
        cardLevel = D3D_FEATURE_LEVEL_10_1;
        Graphics graphics(window.Handle(), CreateWithoutDebugLayer);
        EXPECT_EQ(attemptedFlags.size(), 2u);
        EXPECT_FALSE(graphics.device);
        EXPECT_FALSE(graphics.swapChain);
        EXPECT_FALSE(graphics.context);
        EXPECT_FALSE(graphics.renderTargetView);
        EXPECT_FALSE(graphics.depthStencilView);
        const Graphics offscreen(64, 32, CreateOffscreenWithoutDebugLayer);
        EXPECT_EQ(attemptedFlags.size(), 4u);
        EXPECT_FALSE(offscreen.device);
        EXPECT_FALSE(offscreen.renderTargetView);
    }
    refuseEverything = false;
    cardLevel = D3D_FEATURE_LEVEL_11_0;
}

// Lives as long as the view it is attached to: the view's private data holds
// its only reference and lets go of it when the view is destroyed, once
// nothing (the context's bindings included) refers to the view any more.
class ViewWatch final : public ComObject<IUnknown> {
public:
    explicit ViewWatch(int& live) : live(live) { ++live; }
    ~ViewWatch() override { --live; }

    static void Attach(ID3D11View* view, int& live)
    {
        static constexpr GUID kWatch{0x5f1c2a7e, 0x3b0d, 0x4f6a, {0x9c, 0x21, 0x7d, 0x44, 0x0e, 0x8b, 0x61, 0x3a}};
        view->SetPrivateDataInterface(kWatch, MakeComObject<ViewWatch>(live).Get());
    }

private:
    int& live;
};

// The real swap chain, refusing to resize while a watched view of its buffer
// lives, as Windows' does (Wine's resizes all the same).
class StrictSwapChain final : public ComObject<IDXGISwapChain> {
public:
    explicit StrictSwapChain(ComPtr<IDXGISwapChain> real) : real(std::move(real)) {}

    int liveViews = 0;
    int resizes = 0;

    HRESULT STDMETHODCALLTYPE ResizeBuffers(UINT count, UINT width, UINT height, DXGI_FORMAT format,
                                            UINT flags) override
    {
        if (liveViews > 0) {
            return DXGI_ERROR_INVALID_CALL;
        }
        ++resizes;
        return real->ResizeBuffers(count, width, height, format, flags);
    }

    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID id, UINT size, const void* data) override
    {
        return real->SetPrivateData(id, size, data);
    }
    HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID id, const IUnknown* object) override
    {
        return real->SetPrivateDataInterface(id, object);
    }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID id, UINT* size, void* data) override
    {
        return real->GetPrivateData(id, size, data);
    }
    HRESULT STDMETHODCALLTYPE GetParent(REFIID id, void** parent) override { return real->GetParent(id, parent); }
    HRESULT STDMETHODCALLTYPE GetDevice(REFIID id, void** device) override { return real->GetDevice(id, device); }
    HRESULT STDMETHODCALLTYPE Present(UINT interval, UINT flags) override { return real->Present(interval, flags); }
    HRESULT STDMETHODCALLTYPE GetBuffer(UINT index, REFIID id, void** surface) override
    {
        return real->GetBuffer(index, id, surface);
    }
    HRESULT STDMETHODCALLTYPE SetFullscreenState(BOOL fullScreen, IDXGIOutput* target) override
    {
        return real->SetFullscreenState(fullScreen, target);
    }
    HRESULT STDMETHODCALLTYPE GetFullscreenState(BOOL* fullScreen, IDXGIOutput** target) override
    {
        return real->GetFullscreenState(fullScreen, target);
    }
    HRESULT STDMETHODCALLTYPE GetDesc(DXGI_SWAP_CHAIN_DESC* desc) override { return real->GetDesc(desc); }
    HRESULT STDMETHODCALLTYPE ResizeTarget(const DXGI_MODE_DESC* mode) override { return real->ResizeTarget(mode); }
    HRESULT STDMETHODCALLTYPE GetContainingOutput(IDXGIOutput** output) override
    {
        return real->GetContainingOutput(output);
    }
    HRESULT STDMETHODCALLTYPE GetFrameStatistics(DXGI_FRAME_STATISTICS* statistics) override
    {
        return real->GetFrameStatistics(statistics);
    }
    HRESULT STDMETHODCALLTYPE GetLastPresentCount(UINT* count) override { return real->GetLastPresentCount(count); }

private:
    ComPtr<IDXGISwapChain> real;
};

StrictSwapChain* strictSwapChain = nullptr;

HRESULT WINAPI CreateStrictly(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driverType, HMODULE software, UINT flags,
                              const D3D_FEATURE_LEVEL* levels, UINT levelCount, UINT sdkVersion,
                              const DXGI_SWAP_CHAIN_DESC* swapChainDesc, IDXGISwapChain** swapChain,
                              ID3D11Device** device, D3D_FEATURE_LEVEL* achieved, ID3D11DeviceContext** context)
{
    ComPtr<IDXGISwapChain> real;
    const HRESULT hr = D3D11CreateDeviceAndSwapChain(adapter, driverType, software, flags, levels, levelCount,
                                                     sdkVersion, swapChainDesc, &real, device, achieved, context);
    if (SUCCEEDED(hr)) {
        ComPtr<StrictSwapChain> strict = MakeComObject<StrictSwapChain>(real);
        strictSwapChain = strict.Get();
        *swapChain = strict.Detach();
    }
    return hr;
}

// A window resized (an ordinary window's edge dragged) keeps its device:
// nothing refers to the buffer when it is resized.
TEST(Graphics, ResizesToTheWindowWithNothingLeftReferringToTheBuffer)
{
    TestWindow window;
    SetWindowPos(window.Handle(), nullptr, 0, 0, 640, 360, SWP_NOZORDER | SWP_NOACTIVATE);
    Graphics graphics(window.Handle(), CreateStrictly);
    ASSERT_TRUE(graphics.renderTargetView);
    const ComPtr<ID3D11Device> device = graphics.device;
    for (const auto& [width, height] : {std::pair{800, 450}, std::pair{320, 200}}) {
        ViewWatch::Attach(graphics.renderTargetView.Get(), strictSwapChain->liveViews);
        SetWindowPos(window.Handle(), nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_TRUE(graphics.ResizeToWindow()) << width;
        EXPECT_EQ(graphics.device.Get(), device.Get());
        EXPECT_EQ(TextureDescOf(graphics.renderTargetView.Get()).Width, UINT(width));
        EXPECT_EQ(graphics.height, UINT(height));
    }
    EXPECT_EQ(strictSwapChain->resizes, 2);
}

// Alt+Enter as the window's message queue gets it: a system key of Return
// with Alt held (context bit 29), then its release.
void SendAltEnter(HWND window)
{
    PostMessageA(window, WM_SYSKEYDOWN, VK_RETURN, 0x20000001);
    PostMessageA(window, WM_SYSKEYUP, VK_RETURN, 0xE0000001);
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

BOOL IsFullScreen(IDXGISwapChain& swapChain)
{
    BOOL fullScreen = FALSE;
    swapChain.GetFullscreenState(&fullScreen, nullptr);
    return fullScreen;
}

// A swap chain must not be released in full-screen state: Alt+Enter does not
// put it there, and one forced there is windowed again before its release.
TEST(Graphics, StaysWindowedOnAltEnterAndIsReleasedWindowed)
{
    TestWindow window;
    auto graphics = std::make_unique<Graphics>(window.Handle());
    ASSERT_TRUE(graphics->swapChain);
    SendAltEnter(window.Handle());
    EXPECT_FALSE(IsFullScreen(*graphics->swapChain.Get()));

    ASSERT_HRESULT_SUCCEEDED(graphics->swapChain->SetFullscreenState(TRUE, nullptr));
    ASSERT_TRUE(IsFullScreen(*graphics->swapChain.Get()));
    const ComPtr<IDXGISwapChain> outliving = graphics->swapChain;
    graphics.reset();
    EXPECT_FALSE(IsFullScreen(*outliving.Get()));
}

}  // namespace
