#include "app/engine.h"
#include "app/frame_transforms.h"
#include "app/render_frame.h"
#include "render/camera.h"
#include "render/mesh_object.h"

void Engine::RenderFrame(float t)
{
    // No graphics is left only after a failed recovery, whose quit is queued.
    if (!window.graphics) {
        return;
    }
    if (occlusion.occluded) {
        WaitWhileOccluded();
        return;
    }
    DrawFrame(t);
    ActOnPresent(present(*window.graphics->swapChain.Get(), 1, 0));
}

void Engine::DrawFrame(float t)
{
    // Escape ends the program, but this frame is still drawn and presented.
    if (window.keyboard.keyStates.test(VK_ESCAPE)) {
        PostQuitMessage(0);
    }

    DrawSceneFrame(*window.graphics, *camera, scene, t);
}

void DrawSceneFrame(Graphics& graphics, Camera& camera, const std::vector<MeshObject*>& scene, float t)
{
    const ClearColour clear = FrameClearColour(t);
    graphics.context->ClearRenderTargetView(graphics.renderTargetView.Get(), clear.rgba);
    graphics.context->ClearDepthStencilView(graphics.depthStencilView.Get(), D3D11_CLEAR_DEPTH, 1.0f, 0);

    const EyePosition eye = FrameEyePosition(t);
    camera.MoveTo(eye.x, eye.y, eye.z);

    for (const ObjectPlacement& placement : FramePlacements(t)) {
        graphics.DrawObject(*scene[placement.sceneEntry], camera, placement.yaw, placement.pitch, placement.x,
                            placement.y, placement.z, placement.time);
    }
}
