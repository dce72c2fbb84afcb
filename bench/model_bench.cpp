// The OBJ and MTL readers in MB/s on generated files, and the per-vertex cost of stretching and
// drawing a model in immediate mode on the GL of the current X display.
//
// Run from the source root to include the show's own model, data/Drusk/Drusk.obj.
#include "app/window.h"
#include "show/stage.h"
#include "assets/assets.h"
#include "bench/bench.h"

#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

// About a million faces: 708 x 708 cells, two triangles each.
constexpr int largeSide = 708;
// A model for drawing, about four times the show's largest.
constexpr int drawSide = 100;
constexpr int materialCount = 100000;

std::string scratchDirectory() {
    static const std::string dir = [] {
        char name[] = "/tmp/zrxbenchXXXXXX";
        if (mkdtemp(name) == nullptr) std::abort();
        return std::string(name);
    }();
    return dir;
}

const GeneratedModel& largeModel() {
    static const GeneratedModel model =
        writeGridModel(scratchDirectory(), "large", largeSide, 64, 8);
    return model;
}

const GeneratedModel& drawModel() {
    static const GeneratedModel model = writeGridModel(scratchDirectory(), "draw", drawSide, 8, 4);
    return model;
}

const std::string& materialLibrary(size_t* bytes) {
    static size_t size = 0;
    static const std::string path = [] {
        const std::string p = scratchDirectory() + "/many.mtl";
        size = writeMaterialLibrary(p, materialCount);
        return p;
    }();
    *bytes = size;
    return path;
}

void objRead(benchmark::State& state) {
    const GeneratedModel& file = largeModel();
    for (auto _ : state) {
        auto model = std::make_unique<Model>(file.objPath);
        benchmark::DoNotOptimize(model->groups.data());
        state.PauseTiming(); // freeing a million faces is not part of reading them
        model.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(file.objBytes) * state.iterations());
    state.counters["per face"] = double(file.faces);
    state.SetLabel(std::to_string(file.faces) + " faces, " +
                   std::to_string(file.objBytes / 1000000) + " MB");
}
BENCHMARK(objRead)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void mtlRead(benchmark::State& state) {
    size_t bytes = 0;
    const std::string& path = materialLibrary(&bytes);
    for (auto _ : state) {
        Model model("");
        model.loadMaterials(path);
        benchmark::DoNotOptimize(model.materials.data());
        state.PauseTiming();
        model.materials.clear();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(bytes) * state.iterations());
    state.counters["per material"] = materialCount;
    state.SetLabel(std::to_string(materialCount) + " materials, " +
                   std::to_string(bytes / 1000000) + " MB");
}
BENCHMARK(mtlRead)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Without GL: the stretch alone, undone by a stretch back since draw() needs a context.
void applyScaleOnly(benchmark::State& state) {
    Model model(drawModel().objPath);
    for (auto _ : state) {
        model.applyScale(1.25f, 1, 1.5f);
        model.scaled = false;
        model.applyScale(0.8f, 1, 1 / 1.5f);
        model.scaled = false;
    }
    state.counters["per position"] = 2.0 * model.vertices.size();
}
BENCHMARK(applyScaleOnly)->Unit(benchmark::kMicrosecond)->UseRealTime();

// ---- Drawing --------------------------------------------------------------------------------

// The show's window and GL state, the light placed as start-up places it.
bool openGLWindow() {
    static const bool open = [] {
        if (!std::getenv("DISPLAY") || !openWindow(1280, 720, false)) return false;
        initImageLibrary();
        initGLState();
        glLoadIdentity();
        glTranslatef(0, 0, -1.81f);
        setupLights();
        return true;
    }();
    return open;
}

// The model layer's GL state and transform at 10 s of music time.
void modelLayerState() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.5f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LIGHTING);
    glDisable(GL_COLOR_MATERIAL);
    glLoadIdentity();
    glTranslatef(0, 0, -21.81f);
    glRotatef(1500, 1, 0, 0);
    glRotatef(1000, 0, 1, 0);
    glRotatef(100, 0, 0, 1);
}

// Corners sent to GL by one draw(): the opaque pass and the full pass.
double cornersDrawn(const Model& model) {
    double opaque = 0, all = 0;
    for (const auto& group : model.groups)
        for (const auto& face : group->faces) {
            all += face->vertexCount;
            if (face->material == nullptr || face->material->dissolve >= 1.0f)
                opaque += face->vertexCount;
        }
    return opaque + all;
}

// `finish`: wait for the GL to have drawn it all, or time only the calls.
void stretchAndDraw(benchmark::State& state, const std::string& path, bool finish) {
    if (!openGLWindow()) {
        state.SkipWithError("no X display");
        return;
    }
    if (!std::filesystem::exists(path)) {
        state.SkipWithError(("no " + path).c_str());
        return;
    }
    Model model(path);
    modelLayerState();
    for (auto _ : state) {
        model.applyScale(1.2f, 1, 1.4f);
        model.draw();
        if (finish) glFinish();
    }
    glFinish();
    size_t faces = 0;
    for (const auto& group : model.groups)
        faces += group->faces.size();
    state.SetLabel(std::to_string(faces) + " faces, " + (finish ? "with glFinish" : "calls only"));
    state.counters["per corner"] = cornersDrawn(model);
    state.counters["per position"] = double(model.vertices.size());
}

void drawGrid(benchmark::State& state) {
    stretchAndDraw(state, drawModel().objPath, state.range(0) != 0);
}
BENCHMARK(drawGrid)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

void drawDrusk(benchmark::State& state) {
    stretchAndDraw(state, "data/Drusk/Drusk.obj", state.range(0) != 0);
}
BENCHMARK(drawDrusk)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    const int result = runBenchmarks(argc, argv, "model");
    std::error_code ignored;
    std::filesystem::remove_all(scratchDirectory(), ignored);
    return result;
}
