#pragma once

#include <windows.h>
#include <d3d11.h>
#include <dxgi.h>
#include <wrl/client.h>

#include <cstdint>

class Camera;
struct MeshObject;

// The Direct3D 11 objects that exist once per run, and the pipeline state
// that never changes after construction.
class Graphics {
public:
    // The device factory is a parameter only so that tests can make the
    // first creation attempt fail; the program always uses the default.
    explicit Graphics(HWND window, PFN_D3D11_CREATE_DEVICE_AND_SWAP_CHAIN createDevice = D3D11CreateDeviceAndSwapChain);
    // Without a window: a device, and a BGRA target and depth buffer of the
    // given size, for drawing frames that are read back instead of shown.
    Graphics(std::uint32_t width, std::uint32_t height);
    // Leaves full-screen state first, should the swap chain be in it: DXGI
    // forbids releasing a swap chain in that state.
    ~Graphics();
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;

    void DrawObject(MeshObject& object, const Camera& camera, float yaw, float pitch, float x, float y, float z,
                    float time);

    Microsoft::WRL::ComPtr<ID3D11Device> device;
    Microsoft::WRL::ComPtr<IDXGISwapChain> swapChain;
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> offscreenTarget;  // only without a window
    Microsoft::WRL::ComPtr<ID3D11RenderTargetView> renderTargetView;
    Microsoft::WRL::ComPtr<ID3D11DepthStencilView> depthStencilView;

private:
    // Depth test and buffer, targets, viewport and topology: the state every
    // frame relies on.
    void SetUpPipeline(UINT width, UINT height);
};
