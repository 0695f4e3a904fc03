// Draws the frame the live program shows at a music time that stands still,
// offscreen as the capture program draws, at each size given, and writes it as
// reference-WxH.bgra (BGRA, top row first) into the current folder, which must
// be a run folder. Usage: offscreen_frame.exe SECONDS WxH [WxH ...]
#include "render/camera.h"
#include "render/graphics.h"
#include "scene/com_apartment.h"
#include "scene/draw_scene_frame.h"
#include "scene/scene_objects.h"
#include "tests/support/read_back.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: offscreen_frame.exe SECONDS WxH [WxH ...]\n", stderr);
        return 2;
    }
    ComApartment com;
    const float t = std::strtof(argv[1], nullptr);
    for (int i = 2; i < argc; ++i) {
        unsigned width = 0;
        unsigned height = 0;
        if (std::sscanf(argv[i], "%ux%u", &width, &height) != 2 || width == 0 || height == 0) {
            std::fprintf(stderr, "not a size: %s\n", argv[i]);
            return 2;
        }
        Graphics graphics(width, height);
        if (!graphics.depthStencilView) {
            std::fprintf(stderr, "no device for %ux%u\n", width, height);
            return 1;
        }
        SceneObjects objects(graphics.device.Get());
        Camera camera(width, height, nullptr);
        // With the time standing still, the view has caught up with the
        // camera's position from the second frame on.
        DrawSceneFrame(graphics, camera, objects.Entries(), t);
        DrawSceneFrame(graphics, camera, objects.Entries(), t);
        const ReadBackImage image =
            ReadBack(graphics.device.Get(), graphics.context.Get(), graphics.renderTargetView.Get());
        const std::string name = "reference-" + std::to_string(width) + "x" + std::to_string(height) + ".bgra";
        FILE* file = std::fopen(name.c_str(), "wb");
        const bool written =
            file != nullptr && std::fwrite(image.bytes.data(), 1, image.bytes.size(), file) == image.bytes.size();
        if (file != nullptr) {
            std::fclose(file);
        }
        if (!written || image.bytes.empty()) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
