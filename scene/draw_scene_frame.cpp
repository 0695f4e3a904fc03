#include "scene/draw_scene_frame.h"

#include "render/camera.h"
#include "render/graphics.h"
#include "render/mesh_object.h"
#include "scene/frame_transforms.h"

void DrawSceneFrame(Graphics& graphics, Camera& camera, const std::vector<MeshObject*>& scene, float t,
                    const TrackValues& tracks)
{
    const ClearColour clear = FrameClearColour(t, tracks);
    graphics.context->ClearRenderTargetView(graphics.renderTargetView.Get(), clear.rgba);
    graphics.context->ClearDepthStencilView(graphics.depthStencilView.Get(), D3D11_CLEAR_DEPTH, 1.0f, 0);

    const EyePosition eye = FrameEyePosition(t, tracks);
    camera.MoveTo(eye.x, eye.y, eye.z);

    graphics.BindFreeTracks(tracks.free);
    for (const ObjectPlacement& placement : FramePlacements(t, tracks)) {
        graphics.DrawObject(*scene[placement.sceneEntry], camera, placement.yaw, placement.pitch, placement.x,
                            placement.y, placement.z, placement.time);
    }
}
