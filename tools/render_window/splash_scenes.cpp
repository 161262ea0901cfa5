// The launch screen at moments of its entrance and fade (one fixed arrangement of the field).
#include "scene.h"

#include "shell/main_window.h"
#include "splash/splash_scene_view.h"
#include "state/app_state.h"

namespace {
Scene splashAt(double seconds, const char *description, bool withFolders = false)
{
    Scene scene;
    scene.name = QStringLiteral("splash-%1s").arg(seconds);
    scene.description = QString::fromLatin1(description);
    scene.setup = [seconds, withFolders](SceneContext &c) {
        if (withFolders)
            c.wait(c.state.addFolders(c.makeSampleFolders()));
        c.advance(seconds);
        // OpenGL frames arrive a little after they are asked for: give the renderer time to
        // deliver one for this moment, so the picture does not show an earlier one.
        const auto *field = c.window.findChild<SplashSceneView *>();
        if (field && field->usesOpenGL())
            c.settle(600);
    };
    scene.withSplash = true;
    scene.clockAfterSetup = 0;
    return scene;
}

const SceneRegistration splashScenes{
    splashAt(0, "the splash as it appears: backdrop only, every shape still invisible"),
    splashAt(1, "the splash at 1 s: shapes fading in, name and glow on their way"),
    splashAt(2.5, "the splash at 2.5 s: the entrance complete"),
    splashAt(5, "the splash at 5 s: halfway through its fade over twelve folders", true),
};
} // namespace
