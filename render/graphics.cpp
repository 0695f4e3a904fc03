#include "render/graphics.h"

using Microsoft::WRL::ComPtr;

namespace {

DXGI_SWAP_CHAIN_DESC DescribeSwapChain(HWND window)
{
    DXGI_SWAP_CHAIN_DESC desc{};
    desc.BufferDesc.Width = 0;  // the client area's size
    desc.BufferDesc.Height = 0;
    desc.BufferDesc.RefreshRate = {0, 0};
    desc.BufferDesc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.BufferDesc.ScanlineOrdering = DXGI_MODE_SCANLINE_ORDER_UNSPECIFIED;
    desc.BufferDesc.Scaling = DXGI_MODE_SCALING_UNSPECIFIED;
    desc.SampleDesc = {1, 0};
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 1;
    desc.OutputWindow = window;
    desc.Windowed = TRUE;
    desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
    desc.Flags = 0;
    return desc;
}

}  // namespace

Graphics::Graphics(HWND window, PFN_D3D11_CREATE_DEVICE_AND_SWAP_CHAIN createDevice)
{
    const DXGI_SWAP_CHAIN_DESC swapChainDesc = DescribeSwapChain(window);

    // The debug layer is only installed with the graphics tools; without it
    // the first attempt fails, and the device is created without the layer.
    constexpr UINT attempts[] = {D3D11_CREATE_DEVICE_DEBUG, 0};
    for (UINT flags : attempts) {
        const HRESULT hr = createDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, flags, nullptr, 0,
                                        D3D11_SDK_VERSION, &swapChainDesc, &swapChain, &device, nullptr, &context);
        if (SUCCEEDED(hr) && device && swapChain && context) {
            break;
        }
        swapChain.Reset();
        device.Reset();
        context.Reset();
    }
    if (!device) {
        return;  // nothing to build on; the caller sees the empty references
    }

    ComPtr<ID3D11Resource> backBuffer;
    swapChain->GetBuffer(0, __uuidof(ID3D11Resource), &backBuffer);
    if (backBuffer) {
        device->CreateRenderTargetView(backBuffer.Get(), nullptr, &renderTargetView);
    }

    D3D11_DEPTH_STENCIL_DESC depthDesc{};
    depthDesc.DepthEnable = TRUE;
    depthDesc.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ALL;
    depthDesc.DepthFunc = D3D11_COMPARISON_LESS;
    depthDesc.StencilEnable = FALSE;
    ComPtr<ID3D11DepthStencilState> depthState;
    device->CreateDepthStencilState(&depthDesc, &depthState);
    context->OMSetDepthStencilState(depthState.Get(), 1);

    D3D11_TEXTURE2D_DESC depthBufferDesc{};
    depthBufferDesc.Width = static_cast<UINT>(GetSystemMetrics(SM_CXVIRTUALSCREEN));
    depthBufferDesc.Height = static_cast<UINT>(GetSystemMetrics(SM_CYVIRTUALSCREEN));
    depthBufferDesc.MipLevels = 1;
    depthBufferDesc.ArraySize = 1;
    depthBufferDesc.Format = DXGI_FORMAT_D32_FLOAT;
    depthBufferDesc.SampleDesc = {1, 0};
    depthBufferDesc.Usage = D3D11_USAGE_DEFAULT;
    depthBufferDesc.BindFlags = D3D11_BIND_DEPTH_STENCIL;
    ComPtr<ID3D11Texture2D> depthBuffer;
    device->CreateTexture2D(&depthBufferDesc, nullptr, &depthBuffer);

    if (depthBuffer) {
        D3D11_DEPTH_STENCIL_VIEW_DESC viewDesc{};
        viewDesc.Format = DXGI_FORMAT_D32_FLOAT;
        viewDesc.ViewDimension = D3D11_DSV_DIMENSION_TEXTURE2D;
        viewDesc.Flags = 0;
        viewDesc.Texture2D.MipSlice = 0;
        device->CreateDepthStencilView(depthBuffer.Get(), &viewDesc, &depthStencilView);
    }

    ID3D11RenderTargetView* const targets[] = {renderTargetView.Get()};
    context->OMSetRenderTargets(1, targets, depthStencilView.Get());

    D3D11_VIEWPORT viewport{};
    viewport.TopLeftX = 0.0f;
    viewport.TopLeftY = 0.0f;
    viewport.Width = static_cast<float>(GetSystemMetrics(SM_CXVIRTUALSCREEN));
    viewport.Height = static_cast<float>(GetSystemMetrics(SM_CYVIRTUALSCREEN));
    viewport.MinDepth = 0.0f;
    viewport.MaxDepth = 1.0f;
    context->RSSetViewports(1, &viewport);

    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);

    // Released in this order: depth buffer, depth-stencil state, back buffer;
    // the views and the context keep what they need alive.
    depthBuffer.Reset();
    depthState.Reset();
    backBuffer.Reset();
}
