#pragma once

#include "scene/track_player.h"

#include <vector>

class Camera;
class Graphics;
struct MeshObject;

// The frame of time t (seconds) into the graphics' current target: the
// clears, the camera's step and the 37 draws, with the tracks' values at t
// (the free ones handed to every shader). The demo and the capture program
// both draw through this, so their frames cannot differ.
void DrawSceneFrame(Graphics& graphics, Camera& camera, const std::vector<MeshObject*>& scene, float t,
                    const TrackValues& tracks = {});
