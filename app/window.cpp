// Window, GL context, the fixed GL state of the whole run, the loading image and the light.
#include "app/window.h"

#include "assets/assets.h"
#include "base/failure.h"
#include "show/show.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL.h>

Texture* loadingImage = nullptr;

namespace {

bool windowOpen = false; // SDL has a video surface to swap

} // namespace

bool openWindow(int width, int height, bool fullScreen) {
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        failureMessage("Unable to initialize SDL!");
        return false;
    }
    const Uint32 flags = fullScreen ? (SDL_FULLSCREEN | SDL_OPENGL) : SDL_OPENGL;
    // Many drivers offer no 8-sample visual; fewer samples, or none, still run the show.
    static const int sampleTries[] = {8, 4, 2, 0};
    for (int samples : sampleTries) {
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0);
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples);
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
        if (SDL_SetVideoMode(width, height, 0, flags) != nullptr) {
            windowOpen = true;
            SDL_ShowCursor(SDL_DISABLE);
            return true;
        }
    }
    failureMessage("Unable to open screen!");
    return false;
}

bool initGLState(int viewportWidth, int viewportHeight) {
    glViewport(0, 0, viewportWidth, viewportHeight); // not the window's: the show's picture
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, double(showWidth) / showHeight, 0.1f, 200.0);
    glMatrixMode(GL_MODELVIEW); // current for the rest of the run

    glShadeModel(GL_SMOOTH);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    return true;
}

// The loading image on the show's full-screen image quad.
bool showLoadingScreen() {
    loadingImage = new Texture("Data/PlinketaLoading.png");

    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    beginLayerGroup(); // leaves the modelview at the image plane, where setupLights() needs it
    drawImageLayer(loadingImage);
    presentFrame();
    return true;
}

void presentFrame() {
    glFlush();
    if (windowOpen) SDL_GL_SwapBuffers();
}

void setupLights() {
    static const GLfloat ambient[] = {0.1f, 0.1f, 0.1f, 1};
    static const GLfloat diffuse[] = {0.5f, 0.5f, 0.5f, 1};
    static const GLfloat specular[] = {0.9f, 0.9f, 0.9f, 1};
    static const GLfloat position[] = {-10.5f, 10, -2, 1}; // positional

    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    // Given under the loading screen's modelview (z - 1.81), so the light stands at
    // (-10.5, 10, -3.81) in eye space for the whole run, whatever the models do.
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glEnable(GL_COLOR_MATERIAL);
}
