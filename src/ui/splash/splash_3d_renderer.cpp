#include "splash/splash_3d_renderer.h"

#include "splash/rounded_box_geometry.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <Qt3DCore/QAspectEngine>
#include <Qt3DCore/QAttribute>
#include <Qt3DCore/QBuffer>
#include <Qt3DCore/QEntity>
#include <Qt3DCore/QGeometry>
#include <Qt3DCore/QTransform>
#include <Qt3DExtras/QCylinderMesh>
#include <Qt3DExtras/QDiffuseSpecularMaterial>
#include <Qt3DExtras/QSphereMesh>
#include <Qt3DExtras/QTorusMesh>
#include <Qt3DRender/QBlendEquationArguments>
#include <Qt3DRender/QCamera>
#include <Qt3DRender/QCameraSelector>
#include <Qt3DRender/QClearBuffers>
#include <Qt3DRender/QCullFace>
#include <Qt3DRender/QDirectionalLight>
#include <Qt3DRender/QEffect>
#include <Qt3DRender/QGeometryRenderer>
#include <Qt3DRender/QGraphicsApiFilter>
#include <Qt3DRender/QLayer>
#include <Qt3DRender/QLayerFilter>
#include <Qt3DRender/QMaterial>
#include <Qt3DRender/QNoDraw>
#include <Qt3DRender/QParameter>
#include <Qt3DRender/QRenderAspect>
#include <Qt3DRender/QRenderCapture>
#include <Qt3DRender/QRenderPass>
#include <Qt3DRender/QRenderSettings>
#include <Qt3DRender/QRenderStateSet>
#include <Qt3DRender/QRenderSurfaceSelector>
#include <Qt3DRender/QRenderTarget>
#include <Qt3DRender/QRenderTargetOutput>
#include <Qt3DRender/QRenderTargetSelector>
#include <Qt3DRender/QShaderProgram>
#include <Qt3DRender/QSortPolicy>
#include <Qt3DRender/QTechnique>
#include <Qt3DRender/QTexture>
#include <Qt3DRender/QViewport>

#include <algorithm>
#include <optional>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

using namespace Qt3DCore;
using namespace Qt3DRender;

namespace {

/// Frames start at most ~30 times a second, and never sooner after the last one started than
/// twice what it took: a software renderer then keeps half its time free for the window.
constexpr qint64 minimumFrameIntervalMs = 33;
constexpr int samples = 4;                  // the resolve shader averages this many

/// Light strengths are given where 1000 is a light's full default output; Qt 3D's lights and the
/// ambient colour take them times this exposure. Chosen by eye so the field reads as dim
/// translucent shapes with violet highlights over the near-black backdrop: the grey surfaces stay
/// dark, the violet key light's highlights saturate.
constexpr float exposure = 8.0f;
/// Shininess 0…1 scales a Phong exponent: 0.4 gives a broad, soft highlight, as the material's
/// high roughness suggests.
constexpr float shininessScale = 32.0f;

QColor scaled(const QColor &colour, float factor, float alpha = 1.0f)
{
    return QColor::fromRgbF(std::min(1.0f, colour.redF() * factor), std::min(1.0f, colour.greenF() * factor),
                            std::min(1.0f, colour.blueF() * factor), alpha);
}

QGeometryRenderer *roundedBoxRenderer(const SplashScene::Shape &shape, QNode *parent)
{
    const RoundedBoxMesh mesh = buildRoundedBox(shape.boxSize, shape.chamferRadius);

    QByteArray vertexBytes;
    vertexBytes.resize(qsizetype(mesh.positions.size() * 6 * sizeof(float)));
    auto *vertex = reinterpret_cast<float *>(vertexBytes.data());
    for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
        const QVector3D &p = mesh.positions[i];
        const QVector3D &n = mesh.normals[i];
        *vertex++ = p.x(); *vertex++ = p.y(); *vertex++ = p.z();
        *vertex++ = n.x(); *vertex++ = n.y(); *vertex++ = n.z();
    }
    QByteArray indexBytes(reinterpret_cast<const char *>(mesh.indices.data()),
                          qsizetype(mesh.indices.size() * sizeof(std::uint32_t)));

    auto *renderer = new QGeometryRenderer(parent);
    auto *geometry = new QGeometry(renderer);
    auto *vertexBuffer = new Qt3DCore::QBuffer(geometry);
    vertexBuffer->setData(vertexBytes);
    auto *indexBuffer = new Qt3DCore::QBuffer(geometry);
    indexBuffer->setData(indexBytes);

    const auto vertexCount = uint(mesh.positions.size());
    constexpr uint stride = 6 * sizeof(float);
    auto *position = new QAttribute(vertexBuffer, QAttribute::defaultPositionAttributeName(), QAttribute::Float, 3,
                                    vertexCount, 0, stride, geometry);
    auto *normal = new QAttribute(vertexBuffer, QAttribute::defaultNormalAttributeName(), QAttribute::Float, 3,
                                  vertexCount, 3 * sizeof(float), stride, geometry);
    auto *index = new QAttribute(geometry);
    index->setAttributeType(QAttribute::IndexAttribute);
    index->setVertexBaseType(QAttribute::UnsignedInt);
    index->setBuffer(indexBuffer);
    index->setCount(uint(mesh.indices.size()));
    geometry->addAttribute(position);
    geometry->addAttribute(normal);
    geometry->addAttribute(index);
    geometry->setBoundingVolumePositionAttribute(position);

    renderer->setGeometry(geometry);
    renderer->setPrimitiveType(QGeometryRenderer::Triangles);
    return renderer;
}

/// A shared mesh for one template shape, in the description's axis conventions.
struct TemplateShape
{
    QComponent *mesh = nullptr;
    QMatrix4x4 orientation; ///< turns Qt's mesh into the description's frame
};

TemplateShape templateShape(const SplashScene::Shape &shape, QNode *parent)
{
    TemplateShape result;
    switch (shape.kind) {
    case SplashScene::ShapeKind::roundedBox:
        result.mesh = roundedBoxRenderer(shape, parent);
        break;
    case SplashScene::ShapeKind::sphere: {
        auto *sphere = new Qt3DExtras::QSphereMesh(parent);
        sphere->setRadius(shape.radius);
        sphere->setRings(24);
        sphere->setSlices(32);
        result.mesh = sphere;
        break;
    }
    case SplashScene::ShapeKind::cylinder: {
        // Qt's cylinder already stands along y, like the description's.
        auto *cylinder = new Qt3DExtras::QCylinderMesh(parent);
        cylinder->setRadius(shape.radius);
        cylinder->setLength(shape.height);
        cylinder->setRings(2);
        cylinder->setSlices(32);
        result.mesh = cylinder;
        break;
    }
    case SplashScene::ShapeKind::torus: {
        // Qt's torus lies in the xy plane around z; the description's ring lies in xz around y.
        auto *torus = new Qt3DExtras::QTorusMesh(parent);
        torus->setRadius(shape.ringRadius);
        torus->setMinorRadius(shape.pipeRadius);
        torus->setRings(40);
        torus->setSlices(16);
        result.mesh = torus;
        result.orientation.rotate(90.0f, 1.0f, 0.0f, 0.0f);
        break;
    }
    }
    return result;
}

/// The format of a context of at least `major`.`minor` that can be made current on `surface`, if
/// one can be made. With `requireCore`, a context that is not really of the core profile (some
/// platforms hand out a compatibility context whatever is asked) counts as none.
std::optional<QSurfaceFormat> probeContext(QSurfaceFormat format, int major, int minor, bool requireCore,
                                           QOffscreenSurface *surface)
{
    format.setVersion(major, minor);
    format.setProfile(QSurfaceFormat::CoreProfile);
    QOpenGLContext probe;
    probe.setFormat(format);
    if (!probe.create() || !probe.makeCurrent(surface))
        return std::nullopt;
    const QSurfaceFormat made = probe.format();
    GLint profile = 0;
    constexpr GLenum contextProfileMask = 0x9126; // GL_CONTEXT_PROFILE_MASK
    constexpr GLint coreProfileBit = 0x1;          // GL_CONTEXT_CORE_PROFILE_BIT
    probe.functions()->glGetIntegerv(contextProfileMask, &profile);
    probe.doneCurrent();
    if (made.version() < qMakePair(major, minor) || (requireCore && !(profile & coreProfileBit)))
        return std::nullopt;
    return made;
}

/// A render target whose colour attachment is `texture`.
QRenderTarget *colourTarget(QNode *parent, QAbstractTexture *texture)
{
    auto *target = new QRenderTarget(parent);
    auto *output = new QRenderTargetOutput(target);
    output->setAttachmentPoint(QRenderTargetOutput::Color0);
    texture->setParent(output);
    output->setTexture(texture);
    target->addOutput(output);
    return target;
}

/// A branch of the frame graph that clears `target` to transparent and draws, through `camera`,
/// the entities `layer` lets through in `mode`. Returns the branch's last node.
QFrameGraphNode *clearedPass(QFrameGraphNode *parent, QRenderTarget *target, QCamera *camera, QLayer *layer,
                             QLayerFilter::FilterMode mode)
{
    auto *selector = new QRenderTargetSelector(parent);
    selector->setTarget(target);
    auto *viewport = new QViewport(selector);
    viewport->setNormalizedRect(QRectF(0, 0, 1, 1));
    auto *cameraSelector = new QCameraSelector(viewport);
    cameraSelector->setCamera(camera);
    auto *filter = new QLayerFilter(cameraSelector);
    filter->addLayer(layer);
    filter->setFilterMode(mode);
    auto *clear = new QClearBuffers(filter);
    clear->setBuffers(QClearBuffers::ColorBuffer);
    clear->setClearColor(Qt::transparent);
    return clear;
}

/// The material blends straight alpha over what is behind it; the alpha channel must accumulate
/// coverage (1·src + (1−src)·dst) rather than be blended like a colour, so the frame comes out as
/// premultiplied colour with a true alpha over a transparent background.
void blendAlphaAsCoverage(QMaterial *material)
{
    const auto techniques = material->effect()->techniques();
    for (QTechnique *technique : techniques) {
        const auto passes = technique->renderPasses();
        for (QRenderPass *pass : passes) {
            const auto states = pass->renderStates();
            for (QRenderState *state : states) {
                if (auto *blend = qobject_cast<QBlendEquationArguments *>(state)) {
                    blend->setSourceRgb(QBlendEquationArguments::SourceAlpha);
                    blend->setDestinationRgb(QBlendEquationArguments::OneMinusSourceAlpha);
                    blend->setSourceAlpha(QBlendEquationArguments::One);
                    blend->setDestinationAlpha(QBlendEquationArguments::OneMinusSourceAlpha);
                }
            }
        }
    }
}

/// Lowers the calling thread's scheduling priority. Threads it starts afterwards (the GL driver's
/// rasterisers, Qt 3D's job pool) inherit it, so on a busy machine the window's thread wins every
/// contest for a core and the splash field slows down instead.
void yieldToTheWindow()
{
    setpriority(PRIO_PROCESS, id_t(gettid()), 10);
}

/// Qt 3D's renderer makes its OpenGL context from the process's default surface format: while a
/// renderer starts, the default is the format it probed. Only the main thread sets or restores
/// it, and only while no renderer thread can be making its context with another.
int formatHolders = 0;
QSurfaceFormat formatBeforeHolders;

void holdDefaultFormat(const QSurfaceFormat &format)
{
    if (formatHolders++ == 0)
        formatBeforeHolders = QSurfaceFormat::defaultFormat();
    if (!(QSurfaceFormat::defaultFormat() == format))
        QSurfaceFormat::setDefaultFormat(format);
}

void releaseDefaultFormat()
{
    if (--formatHolders == 0)
        QSurfaceFormat::setDefaultFormat(formatBeforeHolders);
}

/// Renderers shut Qt 3D down on their own threads after the renderer object is gone; what their
/// threads used goes once they end, and the application waits for any still running before it
/// ends (a post routine runs before the platform closes).
struct Retired
{
    QThread *thread = nullptr;
    QOffscreenSurface *surface = nullptr;
    bool holdsFormat = false;
};
std::vector<Retired> retired;

void finishRetired(QThread *thread)
{
    const auto it = std::find_if(retired.begin(), retired.end(), [thread](const Retired &r) { return r.thread == thread; });
    if (it == retired.end())
        return;
    const Retired r = *it;
    retired.erase(it);
    // Qt 3D's shutdown may still wait for work it gave this thread (see SplashEngine::shutDown).
    while (!r.thread->wait(QDeadlineTimer(5)))
        QCoreApplication::sendPostedEvents();
    delete r.thread;
    delete r.surface;
    if (r.holdsFormat)
        releaseDefaultFormat();
}

void finishAllRetired()
{
    while (!retired.empty())
        finishRetired(retired.front().thread);
}

void retire(const Retired &r)
{
    static const bool routineAdded = (qAddPostRoutine(finishAllRetired), true);
    Q_UNUSED(routineAdded);
    retired.push_back(r);
    QObject::connect(r.thread, &QThread::finished, QCoreApplication::instance(),
                     [thread = r.thread] { finishRetired(thread); }, Qt::QueuedConnection);
}

} // namespace

/// The Qt 3D side of the renderer: lives on the renderer's thread, where it finds a context,
/// builds the scene, renders the frames asked for and finally shuts Qt 3D down.
class SplashEngine final : public QObject
{
    Q_OBJECT

public:
    SplashEngine(const SplashScene::Scene &scene, const QSurfaceFormat &requested)
        : scene(scene), requested(requested), throttle(new QTimer(this))
    {
        throttle->setSingleShot(true);
        connect(throttle, &QTimer::timeout, this, &SplashEngine::startPendingFrame);
    }

    void loadDriver();
    /// `preparedSettings` may be made on the main thread (see Splash3DRenderer::Private::makeSurface()).
    void probe(QOffscreenSurface *renderSurface, QRenderSettings *preparedSettings);
    void build(bool multisampled);
    void request(double seconds, QSize size);
    void shutDown();

Q_SIGNALS:
    void driverLoaded();
    void capable(const QSurfaceFormat &format, bool multisampled);
    void unavailable();
    void frameReady(const QImage &frame);

private:
    struct NodeParts
    {
        QEntity *entity = nullptr;
        Qt3DCore::QTransform *transform = nullptr;
        Qt3DExtras::QDiffuseSpecularMaterial *material = nullptr;
        QParameter *diffuse = nullptr; ///< overrides the material's own, so fading is a uniform change
        QMatrix4x4 orientation;
    };
    struct Request
    {
        double seconds = 0.0;
        QSize size;
    };

    void buildFrameGraph(QEntity *root);
    void buildResolve(QEntity *root);
    void buildContent(QEntity *root);
    void resizeTarget(QSize size);
    void applyPoses(double seconds);
    void startPendingFrame();
    void finishFrame();
    void mainThreadCaughtUp();
    void finishShutDown();

    SplashScene::Scene scene;
    QSurfaceFormat requested;
    QOffscreenSurface *surface = nullptr;
    std::unique_ptr<QRenderSettings> settings; ///< until the scene takes it
    QTimer *throttle;
    bool multisampled = false;
    std::unique_ptr<QAspectEngine> engine;

    QRenderSurfaceSelector *surfaceSelector = nullptr;
    QCamera *camera = nullptr;
    QTexture2D *colour = nullptr;
    QTexture2DMultisample *multisampledColour = nullptr;
    QLayer *resolveLayer = nullptr;
    QRenderCapture *capture = nullptr;
    std::vector<NodeParts> nodes;

    QPointer<QRenderCaptureReply> reply;
    std::optional<Request> pending;
    QSize targetSize;
    QElapsedTimer sinceLastStart;
    qint64 lastFrameMs = 0; ///< request to frame, the last time
    Request current;        ///< the frame being rendered
    bool warmedUp = false;
    bool mainThreadBehind = false; ///< work Qt 3D posted to the main thread may not have run yet
    bool shutDownWanted = false;
};

void SplashEngine::buildFrameGraph(QEntity *root)
{
    if (!settings)
        settings = std::make_unique<QRenderSettings>();
    QRenderSettings *rootSettings = settings.release();
    rootSettings->setParent(root);
    rootSettings->setRenderPolicy(QRenderSettings::OnDemand);
    root->addComponent(rootSettings);

    surfaceSelector = new QRenderSurfaceSelector;
    surfaceSelector->setSurface(surface);
    resolveLayer = new QLayer(root);

    // The frame ends in a plain texture, read back from it when a capture is asked for ...
    colour = new QTexture2D;
    colour->setFormat(QAbstractTexture::RGBA8_UNorm);
    colour->setGenerateMipMaps(false);
    QRenderTarget *target = colourTarget(surfaceSelector, colour);

    // ... the shapes drawn into it, or into a 4× multisampled texture resolved into it.
    QRenderTarget *drawTarget = target;
    if (multisampled) {
        multisampledColour = new QTexture2DMultisample;
        multisampledColour->setFormat(QAbstractTexture::RGBA8_UNorm);
        multisampledColour->setSamples(samples);
        multisampledColour->setGenerateMipMaps(false);
        drawTarget = colourTarget(surfaceSelector, multisampledColour);
    }

    QFrameGraphNode *shapes =
        clearedPass(surfaceSelector, drawTarget, camera, resolveLayer, QLayerFilter::DiscardAnyMatchingLayers);
    // Every shape is translucent (no depth writes, so no depth buffer): far ones first, and only
    // the faces turned to the camera.
    auto *states = new QRenderStateSet(shapes);
    auto *cull = new QCullFace(states);
    cull->setMode(QCullFace::Back);
    states->addRenderState(cull);
    auto *sort = new QSortPolicy(states);
    sort->setSortTypes(QList<QSortPolicy::SortType>{QSortPolicy::BackToFront});

    // The resolve covers every pixel; its clear only keeps a first frame whose resolve Qt 3D is
    // not ready to draw yet from showing the texture's uninitialised memory.
    if (multisampled)
        clearedPass(surfaceSelector, target, camera, resolveLayer, QLayerFilter::AcceptAnyMatchingLayers);

    auto *readSelector = new QRenderTargetSelector(surfaceSelector);
    readSelector->setTarget(target);
    capture = new QRenderCapture(readSelector);
    new QNoDraw(capture);

    rootSettings->setActiveFrameGraph(surfaceSelector);
}

/// One triangle covering the whole target, whose shader averages the multisampled frame's samples.
/// Qt 3D 6.4 cannot blit from a multisampled texture target, so the resolve is a draw of its own.
void SplashEngine::buildResolve(QEntity *root)
{
    auto *entity = new QEntity(root);
    entity->addComponent(resolveLayer);

    auto *renderer = new QGeometryRenderer(entity);
    auto *geometry = new QGeometry(renderer);
    auto *buffer = new Qt3DCore::QBuffer(geometry);
    const float corners[] = {-1, -1, 0, 3, -1, 0, -1, 3, 0};
    buffer->setData(QByteArray(reinterpret_cast<const char *>(corners), sizeof corners));
    auto *position = new QAttribute(buffer, QAttribute::defaultPositionAttributeName(), QAttribute::Float, 3, 3, 0,
                                    3 * sizeof(float), geometry);
    geometry->addAttribute(position);
    renderer->setGeometry(geometry);
    renderer->setPrimitiveType(QGeometryRenderer::Triangles);
    entity->addComponent(renderer);

    auto *material = new QMaterial(entity);
    auto *effect = new QEffect(material);
    auto *technique = new QTechnique(effect);
    technique->graphicsApiFilter()->setApi(QGraphicsApiFilter::OpenGL);
    technique->graphicsApiFilter()->setProfile(QGraphicsApiFilter::CoreProfile);
    technique->graphicsApiFilter()->setMajorVersion(3);
    technique->graphicsApiFilter()->setMinorVersion(2);
    auto *pass = new QRenderPass(technique);
    auto *program = new QShaderProgram(pass);
    program->setVertexShaderCode(QByteArrayLiteral(R"(#version 150 core
in vec3 vertexPosition;
void main() { gl_Position = vec4(vertexPosition.xy, 0.0, 1.0); }
)"));
    program->setFragmentShaderCode(QByteArrayLiteral(R"(#version 150 core
uniform sampler2DMS frame;
out vec4 fragColor;
void main()
{
    ivec2 p = ivec2(gl_FragCoord.xy);
    vec4 sum = vec4(0.0);
    for (int i = 0; i < 4; ++i)
        sum += texelFetch(frame, p, i);
    fragColor = sum / 4.0;
}
)"));
    pass->setShaderProgram(program);
    technique->addRenderPass(pass);
    effect->addTechnique(technique);
    material->setEffect(effect);
    material->addParameter(new QParameter(QStringLiteral("frame"), multisampledColour, material));
    entity->addComponent(material);
}

void SplashEngine::buildContent(QEntity *root)
{
    const SplashScene::Camera &cam = scene.camera;
    camera = new QCamera(root);
    camera->lens()->setPerspectiveProjection(cam.fieldOfViewDegrees, 1.0f, cam.nearPlane, cam.farPlane);
    camera->setUpVector(QVector3D(0, 1, 0));
    camera->setPosition(cam.position);
    camera->setViewCenter(cam.position + QVector3D(0, 0, -1));

    QColor ambient;
    for (const SplashScene::Light &light : scene.lights) {
        const float strength = light.intensity.value_or(1000.0f) / 1000.0f;
        if (light.type == SplashScene::Light::Type::ambient) {
            // Qt 3D's Phong materials have no ambient light; their ambient colour is that light
            // (the shader multiplies it by the diffuse colour, as an ambient light would).
            ambient = scaled(light.colour, strength * exposure);
            continue;
        }
        auto *entity = new QEntity(root);
        auto *directional = new QDirectionalLight(entity);
        directional->setColor(light.colour);
        directional->setIntensity(strength * exposure);
        directional->setWorldDirection(SplashScene::lightDirection(light));
        entity->addComponent(directional);
    }

    std::vector<TemplateShape> shapes;
    for (const SplashScene::Shape &shape : scene.shapes)
        shapes.push_back(templateShape(shape, root));

    for (const SplashScene::Node &node : scene.nodes) {
        NodeParts parts;
        parts.entity = new QEntity(root);
        const TemplateShape &shape = shapes.at(std::size_t(node.shapeIndex));
        parts.orientation = shape.orientation;
        parts.transform = new Qt3DCore::QTransform(parts.entity);
        parts.material = new Qt3DExtras::QDiffuseSpecularMaterial(parts.entity);
        const SplashScene::Material &m = node.material;
        parts.material->setAlphaBlendingEnabled(true);
        parts.material->setAmbient(ambient);
        parts.material->setDiffuse(m.diffuse);
        parts.material->setSpecular(m.specular);
        parts.material->setShininess(std::max(1.0f, m.shininess * shininessScale));
        blendAlphaAsCoverage(parts.material);
        // The material rebuilds its shaders whenever its diffuse property is assigned; a parameter
        // of the same name on the material shadows the effect's and changes only a uniform.
        parts.diffuse = new QParameter(QStringLiteral("kd"), m.diffuse, parts.material);
        parts.material->addParameter(parts.diffuse);
        parts.entity->addComponent(shape.mesh);
        parts.entity->addComponent(parts.transform);
        parts.entity->addComponent(parts.material);
        nodes.push_back(parts);
    }
}

void SplashEngine::resizeTarget(QSize size)
{
    if (size == targetSize)
        return;
    targetSize = size;
    colour->setSize(size.width(), size.height());
    if (multisampledColour)
        multisampledColour->setSize(size.width(), size.height());
    surfaceSelector->setExternalRenderTargetSize(size);
    camera->lens()->setAspectRatio(float(size.width()) / float(size.height()));
}

void SplashEngine::applyPoses(double seconds)
{
    const QVector3D eye = SplashScene::cameraPositionAt(scene.camera, seconds);
    camera->setPosition(eye);
    camera->setViewCenter(eye + QVector3D(0, 0, -1));

    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const SplashScene::Node &node = scene.nodes[i];
        NodeParts &parts = nodes[i];
        const SplashScene::Pose pose = SplashScene::poseAt(node, seconds);
        parts.entity->setEnabled(pose.opacity > 0.0f);
        parts.transform->setMatrix(pose.transform() * parts.orientation);
        QColor diffuse = node.material.diffuse;
        diffuse.setAlphaF(std::clamp(node.material.transparency * pose.opacity, 0.0f, 1.0f));
        parts.diffuse->setValue(diffuse);
    }
}

void SplashEngine::loadDriver()
{
    yieldToTheWindow();
    // The first context a process makes loads the GL driver, which starts threads of its own
    // (inheriting this thread's priority): with Mesa's software renderer most of a hundred
    // milliseconds, paid here rather than by the main thread. On X11, Qt's check whether contexts
    // may be used off the main thread makes such a context (once per process).
    if (!QOpenGLContext::supportsThreadedOpenGL()) {
        Q_EMIT unavailable();
        return;
    }
    QOpenGLContext context;
    context.setFormat(requested);
    context.create();
    Q_EMIT driverLoaded();
}

void SplashEngine::probe(QOffscreenSurface *renderSurface, QRenderSettings *preparedSettings)
{
    surface = renderSurface;
    settings.reset(preparedSettings);
    // Qt 3D's materials are complete for OpenGL 3.2 core and later (their OpenGL 2 variants are
    // not); its multisampled texture targets work on true 4.3 core contexts (what Mesa's drivers,
    // llvmpipe included, offer), so those get the 4× multisampled frame and others a plain one.
    // The first context made here loads the GL driver.
    std::optional<QSurfaceFormat> format = probeContext(requested, 4, 3, true, surface);
    const bool multisampled = format.has_value();
    if (!format)
        format = probeContext(requested, 3, 2, false, surface);
    if (format)
        Q_EMIT capable(*format, multisampled);
    else
        Q_EMIT unavailable();
}

void SplashEngine::build(bool multisampledFrame)
{
    multisampled = multisampledFrame;
    engine = std::make_unique<QAspectEngine>();
    engine->registerAspect(new QRenderAspect(QRenderAspect::Automatic));

    auto *root = new QEntity;
    buildContent(root);
    buildFrameGraph(root);
    if (multisampled)
        buildResolve(root);
    resizeTarget(QSize(16, 16));
    applyPoses(0.0);
    engine->setRootEntity(QEntityPtr(root));
    // Starting the engine has posted work to the main thread (making the offscreen surface Qt 3D
    // cleans up on) that uses the render aspect's renderer: the engine may not go before that has
    // run. The main thread runs its posted work in order, so an errand posted after it tells when.
    mainThreadBehind = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self = this] { QMetaObject::invokeMethod(self, &SplashEngine::mainThreadCaughtUp, Qt::QueuedConnection); },
        Qt::QueuedConnection);
    if (pending)
        startPendingFrame();
}

void SplashEngine::request(double seconds, QSize size)
{
    pending = Request{seconds, size};
    if (engine && !reply && !throttle->isActive())
        startPendingFrame();
}

void SplashEngine::startPendingFrame()
{
    if (!pending || reply)
        return;
    if (sinceLastStart.isValid()) {
        const qint64 interval = std::max(minimumFrameIntervalMs, 2 * lastFrameMs);
        const qint64 wait = interval - sinceLastStart.elapsed();
        if (wait > 0) {
            throttle->start(int(wait));
            return;
        }
    }
    const Request request = *pending;
    pending.reset();
    current = request;
    sinceLastStart.start();
    resizeTarget(request.size);
    applyPoses(request.seconds);
    reply = capture->requestCapture();
    connect(reply, &QRenderCaptureReply::completed, this, &SplashEngine::finishFrame);
}

void SplashEngine::finishFrame()
{
    QRenderCaptureReply *finished = reply;
    reply = nullptr;
    if (!finished)
        return;
    lastFrameMs = sinceLastStart.elapsed();
    QImage image = finished->image();
    finished->deleteLater();
    if (!warmedUp) {
        // Qt 3D readies the pipeline while drawing its first frame, and may leave parts of it out
        // (the resolve pass): that frame is drawn again before anything is shown.
        warmedUp = true;
        if (!pending)
            pending = current;
        sinceLastStart = QElapsedTimer();
        startPendingFrame();
        return;
    }
    if (!image.isNull()) {
        if (image.format() == QImage::Format_RGBA8888)
            image.reinterpretAsFormat(QImage::Format_RGBA8888_Premultiplied);
        Q_EMIT frameReady(image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    if (pending)
        startPendingFrame();
}

void SplashEngine::mainThreadCaughtUp()
{
    mainThreadBehind = false;
    if (shutDownWanted)
        finishShutDown();
}

void SplashEngine::shutDown()
{
    throttle->stop();
    pending.reset();
    shutDownWanted = true;
    if (!mainThreadBehind)
        finishShutDown();
}

void SplashEngine::finishShutDown()
{
    // A frame still in flight is dropped. The engine's destruction shuts the render aspect down:
    // its jobs end and its GL context and resources go. The surface it rendered on outlives it,
    // and goes back to the main thread, which made it and destroys it.
    delete reply;
    engine.reset();
    settings.reset();
    if (surface)
        surface->moveToThread(QCoreApplication::instance()->thread());
    deleteLater();
    thread()->quit();
}

struct Splash3DRenderer::Private
{
    QSurfaceFormat requested;
    QThread *thread = nullptr;
    SplashEngine *engine = nullptr;
    QOffscreenSurface *surface = nullptr;
    bool holdsFormat = false;

    bool makeSurface();
};

/// Makes the surface the engine renders on: on the main thread, where a platform that makes
/// offscreen surfaces as windows requires it. Once the driver is loaded this is quick.
bool Splash3DRenderer::Private::makeSurface()
{
    auto made = std::make_unique<QOffscreenSurface>();
    made->setFormat(requested);
    made->create();
    if (!made->isValid())
        return false;
    // Qt 3D's render settings make a context on an offscreen surface of their own to read the
    // GL capabilities; where offscreen surfaces are windows (handle() is null then), they are
    // made here too.
    QRenderSettings *settings = nullptr;
    if (!made->handle()) {
        settings = new QRenderSettings;
        settings->moveToThread(thread);
    }
    surface = made.release();
    surface->moveToThread(thread);
    QMetaObject::invokeMethod(
        engine, [engine = engine, surface = surface, settings] { engine->probe(surface, settings); },
        Qt::QueuedConnection);
    return true;
}

Splash3DRenderer::Splash3DRenderer(QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
}

Splash3DRenderer::~Splash3DRenderer()
{
    disconnect(d->engine, nullptr, this, nullptr);
    // Retired first, so the thread's end cannot slip by unnoticed.
    retire(Retired{d->thread, d->surface, d->holdsFormat});
    QMetaObject::invokeMethod(d->engine, &SplashEngine::shutDown, Qt::QueuedConnection);
}

std::unique_ptr<Splash3DRenderer> Splash3DRenderer::create(const SplashScene::Scene &scene, QObject *parent)
{
    std::unique_ptr<Splash3DRenderer> renderer(new Splash3DRenderer(parent));
    Splash3DRenderer *self = renderer.get();
    Private &d = *renderer->d;
    d.requested = QSurfaceFormat::defaultFormat();
    d.requested.setRenderableType(QSurfaceFormat::OpenGL);
    d.thread = new QThread;
    d.thread->setObjectName(QStringLiteral("Splash 3D"));
    d.engine = new SplashEngine(scene, d.requested);
    d.engine->moveToThread(d.thread);

    // The thread loads the driver, the surface is made here, then the thread makes its context
    // and the scene.
    connect(d.engine, &SplashEngine::driverLoaded, self, [self] {
        if (!self->d->makeSurface())
            Q_EMIT self->unavailable();
    });
    connect(d.engine, &SplashEngine::capable, self, [self](const QSurfaceFormat &format, bool multisampled) {
        holdDefaultFormat(format);
        self->d->holdsFormat = true;
        QMetaObject::invokeMethod(self->d->engine, [engine = self->d->engine, multisampled] { engine->build(multisampled); },
                                  Qt::QueuedConnection);
    });
    connect(d.engine, &SplashEngine::unavailable, self, &Splash3DRenderer::unavailable);
    connect(d.engine, &SplashEngine::frameReady, self, [self](const QImage &frame) {
        // The renderer's context exists once a frame is in: the default format can go back.
        if (self->d->holdsFormat) {
            self->d->holdsFormat = false;
            releaseDefaultFormat();
        }
        Q_EMIT self->frameReady(frame);
    });
    connect(d.thread, &QThread::started, d.engine, &SplashEngine::loadDriver);
    d.thread->start();
    return renderer;
}

void Splash3DRenderer::requestFrame(double seconds, QSize pixelSize)
{
    if (pixelSize.isEmpty())
        return;
    QMetaObject::invokeMethod(d->engine, [engine = d->engine, seconds, pixelSize] { engine->request(seconds, pixelSize); },
                              Qt::QueuedConnection);
}

#include "splash_3d_renderer.moc"
