// The fixed GL state of the whole run, the loading image, the light, and presenting a frame.
#include "show/stage.h"

#include "assets/assets.h"
#include "show/show.h"
#include "show/showwindow.h"

#include <GL/gl.h>

#include <cmath>

Texture* loadingImage = nullptr;

namespace {

const ShowWindow* window = nullptr;

// Multiplies the current matrix by a perspective projection, in the same double arithmetic as
// GLU's gluPerspective (which the browser lacks), so the floats the GL keeps are the same.
void perspective(double fovyDegrees, double aspect, double zNear, double zFar) {
    const double radians = fovyDegrees / 2 * M_PI / 180;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    const double cotangent = std::cos(radians) / sine;
    GLfloat m[16] = {}; // column-major
    m[0] = GLfloat(cotangent / aspect);
    m[5] = GLfloat(cotangent);
    m[10] = GLfloat(-(zFar + zNear) / deltaZ);
    m[11] = -1;
    m[14] = GLfloat(-2 * zNear * zFar / deltaZ);
    glMultMatrixf(m);
}

} // namespace

void setShowWindow(const ShowWindow* opened) {
    window = opened;
}

const ShowWindow* showWindow() {
    return window;
}

bool initGLState(int viewportWidth, int viewportHeight) {
    glViewport(0, 0, viewportWidth, viewportHeight); // not the window's: the show's picture
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    perspective(45.0, double(showWidth) / showHeight, 0.1f, 200.0);
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
    if (window != nullptr) window->present();
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
