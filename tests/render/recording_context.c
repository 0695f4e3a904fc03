// Written in C to fill the context's table of operations by name.
#include "tests/render/recording_context.h"

#include <stdlib.h>
#include <string.h>

enum { MaxCalls = 64 };

static ContextCall calls[MaxCalls];
static size_t callCount;

static void Record(ContextCallKind kind, const void* object, unsigned first, unsigned second, unsigned third)
{
    if (callCount < MaxCalls) {
        ContextCall call = {kind, object, first, second, third};
        calls[callCount++] = call;
    }
}

typedef struct RecordingContext {
    ID3D11DeviceContextVtbl* lpVtbl;
    LONG references;
} RecordingContext;

static HRESULT STDMETHODCALLTYPE QueryInterface(ID3D11DeviceContext* self, REFIID riid, void** object)
{
    (void)self;
    (void)riid;
    *object = NULL;
    return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE AddRef(ID3D11DeviceContext* self)
{
    return (ULONG)InterlockedIncrement(&((RecordingContext*)self)->references);
}

static ULONG STDMETHODCALLTYPE Release(ID3D11DeviceContext* self)
{
    const LONG left = InterlockedDecrement(&((RecordingContext*)self)->references);
    if (left == 0) {
        free(self);
    }
    return (ULONG)left;
}

// Stands in for every operation the draw is not expected to call. All
// operations share one calling convention on x64, so a stand-in without
// arguments can take any of their places.
static void STDMETHODCALLTYPE Unexpected(void)
{
    Record(CallUnexpected, NULL, 0, 0, 0);
}

static void STDMETHODCALLTYPE IASetVertexBuffers(ID3D11DeviceContext* self, UINT slot, UINT count,
                                                 ID3D11Buffer* const* buffers, const UINT* strides, const UINT* offsets)
{
    (void)self;
    Record(CallIASetVertexBuffers, buffers[0], slot, strides[0], offsets[0]);
    (void)count;
}

static void STDMETHODCALLTYPE IASetIndexBuffer(ID3D11DeviceContext* self, ID3D11Buffer* buffer, DXGI_FORMAT format,
                                               UINT offset)
{
    (void)self;
    Record(CallIASetIndexBuffer, buffer, (unsigned)format, 0, offset);
}

static void STDMETHODCALLTYPE PSSetShader(ID3D11DeviceContext* self, ID3D11PixelShader* shader,
                                          ID3D11ClassInstance* const* instances, UINT instanceCount)
{
    (void)self;
    Record(CallPSSetShader, shader, instances != NULL, instanceCount, 0);
}

static void STDMETHODCALLTYPE VSSetShader(ID3D11DeviceContext* self, ID3D11VertexShader* shader,
                                          ID3D11ClassInstance* const* instances, UINT instanceCount)
{
    (void)self;
    Record(CallVSSetShader, shader, instances != NULL, instanceCount, 0);
}

static void STDMETHODCALLTYPE VSSetConstantBuffers(ID3D11DeviceContext* self, UINT slot, UINT count,
                                                   ID3D11Buffer* const* buffers)
{
    (void)self;
    Record(CallVSSetConstantBuffers, buffers[0], slot, count, 0);
}

static void STDMETHODCALLTYPE PSSetConstantBuffers(ID3D11DeviceContext* self, UINT slot, UINT count,
                                                   ID3D11Buffer* const* buffers)
{
    (void)self;
    Record(CallPSSetConstantBuffers, buffers[0], slot, count, 0);
}

static void STDMETHODCALLTYPE PSSetShaderResources(ID3D11DeviceContext* self, UINT slot, UINT count,
                                                   ID3D11ShaderResourceView* const* views)
{
    (void)self;
    Record(CallPSSetShaderResources, views[0], slot, count, 0);
}

static void STDMETHODCALLTYPE PSSetSamplers(ID3D11DeviceContext* self, UINT slot, UINT count,
                                            ID3D11SamplerState* const* samplers)
{
    (void)self;
    Record(CallPSSetSamplers, samplers[0], slot, count, 0);
}

static void STDMETHODCALLTYPE IASetInputLayout(ID3D11DeviceContext* self, ID3D11InputLayout* layout)
{
    (void)self;
    Record(CallIASetInputLayout, layout, 0, 0, 0);
}

static void STDMETHODCALLTYPE DrawIndexed(ID3D11DeviceContext* self, UINT indexCount, UINT startIndex, INT baseVertex)
{
    (void)self;
    Record(CallDrawIndexed, NULL, indexCount, startIndex, (unsigned)baseVertex);
}

static ID3D11DeviceContextVtbl* Operations(void)
{
    static ID3D11DeviceContextVtbl operations;
    static int filled;
    if (!filled) {
        void(STDMETHODCALLTYPE * *entry)(void) = (void(STDMETHODCALLTYPE**)(void)) & operations;
        for (size_t i = 0; i < sizeof(operations) / sizeof(*entry); ++i) {
            entry[i] = Unexpected;
        }
        operations.QueryInterface = QueryInterface;
        operations.AddRef = AddRef;
        operations.Release = Release;
        operations.IASetVertexBuffers = IASetVertexBuffers;
        operations.IASetIndexBuffer = IASetIndexBuffer;
        operations.PSSetShader = PSSetShader;
        operations.VSSetShader = VSSetShader;
        operations.VSSetConstantBuffers = VSSetConstantBuffers;
        operations.PSSetConstantBuffers = PSSetConstantBuffers;
        operations.PSSetShaderResources = PSSetShaderResources;
        operations.PSSetSamplers = PSSetSamplers;
        operations.IASetInputLayout = IASetInputLayout;
        operations.DrawIndexed = DrawIndexed;
        filled = 1;
    }
    return &operations;
}

ID3D11DeviceContext* CreateRecordingContext(void)
{
    RecordingContext* context = (RecordingContext*)malloc(sizeof(RecordingContext));
    if (context == NULL) {
        return NULL;
    }
    context->lpVtbl = Operations();
    context->references = 1;
    return (ID3D11DeviceContext*)context;
}

size_t RecordedCallCount(void)
{
    return callCount;
}

const ContextCall* RecordedCalls(void)
{
    return calls;
}

void ClearRecordedCalls(void)
{
    memset(calls, 0, sizeof(calls));
    callCount = 0;
}
