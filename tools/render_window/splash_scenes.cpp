// The launch screen at moments of its entrance and fade (one fixed arrangement of the field).
#include "scene.h"

#include "state/app_state.h"

namespace {
Scene splashAt(double seconds, const char *description, bool withFolders = false)
{
    Scene scene;
    scene.name = QStringLiteral("splash-%1s").arg(seconds);
    scene.description = QString::fromLatin1(description);
    if (withFolders)
        scene.setup = [](SceneContext &c) { c.state.addFolders(c.makeSampleFolders()); };
    scene.withSplash = true;
    scene.clockAfterSetup = seconds;
    return scene;
}

const SceneRegistration splashScenes{
    splashAt(0, "the splash as it appears: backdrop only, every shape still invisible"),
    splashAt(1, "the splash at 1 s: shapes fading in, name and glow on their way"),
    splashAt(2.5, "the splash at 2.5 s: the entrance complete"),
    splashAt(5, "the splash at 5 s: halfway through its fade over twelve folders", true),
};
} // namespace
