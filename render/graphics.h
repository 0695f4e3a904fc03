#pragma once

#include <windows.h>
#include <d3d11.h>
#include <dxgi.h>
#include <wrl/client.h>

#include <array>
#include <cstdint>

class Camera;
struct MeshObject;

// A Direct3D 11 device with its frame targets: a window's swap chain (the
// demo makes a new Graphics after a lost device) or an offscreen target. The
// pipeline state is set when the targets are made, and again after a resize.
class Graphics {
public:
    // The device factory is a parameter only so that tests can make the
    // first creation attempt fail; the program always uses the default.
    explicit Graphics(HWND window, PFN_D3D11_CREATE_DEVICE_AND_SWAP_CHAIN createDevice = D3D11CreateDeviceAndSwapChain);
    // Without a window: a device, and a BGRA target and depth buffer of the
    // given size, for drawing frames that are read back instead of shown.
    // The factory is a test's seam as above.
    Graphics(std::uint32_t width, std::uint32_t height, PFN_D3D11_CREATE_DEVICE createDevice = D3D11CreateDevice);
    // Leaves full-screen state first, should the swap chain be in it: DXGI
    // forbids releasing a swap chain in that state.
    ~Graphics();
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;

    // Lets go of the frame targets, resizes the swap chain's buffers to the
    // window's client area and makes the targets, depth buffer and viewport
    // again at the back buffer's new size. False when a step fails: the device
    // may be gone, and the targets are not usable.
    [[nodiscard]] bool ResizeToWindow();

    void DrawObject(MeshObject& object, const Camera& camera, float yaw, float pitch, float x, float y, float z,
                    float time);

    // The free tracks' values for the vertex and pixel shaders of every draw
    // from now on, in the constant buffer at register b1 (float4 tracks[4]).
    void BindFreeTracks(const std::array<float, 16>& values);

    Microsoft::WRL::ComPtr<ID3D11Device> device;
    Microsoft::WRL::ComPtr<IDXGISwapChain> swapChain;
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> offscreenTarget;  // only without a window
    Microsoft::WRL::ComPtr<ID3D11RenderTargetView> renderTargetView;
    Microsoft::WRL::ComPtr<ID3D11DepthStencilView> depthStencilView;
    Microsoft::WRL::ComPtr<ID3D11Buffer> freeTracksBuffer;  // made on the first frame
    // The frame targets' size: with a window, the back buffer's own, read
    // back from it, which the depth buffer, viewport and camera all take.
    std::uint32_t width = 0;
    std::uint32_t height = 0;

private:
    // The back buffer's view, then the pipeline at its size; false when any
    // of it could not be made.
    bool MakeWindowTargets();
    // Depth test and buffer, targets, viewport and topology at the targets'
    // size: the state every frame relies on.
    void SetUpPipeline();
};
