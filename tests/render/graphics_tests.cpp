#include "render/graphics.h"
#include "tests/render/test_window.h"
#include "tests/support/read_back.h"

#include <gtest/gtest.h>

#include <memory>
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
// debug layer (or all of them), as machines without the graphics tools do.
std::vector<UINT> attemptedFlags;
bool refuseEverything = false;

HRESULT WINAPI CreateWithoutDebugLayer(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driverType, HMODULE software, UINT flags,
                                       const D3D_FEATURE_LEVEL* levels, UINT levelCount, UINT sdkVersion,
                                       const DXGI_SWAP_CHAIN_DESC* swapChainDesc, IDXGISwapChain** swapChain,
                                       ID3D11Device** device, D3D_FEATURE_LEVEL* achieved,
                                       ID3D11DeviceContext** context)
{
    attemptedFlags.push_back(flags);
    if (refuseEverything || (flags & D3D11_CREATE_DEVICE_DEBUG)) {
        return DXGI_ERROR_SDK_COMPONENT_MISSING;
    }
    return D3D11CreateDeviceAndSwapChain(adapter, driverType, software, flags, levels, levelCount, sdkVersion,
                                         swapChainDesc, swapChain, device, achieved, context);
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

TEST(Graphics, WithoutAnyDeviceHoldsNothingAndTearsDownCleanly)
{
    attemptedFlags.clear();
    refuseEverything = true;
    TestWindow window;
    {
        Graphics graphics(window.Handle(), CreateWithoutDebugLayer);
        EXPECT_EQ(attemptedFlags.size(), 2u);
        EXPECT_FALSE(graphics.device);
        EXPECT_FALSE(graphics.swapChain);
        EXPECT_FALSE(graphics.context);
        EXPECT_FALSE(graphics.renderTargetView);
        EXPECT_FALSE(graphics.depthStencilView);
    }
    refuseEverything = false;
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
