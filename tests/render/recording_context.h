#pragma once

#include <d3d11.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// A stand-in immediate context that records the binding and drawing calls
// the draw makes, in order, and does nothing else. Any other call is
// recorded as unexpected.
typedef enum ContextCallKind {
    CallIASetVertexBuffers,
    CallIASetIndexBuffer,
    CallPSSetShader,
    CallVSSetShader,
    CallVSSetConstantBuffers,
    CallPSSetConstantBuffers,
    CallPSSetShaderResources,
    CallPSSetSamplers,
    CallIASetInputLayout,
    CallDrawIndexed,
    CallUnexpected,
} ContextCallKind;

typedef struct ContextCall {
    ContextCallKind kind;
    const void* object;  // the bound object (first one for array calls)
    unsigned first;      // start slot, format or index count
    unsigned second;     // number of objects, stride, or start index
    unsigned third;      // offset or base vertex
} ContextCall;

// A new recording context holding one reference; the record starts empty.
ID3D11DeviceContext* CreateRecordingContext(void);
size_t RecordedCallCount(void);
const ContextCall* RecordedCalls(void);
void ClearRecordedCalls(void);

#ifdef __cplusplus
}
#endif
