// Fuzz target: the MTL reader on any file. Map lines are loaded through the image library;
// without a GL context the GL calls do nothing, so a map never gets a GL texture.
#include "assets/assets.h"
#include "tests/fuzz/fuzz_support.h"

#include <IL/il.h>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ilInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (namesOtherFiles(data, size, "lib.mtl")) return 0;
    const std::string path = writeFuzzInput("lib.mtl", data, size);
    Model model("");
    const long messagesBefore = failureMessages;
    model.loadMaterials(path);
    long maps = 0;
    for (const auto& m : model.materials) {
        for (const Texture* map :
             {m->mapAmbient.get(), m->mapDiffuse.get(), m->mapSpecular.get(), m->mapEmission.get(),
              m->mapShininess.get(), m->mapDissolve.get(), m->mapBump.get()}) {
            if (!map) continue;
            ++maps;
            // No file the input can name is a picture, so every map failed, let its decoded
            // image go, and said so.
            require(map->glName == 0 && map->imageName == 0, "a map keeps an image or texture");
        }
    }
    require(failureMessages - messagesBefore >= maps, "a map failed without a message");
    model.clear();
    require(model.materials.empty(), "clear() empties the materials");
    return 0;
}
