#include "render/graphics.h"

#include "render/camera.h"
#include "render/materials.h"
#include "render/mesh_object.h"

#include <iterator>

using Microsoft::WRL::ComPtr;

namespace {

// Every shader is shader model 5, which needs feature level 11_0: without
// this list the runtime would make a 10.x device on an older card, on which
// no shader loads. 11_0 is all the program uses, so no higher level is asked
// for (11_1 would fail with E_INVALIDARG on a runtime that predates it).
constexpr D3D_FEATURE_LEVEL kFeatureLevels[] = {D3D_FEATURE_LEVEL_11_0};

}  // namespace

Graphics::Graphics(HWND window, PFN_D3D11_CREATE_DEVICE_AND_SWAP_CHAIN createDevice)
{
    const DXGI_SWAP_CHAIN_DESC swapChainDesc{.BufferDesc = {.Width = 0,  // 0 by 0: the client area's size
                                                            .Height = 0,
                                                            .RefreshRate = {.Numerator = 0, .Denominator = 0},
                                                            .Format = DXGI_FORMAT_B8G8R8A8_UNORM,
                                                            .ScanlineOrdering = DXGI_MODE_SCANLINE_ORDER_UNSPECIFIED,
                                                            .Scaling = DXGI_MODE_SCALING_UNSPECIFIED},
                                             .SampleDesc = {.Count = 1, .Quality = 0},
                                             .BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT,
                                             .BufferCount = 1,
                                             .OutputWindow = window,
                                             .Windowed = TRUE,
                                             .SwapEffect = DXGI_SWAP_EFFECT_DISCARD,
                                             .Flags = 0};

    // The debug layer is only installed with the graphics tools; without it
    // the first attempt fails, and the device is created without the layer.
    constexpr UINT attempts[] = {D3D11_CREATE_DEVICE_DEBUG, 0};
    for (UINT flags : attempts) {
        const HRESULT hr =
            createDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, flags, kFeatureLevels, std::size(kFeatureLevels),
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
    // The window already covers the screen. On Alt+Enter DXGI would switch the
    // swap chain to exclusive full-screen, where releasing it at exit risks a
    // non-continuable exception.
    {
        ComPtr<IDXGIFactory> factory;
        if (SUCCEEDED(swapChain->GetParent(__uuidof(IDXGIFactory), &factory))) {
            factory->MakeWindowAssociation(window, DXGI_MWA_NO_ALT_ENTER);
        }
    }

    MakeWindowTargets();
}

Graphics::Graphics(std::uint32_t width, std::uint32_t height, PFN_D3D11_CREATE_DEVICE createDevice)
{
    // The same two attempts as with a window: with the debug layer, then without.
    constexpr UINT attempts[] = {D3D11_CREATE_DEVICE_DEBUG, 0};
    for (UINT flags : attempts) {
        const HRESULT hr = createDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, flags, kFeatureLevels,
                                        std::size(kFeatureLevels), D3D11_SDK_VERSION, &device, nullptr, &context);
        if (SUCCEEDED(hr) && device && context) {
            break;
        }
        device.Reset();
        context.Reset();
    }
    if (!device) {
        return;
    }

    const D3D11_TEXTURE2D_DESC targetDesc{.Width = width,
                                          .Height = height,
                                          .MipLevels = 1,
                                          .ArraySize = 1,
                                          .Format = DXGI_FORMAT_B8G8R8A8_UNORM,
                                          .SampleDesc = {.Count = 1, .Quality = 0},
                                          .Usage = D3D11_USAGE_DEFAULT,
                                          .BindFlags = D3D11_BIND_RENDER_TARGET};
    if (FAILED(device->CreateTexture2D(&targetDesc, nullptr, &offscreenTarget))) {
        return;  // too large for the device or its memory; the caller sees no target
    }
    device->CreateRenderTargetView(offscreenTarget.Get(), nullptr, &renderTargetView);
    this->width = width;
    this->height = height;
    SetUpPipeline();
}

Graphics::~Graphics()
{
    BOOL fullScreen = FALSE;
    if (swapChain && SUCCEEDED(swapChain->GetFullscreenState(&fullScreen, nullptr)) && fullScreen) {
        swapChain->SetFullscreenState(FALSE, nullptr);
    }
}

bool Graphics::ResizeToWindow()
{
    if (!swapChain) {
        return false;
    }
    // The swap chain resizes only once nothing refers to its buffer any more,
    // the context's bindings included.
    context->ClearState();
    renderTargetView.Reset();
    depthStencilView.Reset();
    context->Flush();
    // 0 by 0: the client area's size; count, format and flags stay.
    if (FAILED(swapChain->ResizeBuffers(0, 0, 0, DXGI_FORMAT_UNKNOWN, 0))) {
        return false;
    }
    return MakeWindowTargets();
}

bool Graphics::MakeWindowTargets()
{
    ComPtr<ID3D11Resource> backBuffer;
    ComPtr<ID3D11Texture2D> backTexture;
    if (FAILED(swapChain->GetBuffer(0, __uuidof(ID3D11Resource), &backBuffer)) || FAILED(backBuffer.As(&backTexture)) ||
        FAILED(device->CreateRenderTargetView(backBuffer.Get(), nullptr, &renderTargetView))) {
        return false;
    }
    // Whatever size the window had when the buffer was made, the buffer's
    // own is the one every other size must agree with.
    D3D11_TEXTURE2D_DESC desc{};
    backTexture->GetDesc(&desc);
    width = desc.Width;
    height = desc.Height;
    SetUpPipeline();
    // The back buffer goes last, after the pipeline's temporaries.
    backTexture.Reset();
    backBuffer.Reset();
    return depthStencilView != nullptr;
}

void Graphics::SetUpPipeline()
{
    const D3D11_DEPTH_STENCIL_DESC depthDesc{.DepthEnable = TRUE,
                                             .DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ALL,
                                             .DepthFunc = D3D11_COMPARISON_LESS,
                                             .StencilEnable = FALSE};
    ComPtr<ID3D11DepthStencilState> depthState;
    device->CreateDepthStencilState(&depthDesc, &depthState);
    context->OMSetDepthStencilState(depthState.Get(), 1);

    const D3D11_TEXTURE2D_DESC depthBufferDesc{.Width = width,
                                               .Height = height,
                                               .MipLevels = 1,
                                               .ArraySize = 1,
                                               .Format = DXGI_FORMAT_D32_FLOAT,
                                               .SampleDesc = {.Count = 1, .Quality = 0},
                                               .Usage = D3D11_USAGE_DEFAULT,
                                               .BindFlags = D3D11_BIND_DEPTH_STENCIL};
    ComPtr<ID3D11Texture2D> depthBuffer;
    device->CreateTexture2D(&depthBufferDesc, nullptr, &depthBuffer);

    if (depthBuffer) {
        const D3D11_DEPTH_STENCIL_VIEW_DESC viewDesc{.Format = DXGI_FORMAT_D32_FLOAT,
                                                     .ViewDimension = D3D11_DSV_DIMENSION_TEXTURE2D,
                                                     .Flags = 0,
                                                     .Texture2D = {.MipSlice = 0}};
        device->CreateDepthStencilView(depthBuffer.Get(), &viewDesc, &depthStencilView);
    }

    ID3D11RenderTargetView* const targets[] = {renderTargetView.Get()};
    context->OMSetRenderTargets(1, targets, depthStencilView.Get());

    const D3D11_VIEWPORT viewport{.TopLeftX = 0.0f,
                                  .TopLeftY = 0.0f,
                                  .Width = static_cast<float>(width),
                                  .Height = static_cast<float>(height),
                                  .MinDepth = 0.0f,
                                  .MaxDepth = 1.0f};
    context->RSSetViewports(1, &viewport);

    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);

    // The views and the context keep what they need of these alive.
    depthBuffer.Reset();
    depthState.Reset();
}

void Graphics::DrawObject(MeshObject& object, const Camera& camera, float yaw, float pitch, float x, float y, float z,
                          float time)
{
    Material& material = *object.material;

    ID3D11Buffer* const vertexBuffers[] = {object.vertexBuffer.Get()};
    constexpr UINT stride = sizeof(Vertex);
    constexpr UINT offset = 0;
    context->IASetVertexBuffers(0, 1, vertexBuffers, &stride, &offset);
    context->IASetIndexBuffer(object.indexBuffer.Get(), DXGI_FORMAT_R16_UINT, 0);
    context->PSSetShader(material.pixelShader.Get(), nullptr, 0);
    context->VSSetShader(material.vertexShader.Get(), nullptr, 0);

    FillObjectConstants(object.constants, MakeWorld(yaw, pitch, x, y, z), camera.view, camera.projection, time);
    // A fresh buffer on every draw: the context keeps the previous one alive
    // for the draws already issued with it.
    RecreateConstantBuffer(object, device.Get());

    ID3D11Buffer* const objectBuffers[] = {object.constantBuffer.Get()};
    context->VSSetConstantBuffers(0, 1, objectBuffers);
    ID3D11Buffer* const colourBuffers[] = {material.constantBuffer.Get()};
    context->PSSetConstantBuffers(0, 1, colourBuffers);

    if (auto* textured = dynamic_cast<CubeMaterial*>(&material)) {
        ID3D11ShaderResourceView* const views[] = {textured->textureView.Get()};
        context->PSSetShaderResources(0, 1, views);
        ID3D11SamplerState* const samplers[] = {textured->sampler.Get()};
        context->PSSetSamplers(0, 1, samplers);
    }

    context->IASetInputLayout(material.inputLayout.Get());
    context->DrawIndexed(static_cast<UINT>(object.indexCount), 0, 0);
}

void Graphics::BindFreeTracks(const std::array<float, 16>& values)
{
    if (!freeTracksBuffer) {
        const D3D11_BUFFER_DESC desc{
            .ByteWidth = sizeof(values), .Usage = D3D11_USAGE_DEFAULT, .BindFlags = D3D11_BIND_CONSTANT_BUFFER};
        device->CreateBuffer(&desc, nullptr, &freeTracksBuffer);
    }
    if (!freeTracksBuffer) {
        return;
    }
    context->UpdateSubresource(freeTracksBuffer.Get(), 0, nullptr, values.data(), 0, 0);
    ID3D11Buffer* const buffers[] = {freeTracksBuffer.Get()};
    context->VSSetConstantBuffers(1, 1, buffers);
    context->PSSetConstantBuffers(1, 1, buffers);
}
