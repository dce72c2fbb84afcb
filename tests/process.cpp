// Every test process: its own empty GL shader cache, and the window closed before exit.
//
// Mesa keeps compiled shaders in a cache folder under the user's home and, while the GL screen
// lives, runs a cache-writing thread beside llvmpipe's rasterizer and compute threads. A test
// that ends with its window open leaves all of them to exit handlers: Mesa's stops the cache
// thread while LeakSanitizer's own handler stops the world and scans every thread. Closing the
// window at the end of the process joins Mesa's threads first, so that the leak check sees only
// the main thread; and a cache of the process's own makes a run independent of what earlier runs
// (or the show) left in the home folder: every process starts cold.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class ProcessEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        char name[] = "/tmp/zrxcacheXXXXXX";
        if (mkdtemp(name) == nullptr) std::abort();
        cache = name;
        setenv("MESA_SHADER_CACHE_DIR", cache.c_str(), 1);
    }
    void TearDown() override {
        if (SDL_WasInit(SDL_INIT_EVERYTHING) != 0) SDL_Quit();
        std::error_code ignored;
        std::filesystem::remove_all(cache, ignored);
    }

  private:
    std::string cache;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new ProcessEnvironment);

} // namespace
