#include "webview/web_view.h"

#include <QCoreApplication>
#include <QOpenGLContext>

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <string>

// Qt's application-wide shared GL context (exported by Qt GUI, used by the web engine).
QOpenGLContext* qt_gl_global_share_context();
void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace orb::room {

namespace {

constexpr const char* kModule = "liborb_web_engine.so";
bool g_loaded = false;

std::string BesideProgram(const char* name) {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    const std::string exe(buf, size_t(n));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1) + name;
}

// What the application would have made at its start had it been asked to share GL contexts: the
// engine's views share their textures through it. Made before the engine loads (which looks for it),
// so a client without pages never loads a GL driver.
void ShareGlContexts() {
    if (qt_gl_global_share_context()) return;
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    auto* context = new QOpenGLContext(QCoreApplication::instance());
    if (context->create())
        qt_gl_set_global_share_context(context);
    else
        delete context;
}

OrbMakeWebViewProc LoadModule() {
    ShareGlContexts();
    void* lib = nullptr;
    const std::string beside = BesideProgram(kModule);
    if (!beside.empty() && access(beside.c_str(), R_OK) == 0) lib = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
#ifdef ORB_WEB_ENGINE_BUILT
    if (!lib) lib = dlopen(ORB_WEB_ENGINE_BUILT, RTLD_NOW | RTLD_LOCAL);
#endif
    if (!lib) lib = dlopen(kModule, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return nullptr;
    g_loaded = true;
    // Kept for the life of the process: the engine cannot be started twice.
    return reinterpret_cast<OrbMakeWebViewProc>(dlsym(lib, "OrbMakeWebView"));
}

}  // namespace

IWebView* MakeWebView(QWidget* parent, TWebViewHooks hooks, const QString& objectName) {
    static const OrbMakeWebViewProc make = LoadModule();
    return make ? make(parent, &hooks, &objectName) : nullptr;
}

bool WebEngineLoaded() { return g_loaded; }

}  // namespace orb::room
