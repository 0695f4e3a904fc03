#pragma once

#include "platform/window.h"

#include <d3d11.h>

#include <cstdint>
#include <vector>

class Camera;
struct MeshObject;

// The application: the window with its device, and the scene it draws.
class Engine {
public:
    Engine(std::int32_t width, std::int32_t height);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Builds the scene, starts the music and runs the message loop; returns
    // the exit code carried by the quit message.
    int Run();

    // Whether the window and every device reference exist; without them
    // nothing can be drawn.
    bool CanRender() const;

    // Points `device` at the window's device without owning it.
    void BorrowDevice();

    // The scene set-up: camera, materials, the cube and pyramid objects and
    // the ten scene entries.
    void SetUpScene();

    // Draws and presents the frame of time t (seconds).
    void RenderFrame(float t);
    // The frame without its presentation.
    void DrawFrame(float t);

    Window window;
    ID3D11Device* device = nullptr;  // not owning: the window's graphics holds it
    std::vector<MeshObject*> scene;  // entry 0 the cube, 1 to 9 the one pyramid object
    Camera* camera = nullptr;

private:
    void ReleaseScene();
};
