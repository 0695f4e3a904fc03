#pragma once

#include <windows.h>
#include <d3d11.h>
#include <dxgi.h>
#include <wrl/client.h>

class Camera;
struct MeshObject;

// The Direct3D 11 objects that exist once per run, and the pipeline state
// that never changes after construction.
class Graphics {
public:
    // The device factory is a parameter only so that tests can make the
    // first creation attempt fail; the program always uses the default.
    explicit Graphics(HWND window, PFN_D3D11_CREATE_DEVICE_AND_SWAP_CHAIN createDevice = D3D11CreateDeviceAndSwapChain);
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;

    void DrawObject(MeshObject& object, const Camera& camera, float yaw, float pitch, float x, float y, float z,
                    float time);

    Microsoft::WRL::ComPtr<ID3D11Device> device;
    Microsoft::WRL::ComPtr<IDXGISwapChain> swapChain;
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
    Microsoft::WRL::ComPtr<ID3D11RenderTargetView> renderTargetView;
    Microsoft::WRL::ComPtr<ID3D11DepthStencilView> depthStencilView;
};
