#pragma once

// A Direct3D 11 device that records texture creation and does nothing else.

#include <windows.h>
#include <d3d11.h>

#include <vector>

// A texture that only counts its references.
template <class Interface, class Desc, D3D11_RESOURCE_DIMENSION Dimension>
class FakeTexture : public Interface {
public:
    explicit FakeTexture(const Desc& desc) : description(desc) {}
    virtual ~FakeTexture() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    void STDMETHODCALLTYPE GetDevice(ID3D11Device** device) override { *device = nullptr; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }
    void STDMETHODCALLTYPE GetType(D3D11_RESOURCE_DIMENSION* dimension) override { *dimension = Dimension; }
    void STDMETHODCALLTYPE SetEvictionPriority(UINT) override {}
    UINT STDMETHODCALLTYPE GetEvictionPriority() override { return 0; }
    void STDMETHODCALLTYPE GetDesc(Desc* desc) override { *desc = description; }

    ULONG references = 1;

private:
    Desc description;
};

using FakeTexture1D = FakeTexture<ID3D11Texture1D, D3D11_TEXTURE1D_DESC, D3D11_RESOURCE_DIMENSION_TEXTURE1D>;
using FakeTexture2D = FakeTexture<ID3D11Texture2D, D3D11_TEXTURE2D_DESC, D3D11_RESOURCE_DIMENSION_TEXTURE2D>;
using FakeTexture3D = FakeTexture<ID3D11Texture3D, D3D11_TEXTURE3D_DESC, D3D11_RESOURCE_DIMENSION_TEXTURE3D>;

class FakeDevice : public ID3D11Device {
public:
    virtual ~FakeDevice()
    {
        delete texture1D;
        delete texture2D;
        delete texture3D;
    }

    // What the last create call received; initial data copied out while the
    // caller's array was alive.
    int calls = 0;
    int lastDimension = 0;  // 1, 2 or 3
    D3D11_TEXTURE1D_DESC desc1D{};
    D3D11_TEXTURE2D_DESC desc2D{};
    D3D11_TEXTURE3D_DESC desc3D{};
    std::vector<D3D11_SUBRESOURCE_DATA> initialData;
    HRESULT result = S_OK;  // what the create calls answer
    FakeTexture1D* texture1D = nullptr;
    FakeTexture2D* texture2D = nullptr;
    FakeTexture3D* texture3D = nullptr;

    HRESULT STDMETHODCALLTYPE CreateTexture1D(const D3D11_TEXTURE1D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                              ID3D11Texture1D** out) override
    {
        Record(1, data, desc->MipLevels * desc->ArraySize);
        desc1D = *desc;
        if (FAILED(result)) {
            return result;
        }
        delete texture1D;
        *out = texture1D = new FakeTexture1D(*desc);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateTexture2D(const D3D11_TEXTURE2D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                              ID3D11Texture2D** out) override
    {
        Record(2, data, desc->MipLevels * desc->ArraySize);
        desc2D = *desc;
        if (FAILED(result)) {
            return result;
        }
        delete texture2D;
        *out = texture2D = new FakeTexture2D(*desc);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateTexture3D(const D3D11_TEXTURE3D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                              ID3D11Texture3D** out) override
    {
        Record(3, data, desc->MipLevels);
        desc3D = *desc;
        if (FAILED(result)) {
            return result;
        }
        delete texture3D;
        *out = texture3D = new FakeTexture3D(*desc);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateBuffer(const D3D11_BUFFER_DESC*, const D3D11_SUBRESOURCE_DATA*,
                                           ID3D11Buffer**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateShaderResourceView(ID3D11Resource*, const D3D11_SHADER_RESOURCE_VIEW_DESC*,
                                                       ID3D11ShaderResourceView**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateUnorderedAccessView(ID3D11Resource*, const D3D11_UNORDERED_ACCESS_VIEW_DESC*,
                                                        ID3D11UnorderedAccessView**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateRenderTargetView(ID3D11Resource*, const D3D11_RENDER_TARGET_VIEW_DESC*,
                                                     ID3D11RenderTargetView**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateDepthStencilView(ID3D11Resource*, const D3D11_DEPTH_STENCIL_VIEW_DESC*,
                                                     ID3D11DepthStencilView**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateInputLayout(const D3D11_INPUT_ELEMENT_DESC*, UINT, const void*, SIZE_T,
                                                ID3D11InputLayout**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateVertexShader(const void*, SIZE_T, ID3D11ClassLinkage*,
                                                 ID3D11VertexShader**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateGeometryShader(const void*, SIZE_T, ID3D11ClassLinkage*,
                                                   ID3D11GeometryShader**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateGeometryShaderWithStreamOutput(const void*, SIZE_T,
                                                                   const D3D11_SO_DECLARATION_ENTRY*, UINT, const UINT*,
                                                                   UINT, UINT, ID3D11ClassLinkage*,
                                                                   ID3D11GeometryShader**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreatePixelShader(const void*, SIZE_T, ID3D11ClassLinkage*, ID3D11PixelShader**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateHullShader(const void*, SIZE_T, ID3D11ClassLinkage*, ID3D11HullShader**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateDomainShader(const void*, SIZE_T, ID3D11ClassLinkage*,
                                                 ID3D11DomainShader**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateComputeShader(const void*, SIZE_T, ID3D11ClassLinkage*,
                                                  ID3D11ComputeShader**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateClassLinkage(ID3D11ClassLinkage**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateBlendState(const D3D11_BLEND_DESC*, ID3D11BlendState**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateDepthStencilState(const D3D11_DEPTH_STENCIL_DESC*,
                                                      ID3D11DepthStencilState**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateRasterizerState(const D3D11_RASTERIZER_DESC*, ID3D11RasterizerState**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateSamplerState(const D3D11_SAMPLER_DESC*, ID3D11SamplerState**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateQuery(const D3D11_QUERY_DESC*, ID3D11Query**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreatePredicate(const D3D11_QUERY_DESC*, ID3D11Predicate**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateCounter(const D3D11_COUNTER_DESC*, ID3D11Counter**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateDeferredContext(UINT, ID3D11DeviceContext**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenSharedResource(HANDLE, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckFormatSupport(DXGI_FORMAT, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckMultisampleQualityLevels(DXGI_FORMAT, UINT, UINT*) override { return E_NOTIMPL; }
    void STDMETHODCALLTYPE CheckCounterInfo(D3D11_COUNTER_INFO*) override {}
    HRESULT STDMETHODCALLTYPE CheckCounter(const D3D11_COUNTER_DESC*, D3D11_COUNTER_TYPE*, UINT*, LPSTR, UINT*, LPSTR,
                                           UINT*, LPSTR, UINT*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CheckFeatureSupport(D3D11_FEATURE, void*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }
    D3D_FEATURE_LEVEL STDMETHODCALLTYPE GetFeatureLevel() override { return D3D_FEATURE_LEVEL_11_0; }
    UINT STDMETHODCALLTYPE GetCreationFlags() override { return 0; }
    HRESULT STDMETHODCALLTYPE GetDeviceRemovedReason() override { return S_OK; }
    void STDMETHODCALLTYPE GetImmediateContext(ID3D11DeviceContext** context) override { *context = nullptr; }
    HRESULT STDMETHODCALLTYPE SetExceptionMode(UINT) override { return E_NOTIMPL; }
    UINT STDMETHODCALLTYPE GetExceptionMode() override { return 0; }

private:
    void Record(int dimension, const D3D11_SUBRESOURCE_DATA* data, UINT entries)
    {
        ++calls;
        lastDimension = dimension;
        initialData.assign(data, data + entries);
    }
};
